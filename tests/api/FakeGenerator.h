#pragma once
// A function generator made for the tests: settings that record what the exports do to them, a
// waveform memory, and a trigger whose settings answer from a table.

#include <map>
#include <set>
#include <string>
#include <vector>

#include "FakeSettings.h"
#include "framework/VtObjectEx.h"
#include "hw/FGInterface.h"
#include "hw/TrigInterface.h"

namespace veltra::test {

class TFakeGeneratorSettings : public TFakeSettings, public IGeneratorSettings {
 public:
  using TFakeSettings::TFakeSettings;

  std::vector<std::string> calls;  // the operations in the order they ran, with arguments
  bool outputOn = false;
  uint8_t signalType = 0;
  double frequency = 0, amplitude = 0, offset = 0, symmetry = 0;
  uint32_t arbSize = 0;

  void SetOutputOn(bool on) override;
  void StartGenerator(int64_t periods) override;
  void StopGenerator() override;
  void SetSignalType(uint8_t type) override;
  void SetFrequency(double hertz) override;
  void SetAmplitude(double value) override { amplitude = value; }
  void SetOffset(double value) override { offset = value; }
  void SetSymmetry(double fraction) override { symmetry = fraction; }
  void SetArbDataSize(uint32_t samples) override { arbSize = samples; }
  bool GetOutputOn() override { return outputOn; }
  uint8_t GetSignalType() override { return signalType; }
  double GetFrequency() override { return frequency; }
  double GetAmplitude() override { return amplitude; }
  double GetAmplitudeMax() override { return 10.0; }
  double GetOffset() override { return offset; }
  double GetSymmetry() override { return symmetry; }
  int32_t GetEnabled() override { return 7; }

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
};

class TFakeGenerator : public TVTObject,
                       public IFunctionGenerator,
                       public IGeneratorMemory,
                       public ITrigger {
 public:
  explicit TFakeGenerator(int32_t number, size_t memorySamples = 0);

  TFakeGeneratorSettings& Settings() { return *settings_.Get(); }
  TFakeSettings& Trigger() { return *trigger_.Get(); }
  std::vector<float> memory;
  int unlocks = 0;

  ComPtr<IGeneratorSettings> GetGeneratorSettings() override;
  float* LockData(uint32_t& length) override;
  void UnlockData(bool changed) override;
  ComPtr<ISettings> GetCur() override;
  ComPtr<ISettings> GetNext() override { return GetCur(); }
  ComPtr<ISettings> GetCurNext(int32_t) override { return GetCur(); }

 protected:
  bool GetInterface(const Guid& iid, void** object) override;

 private:
  Owned<TFakeGeneratorSettings> settings_;
  Owned<TFakeSettings> trigger_;
};

}  // namespace veltra::test
