#include "FakeSettings.h"

#include <algorithm>

namespace veltra::test {

void TFakeSettings::Changed(uint32_t mask) {
  const std::vector<TSettingsChangeEvent> called = listeners;
  for (const TSettingsChangeEvent& listener : called) listener(static_cast<ISettings*>(this), mask);
}

void TFakeSettings::AddChangeNotify(const TSettingsChangeEvent& handler) {
  if (std::find(listeners.begin(), listeners.end(), handler) == listeners.end()) {
    listeners.push_back(handler);
  }
}

void TFakeSettings::RemoveChangeNotify(const TSettingsChangeEvent& handler) {
  std::erase(listeners, handler);
}

HResult TFakeSettings::SetValue(uint32_t id, int64_t value) {
  if (refused.count(id)) return refusal;
  const auto choice = chosen.find(id);
  values[id] = choice == chosen.end() ? value : choice->second;
  return S_OK;
}

HResult TFakeSettings::GetValue(uint32_t id, int64_t& value) {
  if (refused.count(id)) return refusal;
  const auto found = values.find(id);
  value = found == values.end() ? 0 : found->second;
  return S_OK;
}

int64_t TFakeSettings::Value(uint32_t id) {
  int64_t value = 0;
  GetValue(id, value);
  return value;
}

bool TFakeSettings::GetInterface(const Guid& iid, void** object) {
  return Answer<ISettings>(this, iid, object) || Answer<IChangeNotify2>(this, iid, object) ||
         TOwnInterfacedObject::GetInterface(iid, object);
}

}  // namespace veltra::test
