// Reference word, deferred free, ownership order and list growth.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/object.h"

using namespace velmora;

namespace {

std::vector<std::string>* g_log = nullptr;

class Probe : public ObjectBase {
 public:
  explicit Probe(std::string name) : Name(std::move(name)) {}
  void Destroy() override {
    g_log->push_back("destroy " + Name);
    ObjectBase::Destroy();
  }
  std::string Name;
};

void LogDestroyed(void* context, ObjectBase*) {
  g_log->push_back(std::string("event ") + static_cast<const char*>(context));
}

void LogCleanup(void* context) {
  g_log->push_back(std::string("cleanup ") + static_cast<const char*>(context));
}

struct LogScope {
  std::vector<std::string> log;
  LogScope() { g_log = &log; }
  ~LogScope() { g_log = nullptr; }
};

}  // namespace

TEST(ObjectBase, FreeIsDeferredWhileAReferenceIsHeld) {
  LogScope scope;
  Probe* p = MakeObject<Probe>("p");
  p->AddReference();
  p->Free();
  p->Free();  // a second free while one is pending does nothing
  EXPECT_TRUE(scope.log.empty());
  p->DropReference();
  EXPECT_EQ(scope.log, (std::vector<std::string>{"destroy p"}));

  scope.log.clear();
  Probe* q = MakeObject<Probe>("q");
  q->AddReference();
  q->DropReference();
  EXPECT_TRUE(scope.log.empty());
  q->Free();
  EXPECT_EQ(scope.log, (std::vector<std::string>{"destroy q"}));
  FreeObject(nullptr);
}

TEST(ObjectBase, OwnedObjectsDieNewestFirstAfterOnDestroy) {
  LogScope scope;
  Probe* owner = MakeObject<Probe>("owner");
  owner->OnDestroy = MakeCallback(const_cast<char*>("owner"), &LogDestroyed);
  owner->OwnObject(MakeObject<Probe>("a"));
  owner->OwnCleanup(MakeCallback(const_cast<char*>("c"), &LogCleanup));
  owner->OwnObject(MakeObject<Probe>("b"));
  owner->Free();
  EXPECT_EQ(scope.log, (std::vector<std::string>{"destroy owner", "event owner", "destroy b",
                                                 "cleanup c", "destroy a"}));
}

TEST(ObjectList, GrowsByFourAndDeletesRanges) {
  ObjectList* list = MakeObjectList();
  EXPECT_EQ(list->Capacity, 0);
  int values[6] = {};
  list->Add(&values[0]);
  EXPECT_EQ(list->Capacity, 4);
  for (int i = 1; i < 5; ++i) list->Add(&values[i]);
  EXPECT_EQ(list->Capacity, 8);
  EXPECT_EQ(list->Count, 5);

  list->Insert(0, &values[5]);
  EXPECT_EQ(list->Item(0), &values[5]);
  EXPECT_EQ(list->Item(1), &values[0]);
  list->Insert(list->Count, &values[5]);
  EXPECT_EQ(list->IndexOf(&values[5]), 0);
  EXPECT_EQ(list->Item(list->Count - 1), &values[5]);
  EXPECT_EQ(list->Item(-1), nullptr);
  EXPECT_EQ(list->Item(list->Count), nullptr);

  list->DeleteRange(1, 100);
  EXPECT_EQ(list->Count, 1);
  EXPECT_EQ(list->Capacity, 8);
  list->DeleteRange(5, 1);
  EXPECT_EQ(list->Count, 1);
  list->Remove(&values[3]);
  EXPECT_EQ(list->Count, 1);
  EXPECT_EQ(list->IndexOf(&values[3]), -1);
  list->Free();
}
