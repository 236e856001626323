// Every export with no instrument open, called as an application calls it: its answer, what it
// writes through its pointers (and that it writes nothing else), and its answer to null pointers.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "veltra/veltra.h"

namespace {

// Caller variables, filled with a pattern before each call so every write shows.
struct Scratch {
  uint8_t u8;
  uint16_t u16;
  uint32_t u32;
  uint64_t u64;
  double d1;
  double d2;
  double list[20];
  uint16_t codes[2];
  uint8_t bytes[4];
};

Scratch Fresh() {
  Scratch s;
  std::memset(&s, 0xA5, sizeof s);
  return s;
}

struct Row {
  const char* name;
  std::function<double(Scratch&)> call;  // every result fits a double exactly
  double result;
  std::function<void(Scratch&)> writes;  // applied to a fresh Scratch: what the call must leave
};

void ZeroList(Scratch& s) {
  for (double& d : s.list) d = 0.0;
}

constexpr double OK = STATUS_OK, NO_INSTRUMENT = STATUS_NO_INSTRUMENT,
                 NOT_INITIALIZED = STATUS_NOT_INITIALIZED, NOT_SUPPORTED = STATUS_NOT_SUPPORTED,
                 NO_GENERATOR = STATUS_NO_GENERATOR, INVALID_CHANNEL = STATUS_INVALID_CHANNEL,
                 INVALID_VALUE = STATUS_INVALID_VALUE;

std::vector<Row> Walk() {
  using S = Scratch;
  return {
      // Instrument and information
      {"InitInstrument", [](S&) { return InitInstrument(0); }, NO_INSTRUMENT, nullptr},
      {"GetCalibrationDate", [](S& s) { return GetCalibrationDate(&s.u32); }, NO_INSTRUMENT,
       [](S& s) { s.u32 = 0; }},
      {"GetSerialNumber", [](S& s) { return GetSerialNumber(&s.u32); }, NO_INSTRUMENT, nullptr},
      {"GetNrChannels", [](S& s) { return GetNrChannels(&s.u16); }, NO_INSTRUMENT, nullptr},
      {"GetMaxSampleFrequencyF", [](S&) { return GetMaxSampleFrequencyF(); }, 0.0, nullptr},
      {"GetMaxSampleFrequency", [](S&) { return GetMaxSampleFrequency(); }, 0, nullptr},
      {"GetMaxRecordLength", [](S&) { return GetMaxRecordLength(); }, 0, nullptr},
      {"GetDCLevelStatus", [](S&) { return GetDCLevelStatus(); }, NOT_SUPPORTED, nullptr},
      {"GetSquareWaveGenStatus", [](S&) { return GetSquareWaveGenStatus(); }, NO_GENERATOR, nullptr},
      {"GetFunctionGenStatus", [](S&) { return GetFunctionGenStatus(); }, NO_INSTRUMENT, nullptr},
      // Acquisition
      {"GetResolution", [](S& s) { return GetResolution(&s.u8); }, NO_INSTRUMENT, nullptr},
      {"SetResolution", [](S&) { return SetResolution(12); }, NO_INSTRUMENT, nullptr},
      {"GetAvailableResolutions", [](S& s) { return GetAvailableResolutions(s.list); },
       NO_INSTRUMENT, ZeroList},
      {"GetMeasureMode", [](S& s) { return GetMeasureMode(&s.u8); }, NO_INSTRUMENT,
       [](S& s) { s.u8 = 0; }},
      {"SetMeasureMode", [](S&) { return SetMeasureMode(1); }, NO_INSTRUMENT, nullptr},
      {"GetChEnabled", [](S& s) { return GetChEnabled(1, &s.u8); }, NO_INSTRUMENT,
       [](S& s) { s.u8 = 0; }},
      {"SetChEnabled", [](S&) { return SetChEnabled(1, 1); }, NO_INSTRUMENT, nullptr},
      {"GetRecordLength", [](S&) { return GetRecordLength(); }, 0, nullptr},
      {"SetRecordLength", [](S&) { return SetRecordLength(1000); }, NO_INSTRUMENT, nullptr},
      {"GetPostSamples", [](S&) { return GetPostSamples(); }, 0, nullptr},
      {"SetPostSamples", [](S&) { return SetPostSamples(250); }, NO_INSTRUMENT, nullptr},
      {"GetSampleFrequency", [](S&) { return GetSampleFrequency(); }, 0, nullptr},
      {"SetSampleFrequency", [](S& s) { s.u32 = 1000000; return SetSampleFrequency(&s.u32); },
       NO_INSTRUMENT, [](S& s) { s.u32 = 1000000; }},
      {"GetSampleFrequencyF", [](S&) { return GetSampleFrequencyF(); }, 0.0, nullptr},
      {"SetSampleFrequencyF", [](S& s) { s.d1 = 1e6; return SetSampleFrequencyF(&s.d1); },
       NO_INSTRUMENT, [](S& s) { s.d1 = 1e6; }},
      {"GetExternalClock", [](S& s) { return GetExternalClock(&s.u16); }, NO_INSTRUMENT,
       [](S& s) { s.u16 = 0; }},
      {"SetExternalClock(1)", [](S&) { return SetExternalClock(1); }, NO_INSTRUMENT, nullptr},
      {"SetExternalClock(0)", [](S&) { return SetExternalClock(0); }, NO_INSTRUMENT, nullptr},
      {"SetExternalClock(3)", [](S&) { return SetExternalClock(3); }, INVALID_VALUE, nullptr},
      {"GetTransferMode", [](S& s) { return GetTransferMode(&s.u32); }, NO_INSTRUMENT, nullptr},
      {"SetTransferMode", [](S&) { return SetTransferMode(7); }, NO_INSTRUMENT, nullptr},
      // Channel inputs
      {"GetSensitivity", [](S& s) { return GetSensitivity(1, &s.d1); }, NO_INSTRUMENT, nullptr},
      {"SetSensitivity", [](S& s) { s.d1 = 2.0; return SetSensitivity(1, &s.d1); }, NO_INSTRUMENT,
       [](S& s) { s.d1 = 2.0; }},
      {"GetAutoRanging", [](S& s) { return GetAutoRanging(1, &s.u8); }, NO_INSTRUMENT, nullptr},
      {"SetAutoRanging", [](S&) { return SetAutoRanging(1, 1); }, NO_INSTRUMENT, nullptr},
      {"GetCoupling", [](S& s) { return GetCoupling(1, &s.u8); }, NO_INSTRUMENT, nullptr},
      {"SetCoupling", [](S&) { return SetCoupling(1, 2); }, NO_INSTRUMENT, nullptr},
      {"GetAvailableSensitivities", [](S& s) { return GetAvailableSensitivities(s.list); },
       NO_INSTRUMENT, ZeroList},
      {"GetDcLevel", [](S& s) { return GetDcLevel(1, &s.d1); }, NOT_SUPPORTED, nullptr},
      {"SetDcLevel", [](S&) { return SetDcLevel(1, 0.5); }, NOT_SUPPORTED, nullptr},
      // Trigger
      {"GetTriggerSource", [](S& s) { return GetTriggerSource(&s.u8); }, NO_INSTRUMENT,
       [](S& s) { s.u8 = 15; }},
      {"SetTriggerSource", [](S&) { return SetTriggerSource(0); }, NO_INSTRUMENT, nullptr},
      {"SetTriggerSource(15)", [](S&) { return SetTriggerSource(15); }, NO_INSTRUMENT, nullptr},
      {"GetTriggerSources", [](S& s) { return GetTriggerSources(&s.u64); }, NO_INSTRUMENT, nullptr},
      {"GetTriggerSourceOR", [](S& s) { return GetTriggerSourceOR(&s.u64); }, NO_INSTRUMENT,
       nullptr},
      {"SetTriggerSourceOR", [](S&) { return SetTriggerSourceOR(1); }, NO_INSTRUMENT, nullptr},
      {"GetTriggerSourceAND", [](S& s) { return GetTriggerSourceAND(&s.u64); }, NO_INSTRUMENT,
       nullptr},
      {"SetTriggerSourceAND", [](S&) { return SetTriggerSourceAND(3); }, NO_INSTRUMENT, nullptr},
      {"GetTriggerMode", [](S& s) { return GetTriggerMode(&s.u8); }, NO_INSTRUMENT, nullptr},
      {"SetTriggerMode", [](S&) { return SetTriggerMode(0); }, NO_INSTRUMENT, nullptr},
      {"SetTriggerMode(-1)", [](S&) { return SetTriggerMode(-1); }, NO_INSTRUMENT, nullptr},
      {"GetTriggerModeCh", [](S& s) { return GetTriggerModeCh(1, &s.u8); }, NO_INSTRUMENT, nullptr},
      {"SetTriggerModeCh", [](S&) { return SetTriggerModeCh(1, 2); }, NO_INSTRUMENT, nullptr},
      {"SetTriggerModeCh(12)", [](S&) { return SetTriggerModeCh(1, 12); }, INVALID_VALUE, nullptr},
      {"SetTriggerModeCh(11)", [](S&) { return SetTriggerModeCh(1, 11); }, NO_INSTRUMENT, nullptr},
      {"GetTriggerLevel", [](S& s) { return GetTriggerLevel(1, &s.d1); }, NO_INSTRUMENT,
       [](S& s) { s.d1 = 0.0; }},
      {"SetTriggerLevel", [](S&) { return SetTriggerLevel(1, 0.0); }, NO_INSTRUMENT, nullptr},
      {"GetTriggerHys", [](S& s) { return GetTriggerHys(1, &s.d1); }, NO_INSTRUMENT,
       [](S& s) { s.d1 = 0.0; }},
      {"SetTriggerHys", [](S&) { return SetTriggerHys(1, 0.1); }, NO_INSTRUMENT, nullptr},
      {"GetTriggerTimeOut", [](S&) { return GetTriggerTimeOut(); }, 0, nullptr},
      {"SetTriggerTimeOut", [](S&) { return SetTriggerTimeOut(-1); }, NO_INSTRUMENT, nullptr},
      {"GetPXITriggerSlopes", [](S&) { return GetPXITriggerSlopes(0); }, NOT_SUPPORTED, nullptr},
      {"SetPXITriggerSlopes", [](S&) { return SetPXITriggerSlopes(1); }, NOT_SUPPORTED, nullptr},
      {"GetPXITriggerEnables", [](S&) { return GetPXITriggerEnables(0); }, NOT_SUPPORTED, nullptr},
      {"SetPXITriggerEnables", [](S&) { return SetPXITriggerEnables(1); }, NOT_SUPPORTED, nullptr},
      // Measurement
      {"StartMeasurement", [](S&) { return StartMeasurement(); }, NO_INSTRUMENT, nullptr},
      {"GetMeasurementCh", [](S& s) { return GetMeasurementCh(1, s.list); }, NO_INSTRUMENT, nullptr},
      {"GetMeasurement", [](S& s) { return GetMeasurement(&s.d1, &s.d2); }, NO_INSTRUMENT, nullptr},
      {"GetOneMeasurementCh", [](S& s) { return GetOneMeasurementCh(1, 0, &s.d1); }, NO_INSTRUMENT,
       nullptr},
      {"GetOneMeasurement", [](S& s) { return GetOneMeasurement(0, &s.d1, &s.d2); }, NO_INSTRUMENT,
       nullptr},
      {"GetMeasurementRawCh", [](S& s) { return GetMeasurementRawCh(1, s.codes); }, NO_INSTRUMENT,
       nullptr},
      {"GetMeasurementRaw", [](S& s) { return GetMeasurementRaw(&s.codes[0], &s.codes[1]); },
       NO_INSTRUMENT, nullptr},
      {"GetOneMeasurementRawCh", [](S& s) { return GetOneMeasurementRawCh(1, 0, &s.u16); },
       NO_INSTRUMENT, nullptr},
      {"GetOneMeasurementRaw", [](S& s) { return GetOneMeasurementRaw(0, &s.codes[0], &s.codes[1]); },
       NO_INSTRUMENT, nullptr},
      {"ADC_Start", [](S&) { return ADC_Start(); }, NOT_INITIALIZED, nullptr},
      {"ADC_Running", [](S&) { return ADC_Running(); }, 0, nullptr},
      {"ADC_Abort", [](S&) { return ADC_Abort(); }, NO_INSTRUMENT, nullptr},
      {"ADC_ForceTrig", [](S&) { return ADC_ForceTrig(); }, NO_INSTRUMENT, nullptr},
      {"ADC_Triggered", [](S&) { return ADC_Triggered(); }, 0, nullptr},
      {"ADC_Ready", [](S&) { return ADC_Ready(); }, 0, nullptr},
      {"ADC_GetData", [](S& s) { return ADC_GetData(&s.codes[0], &s.codes[1]); }, NO_INSTRUMENT,
       nullptr},
      {"ADC_GetDataCh", [](S& s) { return ADC_GetDataCh(1, s.codes); }, NO_INSTRUMENT, nullptr},
      {"ADC_GetDataVolt", [](S& s) { return ADC_GetDataVolt(&s.d1, &s.d2); }, NO_INSTRUMENT, nullptr},
      {"ADC_GetDataVoltCh", [](S& s) { return ADC_GetDataVoltCh(1, s.list); }, NO_INSTRUMENT, nullptr},
      // Function generators
      {"SetFuncGenFrequencyCh", [](S& s) { s.d1 = 1e3; return SetFuncGenFrequencyCh(1, &s.d1); },
       NO_GENERATOR, [](S& s) { s.d1 = 1e3; }},
      {"SetFuncGenFrequency", [](S& s) { s.d1 = 1e3; return SetFuncGenFrequency(&s.d1); },
       NO_GENERATOR, [](S& s) { s.d1 = 1e3; }},
      {"GetFuncGenFrequencyCh", [](S& s) { return GetFuncGenFrequencyCh(1, &s.d1); }, NO_GENERATOR, nullptr},
      {"GetFuncGenFrequency", [](S& s) { return GetFuncGenFrequency(&s.d1); }, NO_GENERATOR, nullptr},
      {"SetFuncGenAmplitudeCh", [](S&) { return SetFuncGenAmplitudeCh(1, 1.0); }, NO_GENERATOR, nullptr},
      {"SetFuncGenAmplitude", [](S&) { return SetFuncGenAmplitude(1.0); }, NO_GENERATOR, nullptr},
      {"GetFuncGenAmplitudeCh", [](S& s) { return GetFuncGenAmplitudeCh(1, &s.d1); }, NO_GENERATOR, nullptr},
      {"GetFuncGenAmplitude", [](S& s) { return GetFuncGenAmplitude(&s.d1); }, NO_GENERATOR, nullptr},
      {"GetFuncGenMaxAmplitudeCh", [](S& s) { return GetFuncGenMaxAmplitudeCh(1, &s.d1); },
       NO_GENERATOR, nullptr},
      {"GetFuncGenMaxAmplitude", [](S& s) { return GetFuncGenMaxAmplitude(&s.d1); }, NO_GENERATOR, nullptr},
      {"SetFuncGenDCOffsetCh", [](S&) { return SetFuncGenDCOffsetCh(1, 0.5); }, NO_GENERATOR, nullptr},
      {"SetFuncGenDCOffset", [](S&) { return SetFuncGenDCOffset(0.5); }, NO_GENERATOR, nullptr},
      {"GetFuncGenDCOffsetCh", [](S& s) { return GetFuncGenDCOffsetCh(1, &s.d1); }, NO_GENERATOR, nullptr},
      {"GetFuncGenDCOffset", [](S& s) { return GetFuncGenDCOffset(&s.d1); }, NO_GENERATOR, nullptr},
      {"SetFuncGenSymmetryCh", [](S&) { return SetFuncGenSymmetryCh(1, 50.0); }, NO_GENERATOR, nullptr},
      {"SetFuncGenSymmetry", [](S&) { return SetFuncGenSymmetry(50.0); }, NO_GENERATOR, nullptr},
      {"GetFuncGenSymmetryCh", [](S& s) { return GetFuncGenSymmetryCh(1, &s.d1); }, NO_GENERATOR, nullptr},
      {"GetFuncGenSymmetry", [](S& s) { return GetFuncGenSymmetry(&s.d1); }, NO_GENERATOR, nullptr},
      {"SetFuncGenSignalTypeCh", [](S&) { return SetFuncGenSignalTypeCh(1, 1); }, NO_GENERATOR, nullptr},
      {"SetFuncGenSignalType", [](S&) { return SetFuncGenSignalType(1); }, NO_GENERATOR, nullptr},
      {"GetFuncGenSignalTypeCh", [](S& s) { return GetFuncGenSignalTypeCh(1, &s.u16); }, NO_GENERATOR, nullptr},
      {"GetFuncGenSignalType", [](S& s) { return GetFuncGenSignalType(&s.u16); }, NO_GENERATOR, nullptr},
      {"SetFuncGenOutputOnCh", [](S&) { return SetFuncGenOutputOnCh(1, 1); }, NO_GENERATOR, nullptr},
      {"SetFuncGenOutputOn", [](S&) { return SetFuncGenOutputOn(1); }, NO_GENERATOR, nullptr},
      {"GetFuncGenOutputOnCh", [](S& s) { return GetFuncGenOutputOnCh(1, &s.u16); }, NO_GENERATOR, nullptr},
      {"GetFuncGenOutputOn", [](S& s) { return GetFuncGenOutputOn(&s.u16); }, NO_GENERATOR, nullptr},
      {"SetFuncGenEnableCh", [](S&) { return SetFuncGenEnableCh(1, 1); }, NO_GENERATOR, nullptr},
      {"SetFuncGenEnable", [](S&) { return SetFuncGenEnable(0); }, NO_GENERATOR, nullptr},
      {"GetFuncGenEnableCh", [](S& s) { return GetFuncGenEnableCh(1, &s.u16); }, NO_GENERATOR, nullptr},
      {"GetFuncGenEnable", [](S& s) { return GetFuncGenEnable(&s.u16); }, NO_GENERATOR, nullptr},
      {"FillFuncGenMemoryCh", [](S& s) { return FillFuncGenMemoryCh(1, 2, s.codes); }, NO_GENERATOR, nullptr},
      {"FillFuncGenMemory", [](S& s) { return FillFuncGenMemory(2, s.codes); }, NO_GENERATOR, nullptr},
      {"FuncGenBurstCh", [](S&) { return FuncGenBurstCh(1, 10); }, NO_GENERATOR, nullptr},
      {"FuncGenBurst", [](S&) { return FuncGenBurst(10); }, NO_GENERATOR, nullptr},
      {"SetFuncGenModeCh", [](S&) { return SetFuncGenModeCh(1, 1); }, NO_GENERATOR, nullptr},
      {"SetFuncGenMode", [](S&) { return SetFuncGenMode(1); }, NO_GENERATOR, nullptr},
      {"GetFuncGenModeCh", [](S& s) { return GetFuncGenModeCh(1, &s.u32); }, NO_GENERATOR, nullptr},
      {"GetFuncGenMode", [](S& s) { return GetFuncGenMode(&s.u32); }, NO_GENERATOR, nullptr},
      {"SetFuncGenTrigSourceCh", [](S&) { return SetFuncGenTrigSourceCh(1, 0); }, NO_GENERATOR, nullptr},
      {"SetFuncGenTrigSource", [](S&) { return SetFuncGenTrigSource(0); }, NO_GENERATOR, nullptr},
      {"GetFuncGenTrigSourceCh", [](S& s) { return GetFuncGenTrigSourceCh(1, &s.u8); }, NO_GENERATOR, nullptr},
      {"GetFuncGenTrigSource", [](S& s) { return GetFuncGenTrigSource(&s.u8); }, NO_GENERATOR, nullptr},
      {"SetFuncGenFrequencyCh(0)", [](S& s) { s.d1 = 1e3; return SetFuncGenFrequencyCh(0, &s.d1); },
       NO_GENERATOR, [](S& s) { s.d1 = 1e3; }},
      {"GetFunctionGeneratorCount", [](S&) { return GetFunctionGeneratorCount(); }, 0, nullptr},
      {"CloseGenerators", [](S&) { CloseGenerators(); return 0.0; }, 0, nullptr},
      {"SetSquareWaveGenFrequency", [](S&) { return SetSquareWaveGenFrequency(1000); }, NO_GENERATOR,
       nullptr},
      {"GetSquareWaveGenFrequency", [](S&) { return GetSquareWaveGenFrequency(); }, 0, nullptr},
      // I2C: no instrument is open, so there is no host 1
      {"I2CWriteCh", [](S& s) { return I2CWriteCh(1, 0x27, s.bytes, 2); }, INVALID_CHANNEL, nullptr},
      {"I2CWrite", [](S& s) { return I2CWrite(0x27, s.bytes, 2); }, INVALID_CHANNEL, nullptr},
      {"I2CWriteNoStopCh", [](S& s) { return I2CWriteNoStopCh(1, 0x27, s.bytes, 2); }, INVALID_CHANNEL,
       nullptr},
      {"I2CWriteNoStop", [](S& s) { return I2CWriteNoStop(0x27, s.bytes, 2); }, INVALID_CHANNEL, nullptr},
      {"I2CReadCh", [](S& s) { return I2CReadCh(0, 0x27, s.bytes, 4); }, INVALID_CHANNEL, nullptr},
      {"I2CRead", [](S& s) { return I2CRead(0x27, s.bytes, 4); }, INVALID_CHANNEL, nullptr},
      {"I2CReadNoStopCh", [](S& s) { return I2CReadNoStopCh(1, 0x27, s.bytes, 4); }, INVALID_CHANNEL,
       nullptr},
      {"I2CReadNoStop", [](S& s) { return I2CReadNoStop(0x27, s.bytes, 4); }, INVALID_CHANNEL, nullptr},
      {"I2CGetSpeedCh", [](S& s) { return I2CGetSpeedCh(1, &s.u32); }, INVALID_CHANNEL, nullptr},
      {"I2CGetSpeed", [](S& s) { return I2CGetSpeed(&s.u32); }, INVALID_CHANNEL, nullptr},
      {"I2CSetSpeedCh", [](S& s) { s.u32 = 100000; return I2CSetSpeedCh(1, &s.u32); }, INVALID_CHANNEL,
       [](S& s) { s.u32 = 100000; }},
      {"I2CSetSpeed", [](S& s) { s.u32 = 100000; return I2CSetSpeed(&s.u32); }, INVALID_CHANNEL,
       [](S& s) { s.u32 = 100000; }},
      // Digital I/O, ohm, configuration
      {"SetDigitalOutputs", [](S&) { return SetDigitalOutputs(3); }, NOT_SUPPORTED, nullptr},
      {"GetDigitalOutputs", [](S& s) { return GetDigitalOutputs(&s.u32); }, NOT_SUPPORTED, nullptr},
      {"GetDigitalInputValues", [](S& s) { return GetDigitalInputValues(&s.u32); }, NOT_SUPPORTED, nullptr},
      {"GetOneDigitalValue", [](S& s) { return GetOneDigitalValue(1, &s.u16); }, NOT_SUPPORTED, nullptr},
      {"SetupOhmMeasurements", [](S&) { return SetupOhmMeasurements(1); }, NOT_SUPPORTED, nullptr},
      {"GetOhmValues", [](S& s) { return GetOhmValues(&s.d1, &s.d2); }, NOT_SUPPORTED,
       [](S& s) { s.d1 = s.d2 = 0.0; }},
      {"SetInstrumentConfig", [](S&) { return SetInstrumentConfig(3); }, NO_INSTRUMENT, nullptr},
      // Data-ready notification works without an instrument
      {"SetDataReadyCallback", [](S&) { return SetDataReadyCallback(nullptr); }, OK, nullptr},
      {"SetDataReadyEvent", [](S&) { return SetDataReadyEvent(0); }, OK, nullptr},
      {"ExitInstrument", [](S&) { return ExitInstrument(); }, OK, nullptr},
      {"ExitInstrument again", [](S&) { return ExitInstrument(); }, OK, nullptr},
  };
}

TEST(ExportWalk, EveryExportAnswersWithoutAnInstrument) {
  for (const Row& row : Walk()) {
    SCOPED_TRACE(row.name);
    Scratch actual = Fresh();
    const double result = row.call(actual);
    EXPECT_EQ(result, row.result);
    Scratch expected = Fresh();
    if (row.writes) row.writes(expected);
    EXPECT_EQ(std::memcmp(&actual, &expected, sizeof actual), 0) << "written memory differs";
  }
}

// Exports handed null pointers: checks run in order, nothing is dereferenced.
TEST(ExportWalk, NullPointersAreNeverDereferenced) {
  struct NullRow {
    const char* name;
    double (*call)();
    double result;
  };
  const NullRow rows[] = {
      {"GetCalibrationDate", [] { return double(GetCalibrationDate(nullptr)); }, NO_INSTRUMENT},
      {"GetSerialNumber", [] { return double(GetSerialNumber(nullptr)); }, NO_INSTRUMENT},
      {"GetNrChannels", [] { return double(GetNrChannels(nullptr)); }, NO_INSTRUMENT},
      {"GetResolution", [] { return double(GetResolution(nullptr)); }, NO_INSTRUMENT},
      {"GetAvailableResolutions", [] { return double(GetAvailableResolutions(nullptr)); }, NO_INSTRUMENT},
      {"GetMeasureMode", [] { return double(GetMeasureMode(nullptr)); }, NO_INSTRUMENT},
      {"GetChEnabled", [] { return double(GetChEnabled(1, nullptr)); }, NO_INSTRUMENT},
      {"SetSampleFrequency", [] { return double(SetSampleFrequency(nullptr)); }, NO_INSTRUMENT},
      {"SetSampleFrequencyF", [] { return double(SetSampleFrequencyF(nullptr)); }, NO_INSTRUMENT},
      {"GetExternalClock", [] { return double(GetExternalClock(nullptr)); }, NO_INSTRUMENT},
      {"GetTransferMode", [] { return double(GetTransferMode(nullptr)); }, NO_INSTRUMENT},
      {"GetSensitivity", [] { return double(GetSensitivity(1, nullptr)); }, NO_INSTRUMENT},
      {"SetSensitivity", [] { return double(SetSensitivity(1, nullptr)); }, NO_INSTRUMENT},
      {"GetAutoRanging", [] { return double(GetAutoRanging(1, nullptr)); }, NO_INSTRUMENT},
      {"GetCoupling", [] { return double(GetCoupling(1, nullptr)); }, NO_INSTRUMENT},
      {"GetAvailableSensitivities", [] { return double(GetAvailableSensitivities(nullptr)); }, NO_INSTRUMENT},
      {"GetDcLevel", [] { return double(GetDcLevel(1, nullptr)); }, NOT_SUPPORTED},
      {"GetTriggerSource", [] { return double(GetTriggerSource(nullptr)); }, NO_INSTRUMENT},
      {"GetTriggerSources", [] { return double(GetTriggerSources(nullptr)); }, NO_INSTRUMENT},
      {"GetTriggerSourceOR", [] { return double(GetTriggerSourceOR(nullptr)); }, NO_INSTRUMENT},
      {"GetTriggerSourceAND", [] { return double(GetTriggerSourceAND(nullptr)); }, NO_INSTRUMENT},
      {"GetTriggerMode", [] { return double(GetTriggerMode(nullptr)); }, NO_INSTRUMENT},
      {"GetTriggerModeCh", [] { return double(GetTriggerModeCh(1, nullptr)); }, NO_INSTRUMENT},
      {"GetTriggerLevel", [] { return double(GetTriggerLevel(1, nullptr)); }, NO_INSTRUMENT},
      {"GetTriggerHys", [] { return double(GetTriggerHys(1, nullptr)); }, NO_INSTRUMENT},
      {"GetMeasurementCh", [] { return double(GetMeasurementCh(1, nullptr)); }, NO_INSTRUMENT},
      {"GetMeasurement", [] { return double(GetMeasurement(nullptr, nullptr)); }, NO_INSTRUMENT},
      {"GetOneMeasurementCh", [] { return double(GetOneMeasurementCh(1, 0, nullptr)); }, NO_INSTRUMENT},
      {"GetOneMeasurement", [] { return double(GetOneMeasurement(0, nullptr, nullptr)); }, NO_INSTRUMENT},
      {"GetMeasurementRawCh", [] { return double(GetMeasurementRawCh(1, nullptr)); }, NO_INSTRUMENT},
      {"GetMeasurementRaw", [] { return double(GetMeasurementRaw(nullptr, nullptr)); }, NO_INSTRUMENT},
      {"GetOneMeasurementRawCh", [] { return double(GetOneMeasurementRawCh(1, 0, nullptr)); }, NO_INSTRUMENT},
      {"GetOneMeasurementRaw", [] { return double(GetOneMeasurementRaw(0, nullptr, nullptr)); }, NO_INSTRUMENT},
      {"ADC_GetData", [] { return double(ADC_GetData(nullptr, nullptr)); }, NO_INSTRUMENT},
      {"ADC_GetDataCh", [] { return double(ADC_GetDataCh(1, nullptr)); }, NO_INSTRUMENT},
      {"ADC_GetDataVolt", [] { return double(ADC_GetDataVolt(nullptr, nullptr)); }, NO_INSTRUMENT},
      {"ADC_GetDataVoltCh", [] { return double(ADC_GetDataVoltCh(1, nullptr)); }, NO_INSTRUMENT},
      {"SetFuncGenFrequencyCh", [] { return double(SetFuncGenFrequencyCh(1, nullptr)); }, NO_GENERATOR},
      {"GetFuncGenFrequencyCh", [] { return double(GetFuncGenFrequencyCh(1, nullptr)); }, NO_GENERATOR},
      {"GetFuncGenAmplitudeCh", [] { return double(GetFuncGenAmplitudeCh(1, nullptr)); }, NO_GENERATOR},
      {"GetFuncGenMaxAmplitudeCh", [] { return double(GetFuncGenMaxAmplitudeCh(1, nullptr)); }, NO_GENERATOR},
      {"GetFuncGenDCOffsetCh", [] { return double(GetFuncGenDCOffsetCh(1, nullptr)); }, NO_GENERATOR},
      {"GetFuncGenSymmetryCh", [] { return double(GetFuncGenSymmetryCh(1, nullptr)); }, NO_GENERATOR},
      {"GetFuncGenSignalTypeCh", [] { return double(GetFuncGenSignalTypeCh(1, nullptr)); }, NO_GENERATOR},
      {"GetFuncGenOutputOnCh", [] { return double(GetFuncGenOutputOnCh(1, nullptr)); }, NO_GENERATOR},
      {"GetFuncGenEnableCh", [] { return double(GetFuncGenEnableCh(1, nullptr)); }, NO_GENERATOR},
      {"FillFuncGenMemoryCh", [] { return double(FillFuncGenMemoryCh(1, 100, nullptr)); }, NO_GENERATOR},
      {"GetFuncGenModeCh", [] { return double(GetFuncGenModeCh(1, nullptr)); }, NO_GENERATOR},
      {"GetFuncGenTrigSourceCh", [] { return double(GetFuncGenTrigSourceCh(1, nullptr)); }, NO_GENERATOR},
      {"I2CWriteCh", [] { return double(I2CWriteCh(1, 0x27, nullptr, 2)); }, INVALID_CHANNEL},
      {"I2CReadCh", [] { return double(I2CReadCh(1, 0x27, nullptr, 2)); }, INVALID_CHANNEL},
      {"I2CGetSpeedCh", [] { return double(I2CGetSpeedCh(1, nullptr)); }, INVALID_CHANNEL},
      {"I2CSetSpeedCh", [] { return double(I2CSetSpeedCh(1, nullptr)); }, INVALID_CHANNEL},
      {"GetDigitalOutputs", [] { return double(GetDigitalOutputs(nullptr)); }, NOT_SUPPORTED},
      {"GetDigitalInputValues", [] { return double(GetDigitalInputValues(nullptr)); }, NOT_SUPPORTED},
      {"GetOneDigitalValue", [] { return double(GetOneDigitalValue(1, nullptr)); }, NOT_SUPPORTED},
      {"GetOhmValues", [] { return double(GetOhmValues(nullptr, nullptr)); }, NOT_SUPPORTED},
      {"SetDataReadyCallback", [] { return double(SetDataReadyCallback(nullptr)); }, OK},
  };
  for (const NullRow& row : rows) {
    EXPECT_EQ(row.call(), row.result) << row.name;
  }
}

}  // namespace
