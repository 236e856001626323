// Instruments in files: a save and load through chunk files of the instrument, its channels and
// their triggers, the flags and missing chunks that leave parts alone, and the legacy block format.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "MemoryHW.h"
#include "hw/HWEncoding.h"
#include "signals/SignalFiles.h"
#include "util/IFFHelper.h"
#include "util/Routines.h"

namespace veltra::test {
namespace {

ComPtr<TMemoryHW> MakeHW(int32_t channels = 2) {
  TMemoryConfig config;
  config.channels = channels;
  return MakeObject<TMemoryHW>(config);
}

// An instrument after a measurement: every settings set holds values of its own, channel 0 holds
// samples and a gain, channel 1 is switched off.
ComPtr<TMemoryHW> MeasuredHW() {
  ComPtr<TMemoryHW> hw = MakeHW();
  hw->Put(TSet::kCur, -1, HW_DATASIZE, 4);
  hw->Put(TSet::kCur, -1, HW_SAMPLEFREQUENCY, FrequencyToValue(1e6));
  hw->Put(TSet::kCur, -1, HW_RESOLUTION, 12);
  hw->Put(TSet::kNext, -1, HW_DATASIZE, 8);
  hw->Put(TSet::kNext, -1, HW_RESOLUTION, 14);
  hw->Put(TSet::kNext, -1, HW_RESOLUTIONMODE, 2);
  hw->Put(TSet::kCur, 0, HW_ENABLE, -1);
  hw->Put(TSet::kCur, 0, HW_RANGE, RangeToValue(2.0));
  hw->Put(TSet::kNext, 0, HW_RANGE, RangeToValue(0.4));
  hw->Put(TSet::kCur, 1, HW_ENABLE, 0);
  hw->Put(TSet::kNext, 1, HW_ENABLE, 0);
  hw->Put(TSet::kTriggerCur, -1, TR_PRESAMPLES, FractionToValue(0.25));
  hw->Put(TSet::kTriggerNext, -1, TR_HOLDOFF, 77);
  hw->Put(TSet::kTriggerCur, 0, TR_LEVEL, FractionToValue(0.75));
  hw->Put(TSet::kTriggerNext, 0, TR_KIND, 4);
  auto& channel = dynamic_cast<TMemoryChannel&>(*hw->Channel(0).Get());
  channel.SetGain(10.0);
  channel.SetVolts({0.5, -1.0, 1.5, 2.0});
  hw->SetStartTime(45000.5);
  return hw;
}

// The bytes of a saved instrument, and a chunk tree over them.
struct SavedFile {
  TMemoryStream stream;
  std::unique_ptr<TIFFStream> iff;
  TIFFChunk* instrument = nullptr;

