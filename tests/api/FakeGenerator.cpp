#include "FakeGenerator.h"

namespace veltra::test {

void TFakeGeneratorSettings::SetOutputOn(bool on) {
  outputOn = on;
  calls.push_back(on ? "SetOutputOn(1)" : "SetOutputOn(0)");
}

void TFakeGeneratorSettings::StartGenerator(int64_t periods) {
  calls.push_back("StartGenerator(" + std::to_string(periods) + ")");
}

void TFakeGeneratorSettings::StopGenerator() { calls.push_back("StopGenerator"); }

void TFakeGeneratorSettings::SetSignalType(uint8_t type) {
  signalType = type;
  calls.push_back("SetSignalType(" + std::to_string(type) + ")");
}

void TFakeGeneratorSettings::SetFrequency(double hertz) {
  frequency = hertz * 0.5;  // the generator chooses a frequency of its own
}

bool TFakeGeneratorSettings::GetInterface(const Guid& iid, void** object) {
  return Answer<IGeneratorSettings>(this, iid, object) || TFakeSettings::GetInterface(iid, object);
}

TFakeGenerator::TFakeGenerator(int32_t number, size_t memorySamples)
    : memory(memorySamples, 9.0f),
      settings_(MakeOwned<TFakeGeneratorSettings>(this)),
      trigger_(MakeOwned<TFakeSettings>(this)) {
  SetNumber(number);
}

ComPtr<IGeneratorSettings> TFakeGenerator::GetGeneratorSettings() {
  return ComPtr<IGeneratorSettings>(settings_.Get());
}

float* TFakeGenerator::LockData(uint32_t& length) {
  length = static_cast<uint32_t>(memory.size());
  return memory.empty() ? nullptr : memory.data();
}

void TFakeGenerator::UnlockData(bool /*changed*/) { ++unlocks; }

ComPtr<ISettings> TFakeGenerator::GetCur() { return ComPtr<ISettings>(trigger_.Get()); }

bool TFakeGenerator::GetInterface(const Guid& iid, void** object) {
  return Answer<IFunctionGenerator>(this, iid, object) ||
         Answer<IGeneratorMemory>(this, iid, object) || Answer<ITrigger>(this, iid, object) ||
         Answer<ICurNext>(this, iid, object) || TVTObject::GetInterface(iid, object);
}

}  // namespace veltra::test
