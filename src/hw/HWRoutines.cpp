#include "hw/HWRoutines.h"

#include <chrono>
#include <ctime>

#include "framework/CommonInterfaces.h"
#include "util/Routines.h"

namespace veltra {

namespace {

ComPtr<ISettings> SettingsOf(IInterface* object, int32_t index) {
  const ComPtr<ICurNext> curNext = Query<ICurNext>(object);
  return curNext ? curNext->GetCurNext(index) : nullptr;
}

}  // namespace

uint32_t CopySettings(int32_t index, IInterface* source, IInterface* destination, uint32_t mask) {
  const ComPtr<ISettings> from = SettingsOf(source, index);
  const ComPtr<ISettings> to = SettingsOf(destination, index);
  uint32_t failed = 0;
  for (int n = 0; n < 32; ++n) {
    const uint32_t id = uint32_t{1} << n;
    if ((mask & id) == 0) continue;
    int64_t value = 0;
    if (!from || from->GetValue(id, value) != S_OK) continue;
    int64_t readBack = 0;
    if (to) {
      to->SetValue(id, value);
      if (to->GetValue(id, readBack) == S_OK && readBack == value) continue;
    }
    failed |= id;
  }
  return failed;
}

double NowDateTime() {
  using std::chrono::system_clock;
  const system_clock::time_point now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const double fraction =
      std::chrono::duration<double>(now - system_clock::from_time_t(seconds)).count();
  // Only the thread of the object model asks, so the shared buffer of localtime is not contended.
  const std::tm local = *std::localtime(&seconds);
  const PackedStamp minute{
      static_cast<uint16_t>(local.tm_year + 1900), static_cast<uint16_t>(local.tm_mon + 1),
      static_cast<uint16_t>(local.tm_mday), static_cast<uint16_t>(local.tm_hour),
      static_cast<uint16_t>(local.tm_min)};
  return PackedStampToDateTime(minute).value_or(0.0) + (local.tm_sec + fraction) / 86400.0;
}

}  // namespace veltra
