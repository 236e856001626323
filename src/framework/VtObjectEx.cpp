#include "framework/VtObjectEx.h"

#include <cstddef>
#include <utility>

#include "framework/ObjectNumberList.h"
#include "platform/Platform.h"

namespace veltra {

// ---------------------------------------------------------------------------------------------
// TVTObject

TVTObject::TVTObject(IInterface* owner) : TInterfacedHideObject(owner) {}

TVTObject::~TVTObject() {
  platform::DeleteBitmap(bitmap_);
  ReturnNumber();
}

std::string TVTObject::GetDisplayName(uint32_t flags) {
  if ((flags & kDisplayAlias) != 0 && !alias_.empty()) return alias_;
  std::string text = (flags & kDisplayShortName) != 0 ? GetShortName() : GetName();
  const int32_t number = GetNumber();
  if ((flags & kDisplayNoNumber) == 0 && number != 0) {
    if (!text.empty() && text.back() >= '0' && text.back() <= '9') text += '_';
    text += std::to_string(number);
  }
  return text;
}

std::string TVTObject::GetShortName() { return shortName_.empty() ? name_ : shortName_; }

void TVTObject::SetNumber(int32_t number) {
  ReturnNumber();
  number_ = number;
  numberChosen_ = true;
}

void TVTObject::LoadBitmap() {
  if (bitmapName_.empty()) return;
  platform::DeleteBitmap(bitmap_);
  bitmap_ = platform::LoadBitmapResource(bitmapName_);
}

bool TVTObject::GetInterface(const Guid& iid, void** object) {
  return Answer<IVTObject>(this, iid, object) || TInterfacedHideObject::GetInterface(iid, object);
}

void TVTObject::AfterConstruction() {
  TInterfacedHideObject::AfterConstruction();
  if (!numberChosen_) {
    numberClass_ = GetClassID();
    number_ = TObjectNumberList::Instance().Draw(numberClass_);
    numberChosen_ = true;
    ownsNumber_ = true;
  }
  LoadBitmap();
}

void TVTObject::ReturnNumber() {
  if (!ownsNumber_) return;
  TObjectNumberList::Instance().Return(numberClass_, number_);
  ownsNumber_ = false;
}

// ---------------------------------------------------------------------------------------------
// TPublishedItems

size_t TPublishedItems::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].name == name) return i;
  }
  return items_.size();
}

void TPublishedItems::Add(TPublishedItem item) {
  const size_t index = IndexOf(item.name);
  if (index < items_.size()) {
    items_[index] = std::move(item);
  } else {
    items_.push_back(std::move(item));
  }
}

const TPublishedItem* TPublishedItems::Find(std::string_view name) const {
  const size_t index = IndexOf(name);
  return index < items_.size() ? &items_[index] : nullptr;
}

bool TPublishedItems::Remove(std::string_view name) {
  const size_t index = IndexOf(name);
  if (index == items_.size()) return false;
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
  return true;
}

bool TPublishedItems::SetEnabled(std::string_view name, bool enabled) {
  const size_t index = IndexOf(name);
  if (index == items_.size()) return false;
  items_[index].enabled = enabled;
  return true;
}

// ---------------------------------------------------------------------------------------------
// TVtObjectEx

void TVtObjectEx::Hide() {
  const ComPtr<IInterface> hold(static_cast<IInterface*>(this));
  TVTObject::Hide();
  items_.Clear();
}

}  // namespace veltra