  explicit SavedFile(TCustomHW& hw) {
    {
      TIFFStream writer(stream, true);
      TIFFChunk* node = writer.GetRoot();
      bool create = true;
      EXPECT_EQ(hw.SaveToIFF(writer, node, 0, create), S_OK);
      EXPECT_FALSE(create);
      writer.Close();
    }
    stream.SetPosition(0);
    iff = std::make_unique<TIFFStream>(stream, true);
    const TChunkTypePair forms[] = {{ID_RIFF, kInstrumentForm}};
    instrument = iff->FindContainer(iff->GetRoot(), forms, 0);
    EXPECT_TRUE(instrument);
  }
  TIFFChunk* Child(TChunkID id) {
    const TChunkID ids[] = {id};
    return iff->FindChunk(instrument, ids, 0);
  }
};

TEST(HWFiles, AnInstrumentWithChannelsAndTriggersSurvivesASaveAndLoad) {
  ComPtr<TMemoryHW> saved = MeasuredHW();
  SavedFile file(*saved);
  ASSERT_TRUE(file.Child(ID_SETTINGS_CUR));
  ASSERT_TRUE(file.Child(ID_TRIGGER_NEXT));

  ComPtr<TMemoryHW> loaded = MakeHW();
  EXPECT_EQ(loaded->LoadFromIFF(*file.iff, file.instrument, 0), S_OK);
  for (const auto& [set, channel, id] :
       std::vector<std::tuple<TSet, int32_t, uint32_t>>{{TSet::kCur, -1, HW_DATASIZE},
                                                        {TSet::kCur, -1, HW_SAMPLEFREQUENCY},
                                                        {TSet::kCur, -1, HW_RESOLUTION},
                                                        {TSet::kNext, -1, HW_DATASIZE},
                                                        {TSet::kNext, -1, HW_RESOLUTION},
                                                        {TSet::kNext, -1, HW_RESOLUTIONMODE},
                                                        {TSet::kCur, 0, HW_RANGE},
                                                        {TSet::kNext, 0, HW_RANGE},
                                                        {TSet::kCur, 0, HW_ENABLE},
                                                        {TSet::kCur, 1, HW_ENABLE},
                                                        {TSet::kTriggerCur, -1, TR_PRESAMPLES},
                                                        {TSet::kTriggerNext, -1, TR_HOLDOFF},
                                                        {TSet::kTriggerCur, 0, TR_LEVEL},
                                                        {TSet::kTriggerNext, 0, TR_KIND}}) {
    EXPECT_EQ(loaded->Table(set, channel).Value(id), saved->Table(set, channel).Value(id))
        << static_cast<int>(set) << " " << channel << " " << id;
  }
  // Loading neither starts nor stops a measurement, nor forces a trigger.
  EXPECT_TRUE(loaded->Table(TSet::kNext).WritesOf(HW_START).empty());
  EXPECT_TRUE(loaded->Table(TSet::kCur).WritesOf(HW_STOP).empty());
  EXPECT_TRUE(loaded->Table(TSet::kTriggerCur).WritesOf(TR_TRIGGER).empty());
  // The resolution goes first, so what depends on it finds it in place.
  const auto& nextWrites = loaded->Table(TSet::kNext).writes;
  const auto firstLoaded = std::find_if(nextWrites.begin(), nextWrites.end(),
                                        [](const auto& w) { return w.first == HW_RESOLUTION; });
  ASSERT_NE(firstLoaded, nextWrites.end());
  EXPECT_EQ((firstLoaded + 1)->first, HW_RESOLUTIONMODE);

  const ComPtr<TCustomChannel> channel = loaded->Channel(0);
  EXPECT_EQ(channel->GetGain(), 10.0);
  const std::span<const double> samples = SamplesOf<double>(*channel);
  EXPECT_EQ(std::vector<double>(samples.begin(), samples.end()),
            (std::vector<double>{0.5, -1.0, 1.5, 2.0}));
  EXPECT_EQ(loaded->GetStartTime(), 45000.5);
}

TEST(HWFiles, AnInstrumentThatNeverMeasuredStoresNoSamples) {
  ComPtr<TMemoryHW> saved = MeasuredHW();
  saved->SetStartTime(0.0);
  SavedFile file(*saved);
  const TChunkTypePair sources[] = {{ID_RIFF, ID_SOURCE}};
  TIFFChunk* source = file.iff->FindContainer(file.instrument, sources, 0);
  ASSERT_TRUE(source);
  const TChunkID data[] = {ID_DATA};
  EXPECT_FALSE(file.iff->FindChunk(source, data, 0));

  ComPtr<TMemoryHW> loaded = MakeHW();
  loaded->SetStartTime(3.0);
  loaded->LoadFromIFF(*file.iff, file.instrument, 0);
  EXPECT_EQ(loaded->GetStartTime(), 0.0);  // no channel brought samples
}

TEST(HWFiles, WithoutNoDataFlagCurrentSettingsAndStartTimeStay) {
  ComPtr<TMemoryHW> saved = MeasuredHW();
  SavedFile file(*saved);
  ComPtr<TMemoryHW> loaded = MakeHW();
  loaded->SetStartTime(3.0);
  const size_t curWrites = loaded->Table(TSet::kCur).writes.size();
  loaded->LoadFromIFF(*file.iff, file.instrument, kFileNoData);
  EXPECT_EQ(loaded->Table(TSet::kCur).writes.size(), curWrites);
  EXPECT_TRUE(loaded->Table(TSet::kCur, 0).writes.empty());
  EXPECT_TRUE(loaded->Table(TSet::kTriggerCur).writes.empty());
  EXPECT_TRUE(loaded->Table(TSet::kTriggerCur, 0).writes.empty());
  EXPECT_EQ(loaded->GetStartTime(), 3.0);
  EXPECT_EQ(loaded->Table(TSet::kNext).Value(HW_DATASIZE), 8);  // Next is loaded
  EXPECT_EQ(loaded->Table(TSet::kTriggerNext, 0).Value(TR_KIND), 4);
}

TEST(HWFiles, MissingNextSettingsLeaveNextAlone) {
  ComPtr<TMemoryHW> saved = MeasuredHW();
  SavedFile file(*saved);
  TIFFChunk* next = file.Child(ID_SETTINGS_NEXT);
  ASSERT_TRUE(next);
  file.iff->RemoveChunk(next);
  ComPtr<TMemoryHW> loaded = MakeHW();
  const size_t nextWrites = loaded->Table(TSet::kNext).writes.size();
  loaded->LoadFromIFF(*file.iff, file.instrument, 0);
  EXPECT_EQ(loaded->Table(TSet::kNext).writes.size(), nextWrites);
  EXPECT_EQ(loaded->Table(TSet::kCur).Value(HW_DATASIZE), 4);  // the rest still loads
}

TEST(HWFiles, AFileNeverSwitchesAChannelsNextEnable) {
  ComPtr<TMemoryHW> saved = MeasuredHW();  // channel 1 is off in Next
  SavedFile file(*saved);
  ComPtr<TMemoryHW> loaded = MakeHW();
  loaded->Put(TSet::kNext, 1, HW_ENABLE, -1);
  loaded->LoadFromIFF(*file.iff, file.instrument, 0);
  EXPECT_EQ(loaded->Table(TSet::kNext, 1).Value(HW_ENABLE), -1);
  EXPECT_TRUE(loaded->Table(TSet::kNext, 1).WritesOf(HW_ENABLE).empty());
}

TEST(HWFiles, ChannelsTheFileHasNothingForAreCleared) {
  ComPtr<TMemoryHW> saved = MakeHW(1);
  SavedFile file(*saved);
  ComPtr<TMemoryHW> loaded = MakeHW(2);  // one channel more than the file holds
  auto& second = dynamic_cast<TMemoryChannel&>(*loaded->Channel(1).Get());
  second.SetVolts({1.0, 2.0});
  loaded->LoadFromIFF(*file.iff, file.instrument, 0);
  const std::span<const double> samples = SamplesOf<double>(second);
  EXPECT_EQ(std::vector<double>(samples.begin(), samples.end()), (std::vector<double>{0.0, 0.0}));
}

TEST(HWFiles, AStoredGainThatIsNoGainLoadsAsNone) {
  ComPtr<TMemoryHW> saved = MeasuredHW();  // channel 0 has the gain 10
  SavedFile file(*saved);
  const TChunkTypePair sources[] = {{ID_RIFF, ID_SOURCE}};
  TIFFChunk* first = file.iff->FindContainer(file.instrument, sources, 0);
  ASSERT_TRUE(first);
  for (const double stored : {0.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
    SCOPED_TRACE(stored);
    TIFFHelper(*file.iff, first).WriteDouble(kGainID, stored);
    ComPtr<TMemoryHW> loaded = MakeHW();
    loaded->Channel(0)->SetGain(5.0);
    loaded->LoadFromIFF(*file.iff, file.instrument, 0);
    EXPECT_EQ(loaded->Channel(0)->GetGain(), 1.0);
  }
}

// ---------------------------------------------------------------------------------------------
// The legacy block format

std::string Bytes32(uint32_t value) {
  std::string bytes(4, '\0');
  std::memcpy(bytes.data(), &value, 4);
  return bytes;
}

// A block: its 40-byte header (A, distance B, C, version, identifier) and the body; the last
// block of its chain has A = B.
std::string Block(const Guid& id, uint32_t version, const std::string& body, bool last = false,
                  uint32_t children = 0) {
  const auto distance = static_cast<uint32_t>(40 + body.size());
  std::string header =
      Bytes32(last ? distance : 0) + Bytes32(distance) + Bytes32(children) + Bytes32(version);
  header.append(reinterpret_cast<const char*>(&id), sizeof id);
  header.append(8, '\0');
  return header + body;
}

// A 256-byte settings record: the mask, then values for bits 1 to 31.
std::string Record(const std::map<int, int64_t>& values) {
  uint64_t mask = 0;
  std::vector<int64_t> slots(32, 0);
  for (const auto& [bit, value] : values) {
    mask |= uint64_t{1} << bit;
    slots[static_cast<size_t>(bit)] = value;
  }
  std::string bytes(256, '\0');
  std::memcpy(bytes.data(), &mask, 8);
  for (int bit = 1; bit < 32; ++bit) std::memcpy(bytes.data() + 8 * bit, &slots[bit], 8);
  return bytes;
}

constexpr int kDataSizeBit = 15;  // HW_DATASIZE
constexpr int kRangeBit = 8;      // HW_RANGE
constexpr int kEnableBit = 6;     // HW_ENABLE
constexpr int kStartBit = 3;      // HW_START
constexpr int kLevelBit = 11;     // TR_LEVEL
constexpr int kHoldOffBit = 14;   // TR_HOLDOFF

template <class T>
std::string BytesOf(T value) {
  std::string bytes(sizeof value, '\0');
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

// The source level of a channel: three samples in volts, 1 kHz, span -2 ... 2 V.
std::string LegacySource() {
  std::string body(512, '\0');
  body += BytesOf<int64_t>(3) + BytesOf<int32_t>(0) + BytesOf(0.0) + BytesOf<int64_t>(0) +
          BytesOf(1000.0) + BytesOf(0.0);
  body += std::string("V") + std::string(31, '\0');
  body += BytesOf(-2.0) + BytesOf(2.0) + BytesOf<int32_t>(16) + BytesOf<int32_t>(0);
  body += std::string(64, '\0') + BytesOf<uint32_t>(DT_ARRAY_DOUBLE);
  body += BytesOf(0.25) + BytesOf(-0.5) + BytesOf(1.75);
  return Block(TCustomChannel::kClassID, 0, body);
}

// An instrument with its trigger and one trigger channel with its source level.
std::string LegacyInstrument(uint32_t instrumentVersion) {
  std::string info = Bytes32(120) + std::string(112, '\0') + Bytes32(1);  // one channel stored
  std::string instrumentBody =
      instrumentVersion == 0
          ? std::string(28, '\0') + Bytes32(1) + std::string(480, '\0') +
                Record({{kDataSizeBit, 100}, {kStartBit, 1}})
          : info + Record({{kDataSizeBit, 100}, {kStartBit, 1}}) + Record({{kDataSizeBit, 200}});
  const std::string channelTrigger = Block(TChannelTrigger::kClassID, 0, Record({{kLevelBit, 5}}));
  const std::string channel =
      Block(TCustomChannel::kClassID, 1,
            Bytes32(8) + std::string(4, '\0') + Record({{kRangeBit, 33}, {kEnableBit, -1}}) +
                Record({{kRangeBit, 44}, {kEnableBit, 0}}));
  const auto children = static_cast<uint32_t>(40 + instrumentBody.size());
  std::string instrument =
      Block(TCustomHW::kClassID, instrumentVersion,
            instrumentBody + channelTrigger + channel + LegacySource(), false, children);
  const std::string trigger =
      Block(TInstrumentTrigger::kClassID, 1,
            Bytes32(4) + Record({{kHoldOffBit, 9}}) + Record({{kHoldOffBit, 10}}));
  return trigger + instrument;
}

TEST(HWFiles, LegacyStreamsLoadInstrumentTriggerAndChannels) {
  for (uint32_t version : {0u, 1u}) {
    SCOPED_TRACE(version);
    ComPtr<TMemoryHW> hw = MakeHW(1);
    const std::string bytes = LegacyInstrument(version) + "tail";
    TMemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    EXPECT_EQ(hw->LoadFromStream(stream, 0), 1);
    EXPECT_EQ(stream.Position(), static_cast<int64_t>(bytes.size()) - 4);  // behind the blocks
    EXPECT_EQ(hw->Table(TSet::kCur).Value(HW_DATASIZE), 100);
    EXPECT_EQ(hw->Table(TSet::kNext).Value(HW_DATASIZE), version == 1 ? 200 : 5000);
    EXPECT_TRUE(hw->Table(TSet::kCur).WritesOf(HW_START).empty());  // stored, never applied
    EXPECT_EQ(hw->Table(TSet::kCur).WritesOf(HW_STOP), std::vector<int64_t>{0});
    EXPECT_EQ(hw->Table(TSet::kTriggerCur).Value(TR_HOLDOFF), 9);
    EXPECT_EQ(hw->Table(TSet::kTriggerNext).Value(TR_HOLDOFF), 10);
    EXPECT_EQ(hw->Table(TSet::kTriggerCur, 0).Value(TR_LEVEL), 5);
    EXPECT_EQ(hw->Table(TSet::kCur, 0).Value(HW_RANGE), 33);
    EXPECT_EQ(hw->Table(TSet::kNext, 0).Value(HW_RANGE), 44);
    EXPECT_TRUE(hw->Table(TSet::kNext, 0).WritesOf(HW_ENABLE).empty());
    const ComPtr<TCustomChannel> channel = hw->Channel(0);
    const std::span<const double> samples = SamplesOf<double>(*channel);
    EXPECT_EQ(std::vector<double>(samples.begin(), samples.end()),
              (std::vector<double>{0.25, -0.5, 1.75}));
    EXPECT_EQ(channel->GetSampleFrequency(), 1000.0);
  }
}

TEST(HWFiles, LegacyLoadWithoutCurrentSettingsLoadsNextOnly) {
  ComPtr<TMemoryHW> hw = MakeHW(1);
  const std::string bytes = LegacyInstrument(1);
  TMemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  const size_t curWrites = hw->Table(TSet::kCur).writes.size();
  hw->LoadFromStream(stream, kFileNoData);
  EXPECT_EQ(hw->Table(TSet::kCur).writes.size(), curWrites);  // not even a stop
  EXPECT_EQ(hw->Table(TSet::kNext).Value(HW_DATASIZE), 200);
  EXPECT_EQ(hw->Table(TSet::kTriggerCur).Value(TR_HOLDOFF), 0);
  EXPECT_EQ(hw->Table(TSet::kTriggerNext).Value(TR_HOLDOFF), 10);
  EXPECT_EQ(hw->Table(TSet::kCur, 0).Value(HW_RANGE), 0);
  EXPECT_EQ(hw->Table(TSet::kNext, 0).Value(HW_RANGE), 44);
  EXPECT_EQ(hw->Channel(0)->GetCount(), 0);  // nor the samples
}

// A stream cut short anywhere loads what it holds, or ends in a stream error; nothing else.
TEST(HWFiles, LegacyStreamsCutShortAnywhere) {
  for (uint32_t version : {0u, 1u}) {
    const std::string whole = LegacyInstrument(version);
    for (size_t length = 0; length < whole.size(); ++length) {
      ComPtr<TMemoryHW> hw = MakeHW(1);
      TMemoryStream stream(std::vector<uint8_t>(whole.begin(), whole.begin() + length));
      try {
        hw->LoadFromStream(stream, 0);
      } catch (const EStreamError&) {
        // the block ended early
      }
      EXPECT_LE(hw->Channel(0)->GetCount(), 3) << version << " " << length;
    }
  }
}

TEST(HWFiles, LegacyStreamsWithoutTheBlocksOrWithUnknownVersions) {
  ComPtr<TMemoryHW> hw = MakeHW(1);
  TMemoryStream empty;
  EXPECT_EQ(hw->LoadFromStream(empty, 0), TTrigger::kTriggerBlockMissing);  // no level found

  const std::string bytes = Block(TCustomHW::kClassID, 7, std::string(16, '\0'));
  TMemoryStream unknown(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  try {
    hw->LoadFromStream(unknown, 0);
    ADD_FAILURE() << "no error for version 7";
  } catch (const EStreamError& error) {
    EXPECT_EQ(std::string(error.what()),
              "TMemoryHW: the stored data have a version this library cannot read.");
  }
}

}  // namespace
}  // namespace veltra::test
