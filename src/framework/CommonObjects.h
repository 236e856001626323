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
//
// TInterfacedHideObject adds the hide protocol: before an object goes away (or whenever someone
// calls Hide) it tells everyone who asked to be told, so that holders drop their references and
// reference cycles break. Listeners are method pointers (AddHideNotify); sinks connected through
// the connection points (EventSinks.h, weak references) hear the same event.

#include <atomic>
#include <memory>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "framework/DispatchInterfaces.h"
#include "framework/Interface.h"
#include "framework/Method.h"

namespace veltra {

template <class T>
class Owned;

// The class name without namespace, as the system's messages print it ("TDriverTriggerHW").
std::string ClassNameOf(const std::type_info& type);

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
  std::string ClassName() const { return ClassNameOf(typeid(*this)); }

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
  // For classes whose BeforeDestruction must mark the object before it does its own work.
  void SetDestroying() { destroying_ = true; }

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
  // Nothing runs between dropping the hold and counting the result's reference.
  static_cast<TOwnInterfacedObject*>(object)->DropConstructionHold();
  return ComPtr<T>(object);
}

// Makes an object owned by `owner` (its first constructor argument must be the owner).
template <class T, class... A>
Owned<T> MakeOwned(A&&... args) {
  T* object = ConstructObject<T>(std::forward<A>(args)...);
  static_cast<TOwnInterfacedObject*>(object)->DropConstructionHold();
  return Owned<T>(object);
}

// ---------------------------------------------------------------------------------------------
// The hide protocol

// Tells everyone who holds the object to let go of it.
struct IHide : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{5CBFD880-AC37-4286-A48A-D5B4CE01DFE9}");

  virtual void Hide() = 0;
};

// A hide listener, called with the object that is being hidden.
using TNotifyHide = Method<void(IInterface* sender)>;

struct IHideNotify : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{6D6B171A-68E0-4BD2-8779-2A867719AD35}");

  // Registers a listener once (an equal method pointer is not added again).
  virtual void AddHideNotify(const TNotifyHide& handler) = 0;
  virtual void RemoveHideNotify(const TNotifyHide& handler) = 0;
  virtual void Hide() = 0;
};

class TConnectionPoints;
class THideEventsSrc;

// A reference-counted object with the hide protocol and a connection-point container.
//
// Hide() fires the hide event to the connected sinks, then calls each listener once, in
// registration order, dropping it from the list first; a listener may add or remove listeners
// while it is called (those it adds are called in turn, those it removes are not). The object holds
// a reference to itself meanwhile, so a free-standing object whose last holder lets go during the
// notification is destroyed when Hide returns. An override that does more after calling the
// inherited Hide must hold such a reference itself.
//
// Destruction hides the object first: BeforeDestruction marks it as being destroyed, calls Hide,
// then runs the reference-count check.
class TInterfacedHideObject : public TOwnInterfacedObject,
                              public IHide,
                              public IHideNotify,
                              public IConnectionPointContainer {
 public:
  static constexpr Guid kClassID = Guid::Parse("{1D328B3D-2D91-40B0-BFF8-6B248B36F647}");

  explicit TInterfacedHideObject(IInterface* owner = nullptr);
  ~TInterfacedHideObject() override;

  Guid GetClassID() const override { return kClassID; }

  // IHide, IHideNotify
  void Hide() override;
  void AddHideNotify(const TNotifyHide& handler) override;
  void RemoveHideNotify(const TNotifyHide& handler) override;

  // IConnectionPointContainer: the points of the hide event and of the events derived classes add.
  std::vector<ComPtr<IConnectionPoint>> EnumConnectionPoints() override;
  HResult FindConnectionPoint(const Guid& iid, ComPtr<IConnectionPoint>& point) override;

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
  void BeforeDestruction() override;

  // Where derived classes create the connection points of their own events.
  TConnectionPoints& ConnectionPoints() { return *connectionPoints_; }

 private:
  std::vector<TNotifyHide> hideListeners_;
  std::unique_ptr<TConnectionPoints> connectionPoints_;
  std::unique_ptr<THideEventsSrc> hideEvents_;  // uses connectionPoints_, so it goes first
};

}  // namespace veltra
