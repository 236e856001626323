// Function generators: addressed by their position in the generator list (1-based), each export
// takes the generator's settings and calls one operation on them.

#include "api/ExportFrame.h"
#include "api/TriggerSources.h"
#include "hw/FGInterface.h"
#include "hw/TrigInterface.h"
#include "util/ConvertData.h"
#include "util/DataTypes.h"

using namespace veltra;
using namespace veltra::api;

namespace {

constexpr uint16_t kLastSignalType = 5;

// Generator `number` and its settings, or STATUS_NO_GENERATOR.
struct TGeneratorAccess {
  ComPtr<IFunctionGenerator> generator = nullptr;
  ComPtr<IGeneratorSettings> settings = nullptr;
  VeltraStatus status = STATUS_OK;
};

TGeneratorAccess Generator(uint16_t number) {
  auto& list = State().generators;
  if (number == 0 || number > list.Count()) return {.status = STATUS_NO_GENERATOR};
  auto generator = list.Get(number - 1u);
  if (!generator) return {.status = STATUS_NO_GENERATOR};
  auto settings = generator->GetGeneratorSettings();
  return {std::move(generator), std::move(settings), STATUS_OK};
}

// Runs `operation` on the settings of generator `number`.
template <class Operation>
VeltraStatus OnGenerator(uint16_t number, Operation operation) {
  return Guarded<VeltraStatus>(STATUS_NOT_SUPPORTED, [&] {
    const TGeneratorAccess access = Generator(number);
    if (access.status != STATUS_OK) return access.status;
    return operation(access, Must(access.settings));
  });
}

template <class T>
VeltraStatus GetDouble(uint16_t number, T* target, double (IGeneratorSettings::*read)(),
                       double factor = 1.0) {
  return OnGenerator(number, [&](const TGeneratorAccess&, IGeneratorSettings& s) {
    return Deliver(target, (s.*read)() * factor);
  });
}

}  // namespace

