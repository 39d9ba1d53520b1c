// Reference word, deferred free, ownership order and list growth.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/object.h"

using namespace velmora;

namespace {

std::vector<std::string> g_log;

struct Probe : ObjectBase {
  explicit Probe(std::string name) : Name(std::move(name)) {}
  void Destroy() override {
    g_log.push_back("destroy " + Name);
    ObjectBase::Destroy();
  }
  std::string Name;
};

void LogDestroyed(void* text, ObjectBase*) { g_log.push_back(static_cast<const char*>(text)); }
void LogCleanup(void* text) { g_log.push_back(static_cast<const char*>(text)); }

TEST(ObjectBase, OwnedObjectsDieNewestFirstAfterOnDestroy) {
  g_log.clear();
  Probe* owner = MakeObject<Probe>("owner");
  owner->OnDestroy = MakeCallback(const_cast<char*>("event owner"), &LogDestroyed);
  owner->OwnObject(MakeObject<Probe>("a"));
  owner->OwnCleanup(MakeCallback(const_cast<char*>("cleanup c"), &LogCleanup));
  owner->OwnObject(MakeObject<Probe>("b"));
  owner->Free();
  EXPECT_EQ(g_log, (std::vector<std::string>{"destroy owner", "event owner", "destroy b",
                                             "cleanup c", "destroy a"}));
}

}  // namespace
