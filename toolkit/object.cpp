// Object base, reference word, ownership lists and the pointer list.
#include "toolkit/object.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace velmora {

namespace {
using CleanupProc = void (*)(void*);

void FreeObjectProc(void* p) { FreeObject(p); }

std::atomic<int32_t> LiveObjects{0};
}  // namespace

ObjectBase::ObjectBase() { ++LiveObjects; }

ObjectBase::~ObjectBase() { --LiveObjects; }

int32_t LiveObjectCount() { return LiveObjects.load(); }

void ObjectBase::Destroy() {
  RunDestroyCallbacks();
  delete this;
}

void ObjectBase::RunDestroyCallbacks() {
  Callback onDestroy = OnDestroy;
  OnDestroy = Callback{};
  if (onDestroy) onDestroy.Invoke<DestroyProc>(this);

  ObjectList* cleanups = OwnedCleanups;
  OwnedCleanups = nullptr;
  if (cleanups) {
    for (int32_t i = 0; i + 1 < cleanups->Count; i += 2) {
      auto proc = reinterpret_cast<CleanupProc>(cleanups->Items[i]);
      if (proc) proc(cleanups->Items[i + 1]);
    }
    cleanups->Free();
  }
}

void ObjectBase::Free() {
  if (RefCount == 0) {
    Destroy();
  } else if ((RefCount & 1) == 0) {
    RefCount -= 1;
  }
}

void ObjectBase::DropReference() {
  RefCount -= 2;
  if (RefCount < 0 && (RefCount & 1) != 0) Destroy();
}

void ObjectBase::OwnObject(ObjectBase* obj) {
  if (!OwnedCleanups) OwnedCleanups = MakeObjectList();
  OwnedCleanups->Insert(0, obj);
  OwnedCleanups->Insert(0, reinterpret_cast<void*>(&FreeObjectProc));
}

void ObjectBase::OwnCleanup(Callback callback) {
  if (!OwnedCleanups) OwnedCleanups = MakeObjectList();
  OwnedCleanups->Insert(0, callback.Context);
  OwnedCleanups->Insert(0, reinterpret_cast<void*>(callback.Procedure));
}

void FreeObject(void* p) {
  if (p) static_cast<ObjectBase*>(p)->Free();
}

ObjectList* MakeObjectList() { return MakeObject<ObjectList>(); }

void ObjectList::Destroy() {
  Clear();
  ObjectBase::Destroy();
}

int32_t ObjectList::Add(void* item) {
  int32_t index = Count;
  Count += 1;
  if (index >= Capacity) {
    if (GrowBy <= 0) GrowBy = 4;
    SetCapacity(index + GrowBy);
  }
  Items[index] = item;
  return index;
}

void ObjectList::Insert(int32_t index, void* item) {
  // An index outside 0..Count appends, so no slot outside the array is ever touched.
  if (index < 0 || index > Count) index = Count;
  Add(nullptr);
  std::memmove(Items + index + 1, Items + index, sizeof(void*) * (Count - 1 - index));
  Items[index] = item;
}

void ObjectList::DeleteRange(int32_t index, int32_t n) {
  if (n <= 0 || index < 0 || index >= Count) return;
  if (n > Count - index) n = Count - index;
  std::memmove(Items + index, Items + index + n, sizeof(void*) * (Count - index - n));
  Count -= n;
}

void ObjectList::Remove(void* item) { Delete(IndexOf(item)); }

int32_t ObjectList::IndexOf(const void* item) const {
  for (int32_t i = 0; i < Count; ++i)
    if (Items[i] == item) return i;
  return -1;
}

void* ObjectList::Item(int32_t index) const {
  return (index >= 0 && index < Count) ? Items[index] : nullptr;
}

void ObjectList::Clear() {
  std::free(Items);
  Items = nullptr;
  Count = 0;
  Capacity = 0;
}

void ObjectList::SetCapacity(int32_t n) {
  if (n < Count) n = Count;
  if (n == Capacity) return;
  if (n == 0) {
    std::free(Items);
    Items = nullptr;
  } else {
    void* grown = std::realloc(Items, sizeof(void*) * n);
    if (!grown) throw std::bad_alloc();
    Items = static_cast<void**>(grown);
  }
  Capacity = n;
}

}  // namespace velmora