extern "C" {

VeltraStatus VELTRA_CALL SetFuncGenFrequencyCh(uint16_t generator, double* hertz) {
  return OnGenerator(generator, [&](const TGeneratorAccess&, IGeneratorSettings& s) {
    if (!hertz) return STATUS_INVALID_VALUE;
    s.SetFrequency(*hertz);
    return Deliver(hertz, s.GetFrequency());  // the frequency actually set
  });
}

VeltraStatus VELTRA_CALL GetFuncGenFrequencyCh(uint16_t generator, double* hertz) {
  return GetDouble(generator, hertz, &IGeneratorSettings::GetFrequency);
}

VeltraStatus VELTRA_CALL SetFuncGenAmplitudeCh(uint16_t generator, double amplitude) {
  return OnGenerator(generator, [&](const TGeneratorAccess&, IGeneratorSettings& s) {
    s.SetAmplitude(amplitude);
    return STATUS_OK;
  });
}

VeltraStatus VELTRA_CALL GetFuncGenAmplitudeCh(uint16_t generator, double* amplitude) {
  return GetDouble(generator, amplitude, &IGeneratorSettings::GetAmplitude);
}

VeltraStatus VELTRA_CALL GetFuncGenMaxAmplitudeCh(uint16_t generator, double* amplitude) {
  return GetDouble(generator, amplitude, &IGeneratorSettings::GetAmplitudeMax);
}

VeltraStatus VELTRA_CALL SetFuncGenDCOffsetCh(uint16_t generator, double offset) {
  return OnGenerator(generator, [&](const TGeneratorAccess&, IGeneratorSettings& s) {
    s.SetOffset(offset);
    return STATUS_OK;
  });
}

VeltraStatus VELTRA_CALL GetFuncGenDCOffsetCh(uint16_t generator, double* offset) {
  return GetDouble(generator, offset, &IGeneratorSettings::GetOffset);
}

VeltraStatus VELTRA_CALL SetFuncGenSymmetryCh(uint16_t generator, double percent) {
  return OnGenerator(generator, [&](const TGeneratorAccess&, IGeneratorSettings& s) {
    if (!(percent > 0.0)) percent = 0.0;
    if (percent > 100.0) percent = 100.0;
    s.SetSymmetry(percent / 100);
    return STATUS_OK;
  });
}

VeltraStatus VELTRA_CALL GetFuncGenSymmetryCh(uint16_t generator, double* percent) {
  return GetDouble(generator, percent, &IGeneratorSettings::GetSymmetry, 100.0);
}

VeltraStatus VELTRA_CALL SetFuncGenSignalTypeCh(uint16_t generator, uint16_t type) {
  return OnGenerator(generator, [&](const TGeneratorAccess&, IGeneratorSettings& s) {
    if (type <= kLastSignalType) s.SetSignalType(static_cast<uint8_t>(type));
    return STATUS_OK;  // other types are ignored
  });
}

VeltraStatus VELTRA_CALL GetFuncGenSignalTypeCh(uint16_t generator, uint16_t* type) {
  return OnGenerator(generator, [&](const TGeneratorAccess&, IGeneratorSettings& s) {
    return Deliver(type, std::min<uint16_t>(s.GetSignalType(), kLastSignalType));
  });
}

VeltraStatus VELTRA_CALL SetFuncGenOutputOnCh(uint16_t generator, uint16_t on) {
  return OnGenerator(generator, [&](const TGeneratorAccess&, IGeneratorSettings& s) {
    s.SetOutputOn(on != 0);
    if (on != 0) s.StartGenerator(-1);
    return STATUS_OK;
  });
}

VeltraStatus VELTRA_CALL GetFuncGenOutputOnCh(uint16_t generator, uint16_t* on) {
  return OnGenerator(generator, [&](const TGeneratorAccess&, IGeneratorSettings& s) {
    return Deliver(on, s.GetOutputOn() ? 1 : 0);
  });
}

VeltraStatus VELTRA_CALL SetFuncGenEnableCh(uint16_t generator, uint16_t enable) {
  return OnGenerator(generator, [&](const TGeneratorAccess&, IGeneratorSettings& s) {
    if (enable != 0) {
      s.StartGenerator(-1);
    } else {
      s.StopGenerator();
    }
    return STATUS_OK;
  });
}

VeltraStatus VELTRA_CALL GetFuncGenEnableCh(uint16_t generator, uint16_t* enabled) {
  return OnGenerator(generator, [&](const TGeneratorAccess&, IGeneratorSettings& s) {
    return Deliver(enabled, s.GetEnabled() != 0 ? 1 : 0);
  });
}

VeltraStatus VELTRA_CALL FillFuncGenMemoryCh(uint16_t generator, uint32_t count,
                                             const uint16_t* codes) {
  return OnGenerator(generator, [&](const TGeneratorAccess& access, IGeneratorSettings& s) {
    auto memory = Query<IGeneratorMemory>(access.generator);
    if (!memory) return STATUS_NOT_SUPPORTED;
    s.SetArbDataSize(count);
    uint32_t length = 0;
    float* buffer = memory->LockData(length);
    // Every lock is handed back, also when there is no buffer to fill or a step below throws.
    struct Unlock {
      IGeneratorMemory& memory;
      ~Unlock() { memory.UnlockData(true); }
    } unlock{*memory};
    if (!buffer || length == 0) return STATUS_OK;
    const uint32_t given = codes ? count : 0;  // no samples: the memory is cleared
    const uint32_t converted = std::min(given, length);
    // Codes span [-1, 1): 0 is -1, 32768 is 0, 65535 one code below +1.
    ConvertData(codes, buffer, DT_ARRAY_UINT16, DT_ARRAY_SINGLE, converted, -1.0, 1.0);
    std::fill(buffer + converted, buffer + length, 0.0f);
    return STATUS_OK;
  });
}

VeltraStatus VELTRA_CALL FuncGenBurstCh(uint16_t generator, uint16_t count) {
  return OnGenerator(generator, [&](const TGeneratorAccess&, IGeneratorSettings& s) {
    if ((s.GetSupportsSet() & FG_BURSTCOUNT) == 0) return STATUS_NOT_SUPPORTED;
    s.StopGenerator();
    s.SetOutputOn(true);
    s.StartGenerator(count);
    return STATUS_OK;
  });
}

VeltraStatus VELTRA_CALL SetFuncGenModeCh(uint16_t generator, uint32_t mode) {
  return OnGenerator(generator, [&](const TGeneratorAccess&, IGeneratorSettings& s) {
    return s.SetValue(FG_MODE, mode) == S_OK ? STATUS_OK : STATUS_NOT_SUPPORTED;
  });
}

VeltraStatus VELTRA_CALL GetFuncGenModeCh(uint16_t generator, uint32_t* mode) {
  return OnGenerator(generator, [&](const TGeneratorAccess&, IGeneratorSettings& s) {
    int64_t value = 0;
    if (s.GetValue(FG_MODE, value) != S_OK) return STATUS_NOT_SUPPORTED;
    return Deliver(mode, static_cast<uint32_t>(value));
  });
}

VeltraStatus VELTRA_CALL SetFuncGenTrigSourceCh(uint16_t generator, uint8_t source) {
  return OnGenerator(generator, [&](const TGeneratorAccess& access, IGeneratorSettings&) {
    auto trigger = Query<ITrigger>(access.generator);
    if (!trigger) return STATUS_NOT_SUPPORTED;
    if (source >= kTriggerSources.size()) return STATUS_INVALID_VALUE;
    // Both masks, as the instrument's own trigger source does, so the code reads back.
    ISettings& cur = Must(trigger->GetCur());
    const TSourceRow& row = kTriggerSources[source];
    const HResult orResult = cur.SetValue(TR_SOURCEOR, static_cast<int64_t>(row.orMask));
    const HResult andResult = cur.SetValue(TR_SOURCEAND, static_cast<int64_t>(row.andMask));
    return orResult == S_OK && andResult == S_OK ? STATUS_OK : STATUS_NOT_SUPPORTED;
  });
}

VeltraStatus VELTRA_CALL GetFuncGenTrigSourceCh(uint16_t generator, uint8_t* source) {
  return OnGenerator(generator, [&](const TGeneratorAccess& access, IGeneratorSettings&) {
    auto trigger = Query<ITrigger>(access.generator);
    if (!trigger) return STATUS_NOT_SUPPORTED;
    ISettings& cur = Must(trigger->GetCur());
    int64_t orMask = 0;
    int64_t andMask = 0;
    if (cur.GetValue(TR_SOURCEOR, orMask) != S_OK) return STATUS_NOT_SUPPORTED;
    const bool andRead = cur.GetValue(TR_SOURCEAND, andMask) == S_OK;
    // Every row counts here, valid or not: the first match wins.
    uint8_t found = kNoTriggerSource;
    for (size_t n = 0; n < kTriggerSources.size(); ++n) {
      const TSourceRow& row = kTriggerSources[n];
      if (row.orMask == static_cast<uint64_t>(orMask) &&
          (!andRead || row.andMask == static_cast<uint64_t>(andMask))) {
        found = static_cast<uint8_t>(n);
        break;
      }
    }
    return Deliver(source, found);
  });
}

// The forms without Ch act on generator 1.
VeltraStatus VELTRA_CALL SetFuncGenFrequency(double* hertz) { return SetFuncGenFrequencyCh(1, hertz); }
VeltraStatus VELTRA_CALL GetFuncGenFrequency(double* hertz) { return GetFuncGenFrequencyCh(1, hertz); }
VeltraStatus VELTRA_CALL SetFuncGenAmplitude(double amplitude) { return SetFuncGenAmplitudeCh(1, amplitude); }
VeltraStatus VELTRA_CALL GetFuncGenAmplitude(double* amplitude) { return GetFuncGenAmplitudeCh(1, amplitude); }
VeltraStatus VELTRA_CALL GetFuncGenMaxAmplitude(double* amplitude) { return GetFuncGenMaxAmplitudeCh(1, amplitude); }
VeltraStatus VELTRA_CALL SetFuncGenDCOffset(double offset) { return SetFuncGenDCOffsetCh(1, offset); }
VeltraStatus VELTRA_CALL GetFuncGenDCOffset(double* offset) { return GetFuncGenDCOffsetCh(1, offset); }
VeltraStatus VELTRA_CALL SetFuncGenSymmetry(double percent) { return SetFuncGenSymmetryCh(1, percent); }
VeltraStatus VELTRA_CALL GetFuncGenSymmetry(double* percent) { return GetFuncGenSymmetryCh(1, percent); }
VeltraStatus VELTRA_CALL SetFuncGenSignalType(uint16_t type) { return SetFuncGenSignalTypeCh(1, type); }
VeltraStatus VELTRA_CALL GetFuncGenSignalType(uint16_t* type) { return GetFuncGenSignalTypeCh(1, type); }
VeltraStatus VELTRA_CALL SetFuncGenOutputOn(uint16_t on) { return SetFuncGenOutputOnCh(1, on); }
VeltraStatus VELTRA_CALL GetFuncGenOutputOn(uint16_t* on) { return GetFuncGenOutputOnCh(1, on); }
VeltraStatus VELTRA_CALL SetFuncGenEnable(uint16_t enable) { return SetFuncGenEnableCh(1, enable); }
VeltraStatus VELTRA_CALL GetFuncGenEnable(uint16_t* enabled) { return GetFuncGenEnableCh(1, enabled); }
VeltraStatus VELTRA_CALL FillFuncGenMemory(uint32_t count, const uint16_t* codes) { return FillFuncGenMemoryCh(1, count, codes); }
VeltraStatus VELTRA_CALL FuncGenBurst(uint16_t count) { return FuncGenBurstCh(1, count); }
VeltraStatus VELTRA_CALL SetFuncGenMode(uint32_t mode) { return SetFuncGenModeCh(1, mode); }
VeltraStatus VELTRA_CALL GetFuncGenMode(uint32_t* mode) { return GetFuncGenModeCh(1, mode); }
VeltraStatus VELTRA_CALL SetFuncGenTrigSource(uint8_t source) { return SetFuncGenTrigSourceCh(1, source); }
VeltraStatus VELTRA_CALL GetFuncGenTrigSource(uint8_t* source) { return GetFuncGenTrigSourceCh(1, source); }

uint16_t VELTRA_CALL GetFunctionGeneratorCount(void) {
  return Guarded<uint16_t>(0, [] { return static_cast<uint16_t>(State().generators.Count()); });
}

void VELTRA_CALL CloseGenerators(void) {
  Guarded([] {
    // Hiding a generator makes every holder let go, the list included.
    while (auto last = State().generators.Last()) HideGenerator(last.Get());
  });
}

VeltraStatus VELTRA_CALL SetSquareWaveGenFrequency(uint32_t /*hertz*/) { return STATUS_NO_GENERATOR; }

uint32_t VELTRA_CALL GetSquareWaveGenFrequency(void) { return 0; }

}  // extern "C"
