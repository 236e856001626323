#include "discovery/DeviceListItemSearcherInterfaceGUID.h"

#include <cstring>

#include "platform/TextCodec.h"

namespace veltra {

namespace {

// The device path of an interface broadcast (at offset 28, within the size the header gives): UTF-16
// when it starts with a backslash as a 16-bit unit, else 8-bit characters; up to the first NUL.
std::string BroadcastDeviceName(const std::byte* broadcast) {
  platform::DevBroadcastHeader header;
  std::memcpy(&header, broadcast, sizeof header);
  constexpr size_t kNameOffset = offsetof(platform::DevBroadcastDeviceInterface, name);
  if (header.size <= kNameOffset) return {};
  const std::byte* const name = broadcast + kNameOffset;
  const size_t bytes = header.size - kNameOffset;
  if (bytes >= 2 && name[0] == std::byte{0x5C} && name[1] == std::byte{0}) {
    std::u16string wide;
    for (size_t i = 0; i + 1 < bytes; i += 2) {
      char16_t unit;
      std::memcpy(&unit, name + i, sizeof unit);
      if (unit == 0) break;
      wide += unit;
    }
    return platform::Utf16ToUtf8(wide);
  }
  std::string narrow;
  for (size_t i = 0; i < bytes && name[i] != std::byte{0}; ++i) {
    narrow += static_cast<char>(name[i]);
  }
  return narrow;
}

}  // namespace

TDeviceListItemSearcherInterfaceGUID::TDeviceListItemSearcherInterfaceGUID(
    TCustomDeviceList& list, const Guid& classGuid, uint8_t kind, TObjectClass objectClass,
    TEnumeratorClass enumeratorClass)
    : TCustomDeviceListItemSearcher(list),
      window_(std::make_unique<platform::MessageWindow>(
          [this](uint32_t message, uintptr_t wParam, intptr_t lParam) {
            return WindowProcedure(message, wParam, lParam);
          })),
      objectClass_(std::move(objectClass)),
      kind_(kind),
      classGuid_(classGuid) {
  notification_ = platform::RegisterInterfaceNotification(*window_, classGuid_);
  enumerator_ = enumeratorClass(classGuid_);
}

TDeviceListItemSearcherInterfaceGUID::~TDeviceListItemSearcherInterfaceGUID() {
  constexpr uint32_t kWindows95Family = 1;
  if (notification_ != 0 && platform::PlatformId() != kWindows95Family) {
    platform::UnregisterDeviceNotification(notification_);
  }
  window_->Destroy();
}

void TDeviceListItemSearcherInterfaceGUID::Search() {
  if (!enumerator_) return;
  enumerator_->Reset();
  std::vector<DeviceInfoRecord> records;
  while (enumerator_->Next(1, records, nullptr) == S_OK) {
    const DeviceInfoRecord& record = records.front();
    const std::string path = InfoDevicePath(record);
    if (OwnItemWithPath(path)) continue;
    auto item = std::make_unique<TDeviceListItemPath>(objectClass_, path);
    item->name = InfoName(record);
    item->shortName = InfoShortName(record);
    item->serialNumber = record.serialNumber;
    item->typeCode = record.typeCode;
    item->subId = record.subId;
    item->kind = kind_;
    AddItem(std::move(item));
  }
}

intptr_t TDeviceListItemSearcherInterfaceGUID::WindowProcedure(uint32_t message, uintptr_t wParam,
                                                               intptr_t lParam) {
  if (message != platform::kWmDeviceChange) return window_->Default(message, wParam, lParam);
  const auto* broadcast = reinterpret_cast<const std::byte*>(lParam);
  if (!broadcast) return 0;
  platform::DevBroadcastHeader header;
  std::memcpy(&header, broadcast, sizeof header);
  if (header.deviceType != platform::kDbtDevTypDeviceInterface) return 0;
  // Broadcasts arrive through the message loop, which an exception must not cross.
  try {
    if (wParam == platform::kDbtDeviceArrival) {
      Search();
    } else if (wParam == platform::kDbtDeviceRemoveComplete) {
      DeviceRemoved(BroadcastDeviceName(broadcast));
    }
  } catch (...) {
    // The device list stays as far as it got; the next search completes it.
  }
  return 1;
}

void TDeviceListItemSearcherInterfaceGUID::DeviceRemoved(const std::string& path) {
  if (TDeviceListItemPath* item = OwnItemWithPath(path)) List().FreeItem(item);
}

TDeviceListItemPath* TDeviceListItemSearcherInterfaceGUID::OwnItemWithPath(
    const std::string& path) const {
  for (TCustomDeviceListItem* item : Items()) {
    // Every item this searcher adds is a path item.
    auto* pathItem = static_cast<TDeviceListItemPath*>(item);
    if (platform::EqualIgnoringCase(pathItem->DevicePath(), path)) return pathItem;
  }
  return nullptr;
}

}  // namespace veltra
