#pragma once
// The reference-counted object base.
//
// TOwnInterfacedObject is either free-standing (it counts its own references and destroys itself on
// the last Release) or owned (AddRef and Release go to the owner, queries the object cannot answer
// fall back to the owner, and the owner destroys it with itself). Objects are made in two phases:
//
//   ComPtr<TFoo> foo = MakeObject<TFoo>(args...);   // free-standing
//   Owned<TBar> bar = MakeOwned<TBar>(owner, ...);  // owned: destroyed when `bar` goes
//
// MakeObject runs the constructor, then the virtual AfterConstruction() with full dispatch, and only
// then drops the construction hold, so a new object is never destroyed while it is being built.
// Destruction mirrors it: the virtual BeforeDestruction() runs before the destructor.

#include <atomic>
#include <memory>
#include <string>
#include <utility>

#include "framework/Interface.h"

namespace veltra {

template <class T>
class Owned;

class TOwnInterfacedObject : public virtual IInterface {
 public:
  static constexpr Guid kClassID = Guid::Parse("{86B7D164-4A96-458A-AF3F-88F3129910CF}");

  explicit TOwnInterfacedObject(IInterface* owner = nullptr);
  TOwnInterfacedObject(const TOwnInterfacedObject&) = delete;
  TOwnInterfacedObject& operator=(const TOwnInterfacedObject&) = delete;
  virtual ~TOwnInterfacedObject();

  HResult QueryInterface(const Guid& iid, void** object) override;
  uint32_t AddRef() override;
  uint32_t Release() override;

  // The class identifier used for object numbering and in files.
  virtual Guid GetClassID() const { return kClassID; }
  // The class name without namespace, as the system's messages print it ("TDriverTriggerHW").
  std::string ClassName() const;

  IInterface* Owner() const { return owner_; }
  bool Destroying() const { return destroying_; }
  int32_t RefCount() const { return refCount_.load(); }

  // Destroys an object explicitly: BeforeDestruction, then the destructor. For owned objects this is
  // the owner's business (Owned<T> does it); a free-standing object freed this way must have had
  // its references dropped (the hide protocol), or BeforeDestruction throws.
  static void Free(TOwnInterfacedObject* object);

 protected:
  // Answers the interfaces this class implements: store the interface pointer and return true.
  // Each class checks its own interfaces and then defers to its base.
  virtual bool GetInterface(const Guid& iid, void** object);

  // Second construction phase, with full virtual dispatch. Overrides call the base.
  virtual void AfterConstruction() {}
  // First destruction phase: sets the destroying flag; a free-standing object whose reference
  // count is not zero throws "TOwnInterfacedObject(<class>) refcount not zero (<n>) before destroy!".
  // Overrides do their work and then call the base.
  virtual void BeforeDestruction();

  // Helper for GetInterface overrides: answers interface I of `self` when asked for it.
  template <class I, class T>
  static bool Answer(T* self, const Guid& iid, void** object) {
    if (iid != I::IID) return false;
    *object = static_cast<I*>(self);
    return true;
  }

 private:
  template <class T, class... A>
  friend T* ConstructObject(A&&... args);
  template <class T, class... A>
  friend ComPtr<T> MakeObject(A&&... args);
  template <class T, class... A>
  friend Owned<T> MakeOwned(A&&... args);

  void DropConstructionHold() { refCount_.fetch_sub(1); }
  static void FreeAfterFailedConstruction(TOwnInterfacedObject* object) noexcept;

  std::atomic<int32_t> refCount_{1};  // 1 = the construction hold
  bool destroying_ = false;
  IInterface* owner_;  // not counted
};

// Owns an owned object (settings, triggers): destroys it with Free when it goes.
template <class T>
class Owned {
 public:
  Owned() = default;
  explicit Owned(T* object) : object_(object) {}
  Owned(Owned&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Owned& operator=(Owned&& other) noexcept {
    Owned(std::move(other)).Swap(*this);
    return *this;
  }
  ~Owned() { Reset(); }

  void Reset() {
    if (T* object = std::exchange(object_, nullptr)) TOwnInterfacedObject::Free(object);
  }
  void Swap(Owned& other) noexcept { std::swap(object_, other.object_); }
  T* Get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_ = nullptr;
};

// Constructor, then AfterConstruction; on an exception the half-built object is destroyed and the
// exception passed on. The construction hold is still in place when this returns.
template <class T, class... A>
T* ConstructObject(A&&... args) {
  T* object = new T(std::forward<A>(args)...);
  TOwnInterfacedObject* base = object;  // the steps are reached through the base, with full dispatch
  try {
    base->AfterConstruction();
  } catch (...) {
    TOwnInterfacedObject::FreeAfterFailedConstruction(base);
    throw;
  }
  return object;
}

// Makes a free-standing object; the result holds the only reference.
template <class T, class... A>
ComPtr<T> MakeObject(A&&... args) {
  T* object = ConstructObject<T>(std::forward<A>(args)...);
  ComPtr<T> result(object);
  static_cast<TOwnInterfacedObject*>(object)->DropConstructionHold();
  return result;
}

// Makes an object owned by `owner` (its first constructor argument must be the owner).
template <class T, class... A>
Owned<T> MakeOwned(A&&... args) {
  T* object = ConstructObject<T>(std::forward<A>(args)...);
  static_cast<TOwnInterfacedObject*>(object)->DropConstructionHold();
  return Owned<T>(object);
}

}  // namespace veltra
