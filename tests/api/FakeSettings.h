#pragma once
// Settings for the tests' objects: values by identifier from a table.

#include <map>
#include <set>
#include <vector>

#include "framework/CommonInterfaces.h"
#include "framework/CommonObjects.h"

namespace veltra::test {

// Values by identifier from a table; identifiers in `refused` answer `refusal`, and a write of an
// identifier in `chosen` stores the chosen value instead (the instrument's own choice).
class TFakeSettings : public TOwnInterfacedObject, public virtual ISettings {
 public:
  using TOwnInterfacedObject::TOwnInterfacedObject;

  std::map<uint32_t, int64_t> values;
  std::map<uint32_t, int64_t> chosen;
  std::set<uint32_t> refused;
  HResult refusal = E_NOTIMPL;
  int64_t readable = -1;
  int64_t writable = -1;

  std::vector<TSettingsChangeEvent> listeners;
  // Tells the listeners that the identifiers of `mask` changed.
  void Changed(uint32_t mask);

  void AddChangeNotify(const TSettingsChangeEvent& handler) override;
  void RemoveChangeNotify(const TSettingsChangeEvent& handler) override;
  void BeginUpdate() override {}
  void EndUpdate() override {}
  ComPtr<IInterface> GetOwner() override { return ComPtr<IInterface>(Owner()); }
  int64_t GetSupportsGet() override { return readable; }
  int64_t GetSupportsSet() override { return writable; }
  int32_t GetInfo0() override { return 0; }
  int32_t GetInfo1() override { return 0; }
  HResult SetValue(uint32_t id, int64_t value) override;
  HResult GetValue(uint32_t id, int64_t& value) override;
  int64_t Value(uint32_t id);  // the stored value, 0 when none

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
};

}  // namespace veltra::test
