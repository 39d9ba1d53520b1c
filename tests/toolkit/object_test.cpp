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

// A free while referenced waits for the last drop and destroys once; a drop alone keeps it.
TEST(ObjectBase, FreeIsDeferredWhileAReferenceIsHeld) {
  g_log.clear();
  Probe* p = MakeObject<Probe>("p");
  p->AddReference();
  p->Free();
  p->Free();
  EXPECT_TRUE(g_log.empty());
  p->DropReference();
  Probe* q = MakeObject<Probe>("q");
  q->AddReference();
  q->DropReference();
  EXPECT_EQ(g_log, (std::vector<std::string>{"destroy p"}));
  q->Free();
  EXPECT_EQ(g_log, (std::vector<std::string>{"destroy p", "destroy q"}));
  FreeObject(nullptr);
}

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

// Growth in steps of four; indexes and ranges outside the list are ignored, not followed.
TEST(ObjectList, GrowsByFourAndDeletesRanges) {
  ObjectList* list = MakeObjectList();
  int v[6] = {};
  list->Add(&v[0]);
  EXPECT_EQ(list->Capacity, 4);
  for (int i = 1; i < 5; ++i) list->Add(&v[i]);
  EXPECT_EQ(list->Capacity, 8);
  list->Insert(0, &v[5]);
  list->Insert(list->Count, &v[5]);
  const std::vector<void*> expected{&v[5], &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]};
  EXPECT_EQ(std::vector<void*>(list->Items, list->Items + list->Count), expected);
  EXPECT_EQ(list->IndexOf(&v[5]), 0);
  EXPECT_EQ(list->Item(-1), nullptr);
  EXPECT_EQ(list->Item(list->Count), nullptr);

  list->DeleteRange(1, 100);
  list->DeleteRange(5, 1);
  list->Remove(&v[3]);
  EXPECT_EQ(std::vector<void*>(list->Items, list->Items + list->Count), std::vector<void*>{&v[5]});
  EXPECT_EQ(list->Capacity, 8);
  list->Free();
}

}  // namespace
