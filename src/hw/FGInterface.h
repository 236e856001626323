#pragma once
// The function-generator vocabulary: generator identifiers (FG_) and the interfaces through which
// the exported generator functions reach a generator, its settings and its waveform memory.

#include <array>
#include <cstdint>
#include <string_view>

#include "framework/CommonInterfaces.h"

namespace veltra {

inline constexpr uint32_t FG_SUPPORTSGET = 0x1;
inline constexpr uint32_t FG_SUPPORTSSET = 0x2;
inline constexpr uint32_t FG_OUTPUTON = 0x4;
inline constexpr uint32_t FG_START = 0x8;
inline constexpr uint32_t FG_STOP = 0x10;
inline constexpr uint32_t FG_MODE = 0x20;
inline constexpr uint32_t FG_BURSTCOUNT = 0x40;
inline constexpr uint32_t FG_BURSTCOUNTMAX = 0x80;
inline constexpr uint32_t FG_SIGNALTYPE = 0x100;
inline constexpr uint32_t FG_SIGNALTYPES = 0x200;
inline constexpr uint32_t FG_FREQUENCY = 0x400;
inline constexpr uint32_t FG_FREQUENCYMAX = 0x800;
inline constexpr uint32_t FG_AMPLITUDE = 0x1000;
inline constexpr uint32_t FG_AMPLITUDEMAX = 0x2000;
inline constexpr uint32_t FG_OFFSET = 0x4000;
inline constexpr uint32_t FG_OFFSETMIN = 0x8000;
inline constexpr uint32_t FG_OFFSETMAX = 0x10000;
inline constexpr uint32_t FG_SYMMETRY = 0x20000;
inline constexpr uint32_t FG_DATASIZEARB = 0x40000;
inline constexpr uint32_t FG_DATASIZEARBMAX = 0x80000;
inline constexpr uint32_t FG_FREQUENCYMIN = 0x100000;
inline constexpr uint32_t FG_RESOLUTION = 0x200000;
inline constexpr uint32_t FG_DATASIZECUR = 0x400000;
inline constexpr uint32_t FG_PHASE = 0x800000;
inline constexpr uint32_t FG_BURSTMODE = 0x1000000;
inline constexpr uint32_t FG_NEWDATA = 0x80000000;

// Names of the FG_ identifiers by bit number; entries 25-30 are empty.
extern const std::array<std::string_view, 32> FGNames;

// The settings of a generator: ISettings plus typed operations.
struct IGeneratorSettings : virtual ISettings {
  static constexpr Guid IID = Guid::Parse("{1362DB56-C546-4FEA-8C1E-7BEB6D10EC1C}");

  virtual void SetOutputOn(bool on) = 0;
  virtual void StartGenerator(int64_t periods) = 0;  // -1 = run continuously
  virtual void StopGenerator() = 0;
  virtual void SetSignalType(uint8_t type) = 0;
  virtual void SetFrequency(double hertz) = 0;
  virtual void SetAmplitude(double amplitude) = 0;
  virtual void SetOffset(double offset) = 0;
  virtual void SetSymmetry(double fraction) = 0;  // 0-1
  virtual void SetArbDataSize(uint32_t samples) = 0;
  virtual bool GetOutputOn() = 0;
  virtual uint8_t GetSignalType() = 0;
  virtual double GetFrequency() = 0;
  virtual double GetAmplitude() = 0;
  virtual double GetAmplitudeMax() = 0;
  virtual double GetOffset() = 0;
  virtual double GetSymmetry() = 0;
  virtual int32_t GetEnabled() = 0;  // non-zero = enabled
};

// A function generator: a named object (its name and number through IVTObject of the same object)
// with settings. (The operation that precedes GetGeneratorSettings in its table is not used by this
// library and not declared.)
struct IFunctionGenerator : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{AC09E47D-796C-4B21-846E-2D29BA2B18B5}");

  virtual ComPtr<IGeneratorSettings> GetGeneratorSettings() = 0;
};

// The arbitrary-waveform memory of a generator.
struct IGeneratorMemory : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{85254128-2A97-46EB-AB42-CDF9729AD4EA}");

  // The generator's buffer of samples (null when there is none) and its length in samples.
  virtual float* LockData(uint32_t& length) = 0;
  virtual void UnlockData(bool changed) = 0;
};

// A device that is not a generator itself but provides one.
struct IGeneratorProvider : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{52348C01-3A0B-4E67-B9F7-DB236AFD3199}");

  virtual ComPtr<IFunctionGenerator> GetGenerator() = 0;
};

}  // namespace veltra
