// Reference-counted toolkit objects with ownership lists, the untyped pointer list and
// the Callback value that every event and hook of the toolkit is made of.
// Relies on nothing but the C++ runtime.
#pragma once

#include <cstdint>
#include <utility>

namespace velmora {

// A procedure plus its context (the owner). Called as procedure(context, sender, ...);
// a null procedure means "no listener". Typed procedures are stored in one shape and
// cast back at the single place that fires the event (Invoke).
using AnyProc = void (*)();

struct Callback {
  void* Context = nullptr;
  AnyProc Procedure = nullptr;

  explicit operator bool() const { return Procedure != nullptr; }

  // Calls the procedure as Proc(context, args...). Proc is the event's procedure type.
  template <class Proc, class... Args>
  auto Invoke(Args... args) const {
    return reinterpret_cast<Proc>(Procedure)(Context, args...);
  }
};

template <class Proc>
Callback MakeCallback(void* context, Proc procedure) {
  return Callback{context, reinterpret_cast<AnyProc>(procedure)};
}

class ObjectList;

// The base of every toolkit object. Kinds override Init and Destroy; an override of
// Destroy does its own clean-up and ends with ObjectBase::Destroy(), the teardown that
// deletes the instance. Nothing outside Free and DropReference calls Destroy or delete.
class ObjectBase {
 public:
  ObjectBase();
  ObjectBase(const ObjectBase&) = delete;
  ObjectBase& operator=(const ObjectBase&) = delete;

  virtual void Init() {}
  virtual void Destroy();

  // Destroys now when no reference is held, otherwise when the last one is dropped.
  void Free();
  void AddReference() { RefCount += 2; }
  void DropReference();

  // obj is freed with FreeObject when this object is destroyed (newest first).
  void OwnObject(ObjectBase* obj);
  // callback.Procedure is called as void(void* context) when this object is destroyed.
  void OwnCleanup(Callback callback);

  // Twice the references held, minus one while a free is pending.
  int32_t RefCount = 0;
  // Fired once at destruction as void(void* context, ObjectBase* sender).
  Callback OnDestroy;
  // Pairs of (procedure void(void*), argument), newest first; made on first use.
  ObjectList* OwnedCleanups = nullptr;

 protected:
  // Fires OnDestroy, then runs the ownership list, leaving both empty: the teardown without
  // the deletion, for kinds that must free their parts before releasing their own state.
  void RunDestroyCallbacks();

  virtual ~ObjectBase();
};

// Objects made and not yet destroyed, on every thread: the tests' witness that work
// cancelled half-way (a batch of photos, say) freed what it had made.
int32_t LiveObjectCount();

using DestroyProc = void (*)(void* context, ObjectBase* sender);

// Makes the instance (members start zero, null or false) and calls its Init.
template <class T, class... Args>
T* MakeObject(Args&&... args) {
  T* object = new T(std::forward<Args>(args)...);
  object->Init();
  return object;
}

// Free on p; nothing when p is null. Also the procedure of OwnObject's pairs.
void FreeObject(void* p);

// Frees *slot and empties it.
template <class T>
void FreeAndNull(T*& slot) {
  T* p = slot;
  slot = nullptr;
  FreeObject(p);
}

// A growable array of untyped pointers; it never owns its items.
class ObjectList : public ObjectBase {
 public:
  void Destroy() override;

  int32_t Add(void* item);
  void Insert(int32_t index, void* item);
  void Delete(int32_t index) { DeleteRange(index, 1); }
  void DeleteRange(int32_t index, int32_t n);
  void Remove(void* item);
  int32_t IndexOf(const void* item) const;
  void* Item(int32_t index) const;
  void Clear();
  void SetCapacity(int32_t n);

  void** Items = nullptr;
  int32_t Count = 0;
  int32_t Capacity = 0;
  int32_t GrowBy = 4;
};

ObjectList* MakeObjectList();

}  // namespace velmora
