// TCustomHW: its settings and channels in chunk files and in the legacy block format.

#include <algorithm>
#include <array>
#include <cstring>

#include "hw/CustomChannel.h"
#include "hw/CustomHW.h"
#include "hw/HWFiles.h"
#include "util/IFFHelper.h"
#include "util/Routines.h"

namespace veltra {

namespace {

constexpr TChunkID kChannelCountID = MakeChunkID("OCNT");
constexpr TChunkID kFirmwareVersionID = MakeChunkID("FVER");
constexpr TChunkID kDriverVersionID = MakeChunkID("DVER");
constexpr TChunkID kDeviceID = MakeChunkID("DVID");

// Settings a file may set: everything but starting, stopping and switching channels on or off.
constexpr uint32_t kLoadableSettings = ~(HW_START | HW_STOP | HW_ENABLE);
// Loaded first, so that the values that depend on the resolution find it in place.
constexpr uint32_t kResolutionSettings = HW_RESOLUTION | HW_RESOLUTIONMODE;

// Legacy records: the version-0 instrument record and the version-1 information record.
constexpr size_t kRecordV0Size = 512;
constexpr size_t kRecordV0ChannelCount = 28;
constexpr uint32_t kRecordV1ChannelCount = 116;

uint32_t LoadU32(const uint8_t* bytes) {
  uint32_t value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

// Closes the update brackets of a load also when it raises.
class LoadBracket {
 public:
  LoadBracket(TCustomHW& instrument, void (TCustomHW::*end)())
      : instrument_(instrument), end_(end) {}
  ~LoadBracket() { (instrument_.*end_)(); }
  LoadBracket(const LoadBracket&) = delete;
  LoadBracket& operator=(const LoadBracket&) = delete;

 private:
  TCustomHW& instrument_;
  void (TCustomHW::*end_)();
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Chunk files

HResult TCustomHW::LoadFromIFF(IIFFStream& iff, TIFFChunk* chunk, uint32_t flags) {
  cur_->BeginUpdate();
  next_->BeginUpdate();
  BeginChannelUpdates();
  const LoadBracket bracket(*this, &TCustomHW::EndLoadUpdates);
  return DoLoadFromIFF(iff, chunk ? chunk : iff.GetRoot(), flags);
}

void TCustomHW::EndLoadUpdates() {
  next_->EndUpdate();
  cur_->EndUpdate();
  EndChannelUpdates();
}

HResult TCustomHW::DoLoadFromIFF(IIFFStream& iff, TIFFChunk* node, uint32_t flags) {
  if ((flags & kFileNoData) == 0) {
    if (TIFFChunk* stored = FindChild(iff, node, ID_SETTINGS_CUR)) {
      cur_->LoadFromChunk(iff, stored, kLoadableSettings);
    }
  }
  if (TIFFChunk* stored = FindChild(iff, node, ID_SETTINGS_NEXT)) {
    next_->LoadFromChunk(iff, stored, kResolutionSettings);
    next_->LoadFromChunk(iff, stored, kLoadableSettings);
  }
  const bool samplesLoaded = LoadChannels(iff, node, flags);
  if ((flags & kFileNoData) == 0) {
    startTime_ = samplesLoaded ? TIFFHelper(iff, node).ReadDouble(ID_TIMESTAMP, 0.0) : 0.0;
  }
  return S_OK;
}

bool TCustomHW::LoadChannels(IIFFStream& iff, TIFFChunk* node, uint32_t flags) {
  const std::vector<ComPtr<TCustomChannel>> channels = Channels();
  std::vector<bool> loaded(channels.size(), false);
  bool samplesLoaded = false;
  const TChunkTypePair sources[] = {{ID_RIFF, ID_SOURCE}};
  for (TIFFChunk* source = iff.FindContainer(node, sources, 0); source;
       source = iff.FindNextContainer(source, sources, 0)) {
    const int32_t index = TIFFHelper(iff, source).ReadInteger(ID_OUTPUTNUMBER, -1);
    if (index < 0 || index >= static_cast<int32_t>(channels.size())) continue;
    const uint32_t result =
        channels[static_cast<size_t>(index)]->LoadFromInstrumentFile(iff, source, flags);
    if ((result & kFileNoData) == 0) samplesLoaded = true;
    loaded[static_cast<size_t>(index)] = true;
  }
  ClearChannelsNotLoaded(loaded);
  return samplesLoaded;
}

HResult TCustomHW::SaveToIFF(IIFFStream& iff, TIFFChunk*& chunk, uint32_t flags, bool& create) {
  if (!chunk) chunk = iff.GetRoot();
  if (create) {
    chunk = iff.AddContainer(chunk, ID_RIFF, kInstrumentForm);
    create = false;
  }
  // Without a measurement there are neither samples nor current settings worth keeping.
  DoSaveToIFF(iff, chunk, startTime_ == 0.0 ? flags | kFileNoData : flags);
  return S_OK;
}

void TCustomHW::DoSaveToIFF(IIFFStream& iff, TIFFChunk* node, uint32_t flags) {
  TIFFHelper chunks(iff, node);
  chunks.WriteInteger(ID_NUMBER, GetNumber());
  chunks.WriteAnsiString(ID_NAME, InfoName(info_));
  chunks.WriteAnsiString(ID_SHORTNAME, InfoShortName(info_));
  const Guid classID = GetClassID();
  chunks.WriteData(ID_CLASSID, &classID, sizeof classID);
  chunks.WriteInteger(kChannelCountID, GetChannelCount());
  chunks.WriteDouble(ID_TIMESTAMP, startTime_);
  std::array<uint8_t, 8> version;
  GetFirmwareVersion(version);
  chunks.WriteData(kFirmwareVersionID, version.data(), version.size());
  GetDriverVersion(version);
  chunks.WriteData(kDriverVersionID, version.data(), version.size());
  const uint32_t device[] = {info_.typeCode, info_.subId};
  chunks.WriteData(kDeviceID, device, sizeof device);
  cur_->SaveToChunk(iff, node, true, ID_SETTINGS_CUR);
  next_->SaveToChunk(iff, node, true, ID_SETTINGS_NEXT);
  SaveChannels(iff, node, flags);
}

void TCustomHW::SaveChannels(IIFFStream& iff, TIFFChunk* node, uint32_t flags) {
  const std::vector<ComPtr<TCustomChannel>> channels = Channels();
  const TChunkTypePair sources[] = {{ID_RIFF, ID_SOURCE}};
  for (size_t index = 0; index < channels.size(); ++index) {
    // A container saved before for this channel is written over.
    TIFFChunk* source = iff.FindContainer(node, sources, 0);
    while (source && TIFFHelper(iff, source).ReadInteger(ID_OUTPUTNUMBER, -1) !=
                         static_cast<int32_t>(index)) {
      source = iff.FindNextContainer(source, sources, 0);
    }
    if (!source) source = iff.AddContainer(node, ID_RIFF, ID_SOURCE);
    channels[index]->SaveToInstrumentFile(iff, source, flags);
  }
}

// ---------------------------------------------------------------------------------------------
// Legacy blocks

int32_t TCustomHW::LoadFromStream(TStream& stream, uint32_t flags) {
  StreamBlockHeader header;
  const int64_t start = FindStreamBlock(stream, kClassID, header);
  if (start < 0) return 0;
  const bool withCurrent = (flags & kFileNoData) == 0;
  if (withCurrent) Stop(0);
  uint32_t storedCount = 0;
  if (header.version == 0) {
    std::array<uint8_t, kRecordV0Size> record{};
    stream.Read(record.data(), record.size());
    storedCount = LoadU32(record.data() + kRecordV0ChannelCount);
    (withCurrent ? cur_ : next_)->LoadFromStream(stream, kLoadableSettings);
  } else if (header.version == 1) {
    // An information record that begins with its own length; only its channel count matters.
    const int64_t recordStart = stream.Position();
    uint8_t word[4] = {};
    stream.Read(word, sizeof word);
    const uint32_t length = std::max<uint32_t>(LoadU32(word), sizeof word);
    if (length >= kRecordV1ChannelCount + sizeof word) {
      stream.SetPosition(recordStart + kRecordV1ChannelCount);
      stream.Read(word, sizeof word);
      storedCount = LoadU32(word);
    }
    stream.SetPosition(recordStart + length);
    if (withCurrent) {
      cur_->LoadFromStream(stream, kLoadableSettings);
    } else {
      stream.Seek(kSettingsRecordSize, SeekOrigin::Current);
    }
    next_->LoadFromStream(stream, kLoadableSettings);
  } else {
    throw EStreamError(UnsupportedVersionText(ClassName()));
  }
  stream.SetPosition(start + header.reserved8);  // the channels' blocks
  LoadChannelsFromStream(stream, storedCount, flags & ~kClassLevels);
  stream.SetPosition(start + header.distance);
  return 1;
}

void TCustomHW::LoadChannelsFromStream(TStream& stream, int64_t storedCount, uint32_t flags) {
  const std::vector<ComPtr<TCustomChannel>> channels = Channels();
  const size_t stored = static_cast<size_t>(std::clamp<int64_t>(storedCount, 0, channels.size()));
  std::vector<bool> loaded(channels.size(), false);
  for (size_t i = 0; i < stored; ++i) {
    channels[i]->LoadFromStream(stream, flags);
    loaded[i] = true;
  }
  ClearChannelsNotLoaded(loaded);
}

}  // namespace veltra
