#pragma once
// Method<R(Args...)>: a method pointer, the callback form of the whole system. It holds an object
// and a code pointer; two Methods are equal when both halves are equal, which is how listener
// lists find duplicates and remove entries.
//
//   auto handler = Method<void(IInterface*)>::Bind<&TGeneratorList::OnHide>(this);

#include <utility>

namespace veltra {

template <class Signature>
class Method;

template <class R, class... Args>
class Method<R(Args...)> {
 public:
  using Code = R (*)(void* object, Args... args);

  Method() = default;
  Method(void* object, Code code) : object_(object), code_(code) {}

  // Binds member function M (of T or one of its bases) to `object`.
  template <auto M, class T>
  static Method Bind(T* object) {
    return Method(static_cast<void*>(object), &Thunk<M, T>);
  }

  R operator()(Args... args) const { return code_(object_, std::forward<Args>(args)...); }

  explicit operator bool() const { return code_ != nullptr; }
  void* Object() const { return object_; }
  friend bool operator==(const Method& a, const Method& b) {
    return a.object_ == b.object_ && a.code_ == b.code_;
  }

 private:
  template <auto M, class T>
  static R Thunk(void* object, Args... args) {
    return (static_cast<T*>(object)->*M)(std::forward<Args>(args)...);
  }

  void* object_ = nullptr;
  Code code_ = nullptr;
};

}  // namespace veltra
