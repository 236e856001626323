#include "framework/CommonObjects.h"

#include <cxxabi.h>

#include <cstdlib>
#include <stdexcept>
#include <typeinfo>

namespace veltra {

TOwnInterfacedObject::TOwnInterfacedObject(IInterface* owner) : owner_(owner) {}

TOwnInterfacedObject::~TOwnInterfacedObject() = default;

HResult TOwnInterfacedObject::QueryInterface(const Guid& iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (GetInterface(iid, object)) {
    static_cast<IInterface*>(this)->AddRef();
    return S_OK;
  }
  // An owned object is part of its owner: what it cannot answer, the owner may.
  if (owner_) return owner_->QueryInterface(iid, object);
  return E_NOINTERFACE;
}

uint32_t TOwnInterfacedObject::AddRef() {
  if (owner_) return owner_->AddRef();
  return static_cast<uint32_t>(refCount_.fetch_add(1) + 1);
}

uint32_t TOwnInterfacedObject::Release() {
  if (owner_) return owner_->Release();
  const int32_t count = refCount_.fetch_sub(1) - 1;
  if (count == 0 && !destroying_) Free(this);
  return static_cast<uint32_t>(count);
}

bool TOwnInterfacedObject::GetInterface(const Guid& iid, void** object) {
  return Answer<IInterface>(this, iid, object);
}

void TOwnInterfacedObject::BeforeDestruction() {
  destroying_ = true;
  const int32_t count = refCount_.load();
  if (!owner_ && count != 0) {
    throw std::logic_error("TOwnInterfacedObject(" + ClassName() + ") refcount not zero (" +
                           std::to_string(count) + ") before destroy!");
  }
}

void TOwnInterfacedObject::Free(TOwnInterfacedObject* object) {
  if (!object) return;
  object->BeforeDestruction();
  delete object;
}

void TOwnInterfacedObject::FreeAfterFailedConstruction(TOwnInterfacedObject* object) noexcept {
  object->refCount_ = 0;
  try {
    object->BeforeDestruction();
  } catch (...) {
    // The construction failure is what the caller must see.
  }
  delete object;
}

std::string TOwnInterfacedObject::ClassName() const {
  const char* mangled = typeid(*this).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  std::string name = status == 0 && demangled ? demangled.get() : mangled;
  const size_t scope = name.rfind("::");
  return scope == std::string::npos ? name : name.substr(scope + 2);
}

}  // namespace veltra
