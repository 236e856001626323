#pragma once
// Interfaces shared by every part of the object model: change notification and settings (values
// by property identifier), the Cur/Next pair, and named objects.

#include <cstdint>
#include <string>

#include "framework/Interface.h"
#include "framework/Method.h"

namespace veltra {

// Called with the settings object (as its base interface) and the mask of changed identifiers.
using TSettingsChangeEvent = Method<void(IInterface* sender, uint32_t changes)>;

struct IChangeNotify2 : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{7A187C19-0495-4C23-8F6B-E793215B6F69}");

  // Registers a listener once (an equal method pointer is not added again).
  virtual void AddChangeNotify(const TSettingsChangeEvent& handler) = 0;
  virtual void RemoveChangeNotify(const TSettingsChangeEvent& handler) = 0;
  // Listeners are not called inside a bracket; the merged changes go out when it closes.
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
};

// Values by property identifier: a 32-bit code with exactly one bit set. Values are signed 64-bit
// in the fixed-point encodings of the hardware identifiers; on a read the value is also an input
// (a list index, or -1 for the value the index cache may keep).
struct ISettings : IChangeNotify2 {
  static constexpr Guid IID = Guid::Parse("{25C32C74-BADB-42B4-8BCF-7067DD21EF74}");

  virtual ComPtr<IInterface> GetOwner() = 0;
  virtual int64_t GetSupportsGet() = 0;  // identifier 1: mask of readable identifiers
  virtual int64_t GetSupportsSet() = 0;  // identifier 2: mask of writable identifiers
  virtual int32_t GetInfo0() = 0;
  virtual int32_t GetInfo1() = 0;
  virtual HResult SetValue(uint32_t id, int64_t value) = 0;
  virtual HResult GetValue(uint32_t id, int64_t& value) = 0;
};

// The two settings objects of every instrument, channel and trigger: Cur (the settings of the last
// or running measurement) and Next (the settings of the next one).
struct ICurNext : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{CCCBBC85-C8C7-4269-9A09-FE713B107306}");

  virtual ComPtr<ISettings> GetCur() = 0;
  virtual ComPtr<ISettings> GetNext() = 0;
  virtual ComPtr<ISettings> GetCurNext(int32_t index) = 0;  // 0 = Cur, 1 = Next
};

// A named, numbered object with a bitmap.
struct IVTObject : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{F4EE9AE7-EC33-4138-AF69-9968CE94192D}");

  virtual uintptr_t GetBitmap() = 0;  // 0 when the object has none
  virtual std::string GetDisplayName(uint32_t flags) = 0;
  virtual int32_t GetNumber() = 0;
  virtual std::string GetName() = 0;
  virtual std::string GetShortName() = 0;  // the name when the short name is empty
  virtual std::string GetAlias() = 0;
  virtual void SetAlias(const std::string& alias) = 0;
};

}  // namespace veltra
