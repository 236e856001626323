// The library state behind the exports, with a generator and notifications the tests make: the
// generator list's order and upkeep, the generator exports on a present generator (including null
// pointers where a result is written), and the data-ready notification.

#include <gtest/gtest.h>

#include "FakeGenerator.h"
#include "api/DLL.h"
#include "platform/Platform.h"
#include "veltra/veltra.h"

namespace veltra::test {
namespace {

using api::State;

class Frame : public ::testing::Test {
 protected:
  void TearDown() override {
    SetDataReadyCallback(nullptr);
    SetDataReadyEvent(0);
    ExitInstrument();
  }

  ComPtr<TFakeGenerator> AddGenerator(int32_t number, size_t memorySamples = 0) {
    auto generator = MakeObject<TFakeGenerator>(number, memorySamples);
    api::AddGenerator(Query<IFunctionGenerator>(generator));
    return generator;
  }

  std::vector<int32_t> ListedNumbers() {
    std::vector<int32_t> numbers;
    for (size_t i = 0; i < State().generators.Count(); ++i) {
      auto object = Query<IVTObject>(State().generators.Get(i));
      numbers.push_back(object ? object->GetNumber() : -1);
    }
    return numbers;
  }
};

TEST_F(Frame, GeneratorsStandInObjectNumberOrder) {
  auto a = AddGenerator(5);
  auto b = AddGenerator(2);
  auto c = AddGenerator(9);
  auto d = AddGenerator(2);  // behind no lower number: to the front
  EXPECT_EQ(ListedNumbers(), (std::vector<int32_t>{2, 2, 5, 9}));
  EXPECT_EQ(State().generators.Get(0), Query<IFunctionGenerator>(d));
  EXPECT_EQ(GetFunctionGeneratorCount(), 4);
}

TEST_F(Frame, HiddenGeneratorsLeaveTheListAndNumbersShift) {
  auto first = AddGenerator(1);
  auto second = AddGenerator(2);
  first->Hide();
  EXPECT_EQ(ListedNumbers(), std::vector<int32_t>{2});
  double amplitude = 0;
  EXPECT_EQ(GetFuncGenMaxAmplitudeCh(1, &amplitude), STATUS_OK);  // number 1 is now `second`
  EXPECT_EQ(GetFuncGenMaxAmplitudeCh(2, &amplitude), STATUS_NO_GENERATOR);

  AddGenerator(3);
  CloseGenerators();
  EXPECT_EQ(GetFunctionGeneratorCount(), 0);
  EXPECT_EQ(GetFunctionGenStatus(), STATUS_NO_INSTRUMENT);
}

TEST_F(Frame, GeneratorStatusNeedsNoInstrument) {
  auto generator = AddGenerator(1);
  EXPECT_EQ(GetFunctionGenStatus(), STATUS_OK);
}

TEST_F(Frame, GeneratorSettersTranslateTheirArguments) {
  TFakeGeneratorSettings& s = AddGenerator(1)->Settings();
  EXPECT_EQ(SetFuncGenSymmetry(150.0), STATUS_OK);
  EXPECT_EQ(s.symmetry, 1.0);
  EXPECT_EQ(SetFuncGenSymmetry(-5.0), STATUS_OK);
  EXPECT_EQ(s.symmetry, 0.0);
  EXPECT_EQ(SetFuncGenSymmetry(25.0), STATUS_OK);
  double percent = 0;
  EXPECT_EQ(GetFuncGenSymmetry(&percent), STATUS_OK);
  EXPECT_EQ(percent, 25.0);

  EXPECT_EQ(SetFuncGenSignalType(9), STATUS_OK);  // ignored
  EXPECT_EQ(SetFuncGenSignalType(3), STATUS_OK);
  EXPECT_EQ(s.calls, std::vector<std::string>{"SetSignalType(3)"});
  s.signalType = 200;
  uint16_t type = 0;
  EXPECT_EQ(GetFuncGenSignalType(&type), STATUS_OK);
  EXPECT_EQ(type, 5);

  double hertz = 1000;
  EXPECT_EQ(SetFuncGenFrequency(&hertz), STATUS_OK);
  EXPECT_EQ(hertz, 500.0);  // the frequency the generator chose

  s.calls.clear();
  EXPECT_EQ(SetFuncGenOutputOn(1), STATUS_OK);
  EXPECT_EQ(SetFuncGenEnable(0), STATUS_OK);
  EXPECT_EQ(s.calls, (std::vector<std::string>{"SetOutputOn(1)", "StartGenerator(-1)",
                                               "StopGenerator"}));
  uint16_t enabled = 0;
  EXPECT_EQ(GetFuncGenEnable(&enabled), STATUS_OK);
  EXPECT_EQ(enabled, 1);  // any non-zero state reads 1
}

TEST_F(Frame, BurstNeedsAWritableBurstCount) {
  TFakeGeneratorSettings& s = AddGenerator(1)->Settings();
  s.writable = FG_MODE;
  EXPECT_EQ(FuncGenBurst(10), STATUS_NOT_SUPPORTED);
  EXPECT_TRUE(s.calls.empty());
  s.writable = FG_BURSTCOUNT;
  EXPECT_EQ(FuncGenBurst(10), STATUS_OK);
  EXPECT_EQ(s.calls, (std::vector<std::string>{"StopGenerator", "SetOutputOn(1)",
                                               "StartGenerator(10)"}));
}

TEST_F(Frame, GeneratorModeReportsRefusals) {
  TFakeGeneratorSettings& s = AddGenerator(1)->Settings();
  EXPECT_EQ(SetFuncGenMode(0xFFFFFFFF), STATUS_OK);
  EXPECT_EQ(s.values[FG_MODE], 0xFFFFFFFFLL);  // zero-extended
  uint32_t mode = 0;
  EXPECT_EQ(GetFuncGenMode(&mode), STATUS_OK);
  EXPECT_EQ(mode, 0xFFFFFFFFu);
  s.refused.insert(FG_MODE);
  mode = 77;
  EXPECT_EQ(SetFuncGenMode(1), STATUS_NOT_SUPPORTED);
  EXPECT_EQ(GetFuncGenMode(&mode), STATUS_NOT_SUPPORTED);
  EXPECT_EQ(mode, 77u);
}

TEST_F(Frame, GeneratorTriggerSourceByNumber) {
  TFakeSettings& trigger = AddGenerator(1)->Trigger();
  uint8_t source = 0;
  EXPECT_EQ(GetFuncGenTrigSource(&source), STATUS_OK);
  EXPECT_EQ(source, 8);  // both masks 0: the first of rows 8, 9 and 10
  EXPECT_EQ(SetFuncGenTrigSource(6), STATUS_OK);
  EXPECT_EQ(GetFuncGenTrigSource(&source), STATUS_OK);
  EXPECT_EQ(source, 6);
  trigger.values[TR_SOURCEOR] = 0x30;
  EXPECT_EQ(GetFuncGenTrigSource(&source), STATUS_OK);
  EXPECT_EQ(source, 15);
  EXPECT_EQ(SetFuncGenTrigSource(15), STATUS_INVALID_VALUE);
  trigger.refused.insert(TR_SOURCEAND);  // without the AND mask only OR counts
  trigger.values[TR_SOURCEOR] = 0x2;
  EXPECT_EQ(GetFuncGenTrigSource(&source), STATUS_OK);
  EXPECT_EQ(source, 1);
  trigger.refused.insert(TR_SOURCEOR);
  source = 99;
  EXPECT_EQ(GetFuncGenTrigSource(&source), STATUS_NOT_SUPPORTED);
  EXPECT_EQ(source, 99);
}

TEST_F(Frame, WaveformMemoryIsConvertedAndPadded) {
  auto generator = AddGenerator(1, 1000);
  EXPECT_EQ(FillFuncGenMemory(500, nullptr), STATUS_OK);  // no samples: all cleared
  EXPECT_EQ(generator->Settings().arbSize, 500u);
  EXPECT_EQ(generator->memory, std::vector<float>(1000, 0.0f));
  EXPECT_EQ(generator->unlocks, 1);

  auto small = AddGenerator(2, 3);
  const uint16_t codes[4] = {0, 32768, 65535, 16384};
  EXPECT_EQ(FillFuncGenMemoryCh(2, 4, codes), STATUS_OK);  // more samples than room
  EXPECT_EQ(small->memory, (std::vector<float>{-1.0f, 0.0f, 65535 / 32768.0f - 1.0f}));
  EXPECT_EQ(FillFuncGenMemoryCh(2, 1, codes), STATUS_OK);  // fewer: the rest is cleared
  EXPECT_EQ(small->memory, (std::vector<float>{-1.0f, 0.0f, 0.0f}));
  EXPECT_EQ(small->unlocks, 2);

  auto empty = AddGenerator(3, 0);  // no buffer: nothing to fill, the lock is still handed back
  EXPECT_EQ(FillFuncGenMemoryCh(3, 4, codes), STATUS_OK);
  EXPECT_EQ(empty->Settings().arbSize, 4u);
  EXPECT_EQ(empty->unlocks, 1);
}

// A null pointer where the result goes is answered, not dereferenced.
TEST_F(Frame, NullPointersAtTheResultAreInvalidValues) {
  AddGenerator(1);
  const VeltraStatus answers[] = {
      SetFuncGenFrequency(nullptr), GetFuncGenFrequency(nullptr),  GetFuncGenAmplitude(nullptr),
      GetFuncGenMaxAmplitude(nullptr), GetFuncGenDCOffset(nullptr), GetFuncGenSymmetry(nullptr),
      GetFuncGenSignalType(nullptr), GetFuncGenOutputOn(nullptr),  GetFuncGenEnable(nullptr),
      GetFuncGenMode(nullptr),       GetFuncGenTrigSource(nullptr)};
  for (VeltraStatus answer : answers) EXPECT_EQ(answer, STATUS_INVALID_VALUE);
}

int callbackCalls = 0;
platform::Event* readyEvent = nullptr;
bool eventSetBeforeCallback = false;

void VELTRA_CALL OnDataReady() {
  ++callbackCalls;
  platform::Event* events[] = {readyEvent};
  eventSetBeforeCallback = platform::WaitAny(events, 0) == 0;
}

TEST_F(Frame, MeasurementReadyCallsTheCallbackThenSetsTheEvent) {
  platform::Event event(true, false);
  readyEvent = &event;
  callbackCalls = 0;
  ASSERT_EQ(SetDataReadyCallback(OnDataReady), STATUS_OK);
  ASSERT_EQ(SetDataReadyEvent(event.Handle()), STATUS_OK);
  platform::Event* events[] = {&event};

  api::Events().InstrumentChanged(nullptr, HW_DATASIZE | HW_RANGE);  // no measurement
  EXPECT_EQ(callbackCalls, 0);
  EXPECT_EQ(ADC_Ready(), 0);
  EXPECT_EQ(platform::WaitAny(events, 0), platform::kWaitTimeout);

  api::Events().InstrumentChanged(nullptr, HW_MREADY | HW_DATASIZE);
  EXPECT_EQ(callbackCalls, 1);
  EXPECT_FALSE(eventSetBeforeCallback);
  EXPECT_EQ(platform::WaitAny(events, 0), 0);
  EXPECT_EQ(ADC_Ready(), 1);
  EXPECT_EQ(ADC_Running(), 0);  // no instrument

  SetDataReadyCallback(nullptr);
  SetDataReadyEvent(0);
  event.Reset();
  api::Events().InstrumentChanged(nullptr, HW_MREADY);
  EXPECT_EQ(callbackCalls, 1);
  EXPECT_EQ(platform::WaitAny(events, 0), platform::kWaitTimeout);
  readyEvent = nullptr;
}

}  // namespace
}  // namespace veltra::test
