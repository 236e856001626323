#pragma once
// Interfaces, counted references and queries: the core of the object model.
//
// An interface is an abstract struct with a `static constexpr Guid IID` and pure virtual operations
// in their documented order. Every interface derives (virtually) from IInterface, so an object
// implements QueryInterface, AddRef and Release once for all its interfaces. ComPtr<T> is the only
// owning handle of framework objects; Query<IFoo>(p) asks an object for another of its interfaces
// and answers an empty ComPtr when the object does not offer it (the feature is absent).

#include <cstddef>
#include <cstdint>
#include <utility>

#include "framework/ResultCodes.h"
#include "platform/Guid.h"

namespace veltra {

struct IInterface {
  static constexpr Guid IID = Guid::Parse("{00000000-0000-0000-C000-000000000046}");

  // On success stores the requested interface, already counted, in *object and answers S_OK;
  // otherwise stores null and answers E_NOINTERFACE.
  virtual HResult QueryInterface(const Guid& iid, void** object) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  // Objects are destroyed by their own class (the last Release), never through an interface.
  virtual ~IInterface() = default;
};

// A counted reference to an interface (or to an object class that implements IInterface).
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}  // NOLINT(google-explicit-constructor): null converts implicitly
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  template <class U>
  ComPtr(const ComPtr<U>& other) : ComPtr(static_cast<T*>(other.Get())) {}  // NOLINT: upcast
  template <class U>
  ComPtr(ComPtr<U>&& other) noexcept : p_(other.Detach()) {}  // NOLINT: upcast
  ~ComPtr() { Reset(); }

  ComPtr& operator=(const ComPtr& other) {
    ComPtr(other).Swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    ComPtr(std::move(other)).Swap(*this);
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) {
    Reset();
    return *this;
  }

  // Takes over a reference the caller already counted.
  static ComPtr Attach(T* p) {
    ComPtr result;
    result.p_ = p;
    return result;
  }
  // Hands the reference to the caller, who must release it.
  T* Detach() { return std::exchange(p_, nullptr); }

  void Reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  void Swap(ComPtr& other) noexcept { std::swap(p_, other.p_); }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }

  friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }
  friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }

 private:
  T* p_ = nullptr;
};

// Asks `object` for interface I; an empty result means the object does not offer it.
template <class I>
ComPtr<I> Query(IInterface* object) {
  void* found = nullptr;
  if (object && object->QueryInterface(I::IID, &found) == S_OK && found) {
    return ComPtr<I>::Attach(static_cast<I*>(found));
  }
  return {};
}

template <class I, class T>
ComPtr<I> Query(const ComPtr<T>& object) {
  return Query<I>(static_cast<IInterface*>(object.Get()));
}

// True when `a` and `b` are the same object: their IInterface identities are equal.
inline bool SameObject(IInterface* a, IInterface* b) {
  if (!a || !b) return a == b;
  return Query<IInterface>(a).Get() == Query<IInterface>(b).Get();
}

}  // namespace veltra
