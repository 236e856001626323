#include "hw/HWRoutines.h"

#include "framework/CommonInterfaces.h"

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

}  // namespace veltra
