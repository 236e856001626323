#include "framework/CommonObjects.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <typeinfo>

#include "framework/ConnectionPoints.h"
#include "framework/VTCOMEvents.h"

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

TInterfacedHideObject::TInterfacedHideObject(IInterface* owner)
    : TOwnInterfacedObject(owner),
      connectionPoints_(std::make_unique<TConnectionPoints>(static_cast<IInterface*>(this))),
      hideEvents_(std::make_unique<THideEventsSrc>(static_cast<IInterface*>(this), *connectionPoints_)) {}

TInterfacedHideObject::~TInterfacedHideObject() = default;

void TInterfacedHideObject::Hide() {
  IInterface* const self = static_cast<IInterface*>(this);
  const ComPtr<IInterface> hold(self);
  hideEvents_->Fire();
  while (!hideListeners_.empty()) {
    const TNotifyHide listener = hideListeners_.front();
    hideListeners_.erase(hideListeners_.begin());
    listener(self);
  }
}

void TInterfacedHideObject::AddHideNotify(const TNotifyHide& handler) {
  if (std::find(hideListeners_.begin(), hideListeners_.end(), handler) == hideListeners_.end()) {
    hideListeners_.push_back(handler);
  }
}

void TInterfacedHideObject::RemoveHideNotify(const TNotifyHide& handler) {
  const auto found = std::find(hideListeners_.begin(), hideListeners_.end(), handler);
  if (found != hideListeners_.end()) hideListeners_.erase(found);
}

std::vector<ComPtr<IConnectionPoint>> TInterfacedHideObject::EnumConnectionPoints() {
  return connectionPoints_->Enumerate();
}

HResult TInterfacedHideObject::FindConnectionPoint(const Guid& iid,
                                                   ComPtr<IConnectionPoint>& point) {
  TConnectionPoint* found = connectionPoints_->Find(iid);
  point = ComPtr<IConnectionPoint>(found);
  return found ? S_OK : CONNECT_E_NOCONNECTION;
}

bool TInterfacedHideObject::GetInterface(const Guid& iid, void** object) {
  return Answer<IHide>(this, iid, object) || Answer<IHideNotify>(this, iid, object) ||
         Answer<IConnectionPointContainer>(this, iid, object) ||
         TOwnInterfacedObject::GetInterface(iid, object);
}

void TInterfacedHideObject::BeforeDestruction() {
  // Marked first, so that the reference Hide holds does not destroy the object a second time.
  SetDestroying();
  Hide();
  TOwnInterfacedObject::BeforeDestruction();
}

std::string ClassNameOf(const std::type_info& type) {
  const char* mangled = type.name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  std::string name = status == 0 && demangled ? demangled.get() : mangled;
  const size_t scope = name.rfind("::");
  return scope == std::string::npos ? name : name.substr(scope + 2);
}

}  // namespace veltra
