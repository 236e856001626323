// Reading and writing signals: the IFF chunks of TCustomSignal and TCustomSource, and the older
// block format a source can still be read from.

#include "signals/SignalFiles.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <vector>

#include "framework/Strings.h"
#include "signals/Signals.h"
#include "util/ConvertData.h"
#include "util/IFFData.h"
#include "util/IFFHelper.h"
#include "util/Routines.h"
#include "util/TextCodec.h"

namespace veltra {

namespace {

std::atomic<uint32_t> keyFailures{0};

constexpr uint32_t kDefaultKeyMask = 2;  // the "DAPK" value a reader assumes when it is missing
constexpr size_t kFormatSize = 12;
constexpr size_t kLegacyBlockSize = 32768;
constexpr int64_t kLegacySkipped = 512;  // bytes at the start of a legacy source block
constexpr size_t kLegacyUnitSize = 32;
constexpr size_t kLegacyAliasSize = 64;
constexpr uint16_t kLegacyWideMark = 0xFFFE;

TIFFChunk* FindChild(IIFFStream& iff, TIFFChunk* parent, TChunkID id) {
  const TChunkID ids[] = {id};
  return iff.FindChunk(parent, ids, 0);
}

// The key text as the bytes stored, without the 8-bit text conversion: a key cipher's output is
// kept exactly.
std::string ReadKeyBytes(IIFFStream& iff, TIFFChunk* node) {
  TIFFChunk* chunk = FindChild(iff, node, ID_KEY);
  if (!chunk) return {};
  std::string bytes(iff.GetChunkSize(chunk), '\0');
  iff.ReadChunkData(chunk, bytes.data(), static_cast<uint32_t>(bytes.size()));
  return bytes;
}

// A text field of a legacy block: UTF-16 after the mark 0xFFFE, else 8-bit characters; up to the
// first zero.
std::string ReadLegacyText(TStream& stream, size_t size) {
  std::vector<uint8_t> field(size);
  stream.ReadBuffer(field.data(), size);
  if ((field[0] | field[1] << 8) == kLegacyWideMark) {
    std::u16string text;
    for (size_t i = 2; i + 1 < size; i += 2) {
      const auto unit = static_cast<char16_t>(field[i] | field[i + 1] << 8);
      if (unit == 0) break;
      text.push_back(unit);
    }
    return Utf16ToUtf8(text);
  }
  const auto end = std::find(field.begin(), field.end(), uint8_t{0});
  return AnsiToUtf8(std::string(field.begin(), end));
}

// Sets a flag for the time of a scope.
class TLoadingScope {
 public:
  explicit TLoadingScope(bool& flag) : flag_(flag) { flag_ = true; }
  TLoadingScope(const TLoadingScope&) = delete;
  TLoadingScope& operator=(const TLoadingScope&) = delete;
  ~TLoadingScope() { flag_ = false; }

 private:
  bool& flag_;
};

}  // namespace

uint32_t KeyFailureMask() { return keyFailures.load(); }
uint32_t ClearKeyFailureMask() { return keyFailures.exchange(0); }
void AddKeyFailures(uint32_t bits) { keyFailures.fetch_or(bits); }

// ---------------------------------------------------------------------------------------------
// TCustomSignal

void TCustomSignal::DoSaveToIFF(IIFFStream& iff, TIFFChunk* node, uint32_t& /*flags*/) {
  TIFFHelper chunks(iff, node);
  chunks.WriteWideStringUnlessDefault(ID_ALIAS, GetAlias(), {});
  chunks.WriteWideStringUnlessDefault(ID_NAME, GetName(), {});
  chunks.WriteWideStringUnlessDefault(ID_SHORTNAME, ShortNameField(), {});
  chunks.WriteWideStringUnlessDefault(ID_DESCRIPTION, description_, {});
  chunks.WriteWideStringUnlessDefault(ID_AUTHOR, author_, {});
  const Guid classID = GetClassID();
  if (classID == kClassID) {
    chunks.Remove(ID_CLASSID);
  } else {
    chunks.WriteData(ID_CLASSID, &classID, sizeof classID);
  }
  chunks.WriteInteger(ID_NUMBER, GetNumber());
}

void TCustomSignal::DoLoadFromIFF(IIFFStream& iff, TIFFChunk* node, uint32_t& /*flags*/) {
  TIFFHelper chunks(iff, node);
  SetAlias(chunks.ReadWideString(ID_ALIAS));
  SetName(chunks.ReadWideString(ID_NAME));
  SetShortName(chunks.ReadWideString(ID_SHORTNAME));
  description_ = chunks.ReadWideString(ID_DESCRIPTION);
  author_ = chunks.ReadWideString(ID_AUTHOR);
  const int32_t number = chunks.ReadInteger(ID_NUMBER, GetNumber());
  if (number != GetNumber()) SetNumber(number);
}

// ---------------------------------------------------------------------------------------------
// TCustomSource: IFF writer

void TCustomSource::DoSaveToIFF(IIFFStream& iff, TIFFChunk* node, uint32_t& flags) {
  TCustomSignal::DoSaveToIFF(iff, node, flags);
  TIFFHelper chunks(iff, node);
  chunks.WriteWideStringUnlessDefault(ID_UNIT, unit_, LocalisedString(strings::kUnitVoltage));
  chunks.WriteIntegerUnlessDefault(ID_UNITLOCKED, unitLocked_ ? 1 : 0, 0);
  const std::array<double, 2> bounds = {span_.low, span_.high};
  chunks.WriteData(ID_SPAN, bounds.data(), sizeof bounds);
  chunks.WriteIntegerUnlessDefault(ID_FIXEDSPAN, FixedSpan() ? 1 : 0, 0);
  chunks.WriteIntegerUnlessDefault(ID_SNAPPEDSPAN, SnappedSpan() ? -1 : 0, 0);
  chunks.WriteWord(ID_DATATYPE, GetVarType());
  chunks.WriteInteger(ID_DOMAIN, domain_);
  chunks.WriteIntegerUnlessDefault(ID_DADI, GetDadiValue(), 0);
  chunks.WriteInt64(ID_COUNT, count_);
  chunks.WriteInt64UnlessDefault(ID_PRESAMPLES, preSamples_, 0);
  chunks.WriteDoubleUnlessDefault(ID_STARTVALUE, startValue_, 0.0);
  if (domain_ == kDomainTime) {
    chunks.WriteDouble(ID_SAMPLEFREQUENCY, sampleFrequency_);
  } else if (domain_ == kDomainFrequency) {
    chunks.WriteDouble(ID_SAMPLEFREQUENCY, frequencyStep_);
  } else {
    chunks.Remove(ID_SAMPLEFREQUENCY);
  }
  chunks.WriteIntegerUnlessDefault(ID_COLOUR, colour_, kNoColour);
  chunks.WriteIntegerUnlessDefault(ID_COLOURMODE, static_cast<int32_t>(colourMode_), 0);
  chunks.WriteInteger(ID_RESOLUTION, resolution_);
  if (const ComPtr<INumberedSources> numbering = Query<INumberedSources>(GetParent())) {
    chunks.WriteInteger(ID_OUTPUTNUMBER, numbering->IndexOfSource(static_cast<ISource*>(this)));
  } else {
    chunks.Remove(ID_OUTPUTNUMBER);
  }

  if ((flags & kFileNoData) == 0 && WriteSamples(iff, node)) {
    chunks.WriteDoubleUnlessDefault(ID_TIMESTAMP, timeStamp_, 0.0);
    return;
  }
  flags |= kFileNoData;
  for (const TChunkID id : {ID_FORMAT, ID_DATA, ID_KEYEDDATA, ID_KEYMASK, ID_TIMESTAMP}) {
    chunks.Remove(id);
  }
}

// "FMT " and the samples, plain or keyed; false when none were written.
bool TCustomSource::WriteSamples(IIFFStream& iff, TIFFChunk* node) {
  if (count_ == 0 || buffer_.Empty()) return false;
  const uint32_t type = buffer_.DataType();
  const void* samples = buffer_.Bytes().data();
  const size_t count = buffer_.Count();
  const uint32_t storedType =
      ChooseStorageType(samples, type, count, resolution_, span_.low, span_.high);
  const uint16_t storedVarType = DataTypeToVarType(storedType);
  if (storedVarType == 0) return false;  // a type the format cannot name (DT_ARRAY_UINT64)

  std::array<uint8_t, kFormatSize> format{};
  std::memcpy(&format[4], &storedVarType, sizeof storedVarType);
  const int32_t dadi = GetDadiValue();
  std::memcpy(&format[8], &dadi, sizeof dadi);
  TIFFHelper chunks(iff, node);
  chunks.WriteData(ID_FORMAT, format.data(), kFormatSize);

  const uint32_t mask = GetKeyCipherMask();
  if (mask == 0) {
    chunks.Remove(ID_KEYEDDATA);
    chunks.Remove(ID_KEYMASK);
    return WriteDataChunk(iff, node, ID_DATA, {}, span_.low, span_.high, storedType, type, count,
                          samples);
  }
  const std::string key = RandomIdentifier(8);
  std::string encodedKey = key;
  if (const uint32_t failed = KeyCiphers().EncodeKey(encodedKey, mask)) {
    AddKeyFailures(failed);
    return false;
  }
  if (!WriteDataChunk(iff, node, ID_KEYEDDATA, key, span_.low, span_.high, storedType, type, count,
                      samples)) {
    return false;
  }
  const auto keySize = static_cast<uint32_t>(encodedKey.size());  // a few bytes
  chunks.WriteData(ID_KEY, encodedKey.data(), keySize);
  chunks.WriteIntegerUnlessDefault(ID_KEYMASK, static_cast<int32_t>(mask), kDefaultKeyMask);
  // A plain copy from an earlier save would be read in place of these.
  chunks.Remove(ID_DATA);
  return true;
}

// ---------------------------------------------------------------------------------------------
// TCustomSource: IFF reader

void TCustomSource::DoLoadFromIFF(IIFFStream& iff, TIFFChunk* node, uint32_t& flags) {
  TCustomSignal::DoLoadFromIFF(iff, node, flags);
  const TLoadingScope loading(loading_);
  TIFFHelper chunks(iff, node);
  unitLocked_ = false;
  SetUnit(chunks.ReadWideString(ID_UNIT, LocalisedString(strings::kUnitVoltage)), true);
  unitLocked_ = chunks.ReadInteger(ID_UNITLOCKED, 0) != 0;
  // The span states first, so the stored span is taken as stored (snapped only when it was).
  ReadSpanStates(iff, node);
  std::array<double, 2> bounds{};
  if (chunks.ReadData(ID_SPAN, bounds.data(), sizeof bounds)) SetSpan(true, bounds[0], bounds[1]);
  if ((flags & kFileNoData) == 0) {
    SetDataTypeFromVarType(chunks.ReadWord(ID_DATATYPE, GetVarType()));
  }

  domain_ = chunks.ReadInteger(ID_DOMAIN, domain_);
  if (domain_ == kDomainTime) {
    SetSampleFrequency(chunks.ReadDouble(ID_SAMPLEFREQUENCY, sampleFrequency_));
    SetFrequencyStep(0.0);
  } else if (domain_ == kDomainFrequency) {
    SetFrequencyStep(chunks.ReadDouble(ID_SAMPLEFREQUENCY, frequencyStep_));
    SetSampleFrequency(0.0);
  }
  dadiValue_ = chunks.ReadInteger(ID_DADI, 0);
  SetCount(chunks.ReadInt64(ID_COUNT, count_));
  SetPreSamples(chunks.ReadInt64(ID_PRESAMPLES, 0));
  SetStartValue(chunks.ReadDouble(ID_STARTVALUE, 0.0));
  SetResolution(chunks.ReadInteger(ID_RESOLUTION, resolution_));
  SetColourMode(static_cast<uint32_t>(chunks.ReadInteger(ID_COLOURMODE, 0)));
  if (colourMode_ != 0) SetColour(chunks.ReadInteger(ID_COLOUR, kNoColour));

  if ((flags & kFileNoData) == 0 && !buffer_.Empty() && ReadSamples(iff, node)) {
    SetTimeStamp(chunks.ReadDouble(ID_TIMESTAMP, 0.0));
  } else {
    timeStamp_ = 0.0;
    buffer_.FillZeroLevel();
    keyCipherMask_ = 0;
    flags |= kFileNoData;
  }
  Changed(kChangeNewData | kChangeLoaded);
}

// Fixed and snapped span are on when their chunks are there. A member of a multi-input
// multi-output object that holds neither takes them from the object.
void TCustomSource::ReadSpanStates(IIFFStream& iff, TIFFChunk* node) {
  const TChunkID both[] = {ID_FIXEDSPAN, ID_SNAPPEDSPAN};
  TIFFChunk* holder = node;
  TIFFChunk* parent = node->parent;
  if (parent && IsContainerID(parent->id) && parent->type == ID_MIMO &&
      !iff.FindChunk(node, both, 0)) {
    holder = parent;
  }
  fixedSpan_.checked = FindChild(iff, holder, ID_FIXEDSPAN) != nullptr;
  snappedSpan_.checked = FindChild(iff, holder, ID_SNAPPEDSPAN) != nullptr;
}

// The samples of "DATA", or of "CDAT" with its key, into the buffer; the zero level behind the
// samples the chunk holds. False when none were taken.
bool TCustomSource::ReadSamples(IIFFStream& iff, TIFFChunk* node) {
  std::array<uint8_t, 6> format{};  // the first 32-bit word and the stored VARTYPE
  if (!iff.ReadChunk(node, ID_FORMAT, static_cast<uint32_t>(format.size()), format.data())) {
    return false;
  }
  uint32_t formatWord = 0;
  std::memcpy(&formatWord, format.data(), sizeof formatWord);
  if (formatWord != 0) return false;
  uint16_t storedVarType = 0;
  std::memcpy(&storedVarType, &format[4], sizeof storedVarType);
  const uint32_t storedType = VarTypeToDataType(storedVarType);

  const uint32_t type = buffer_.DataType();
  void* samples = buffer_.Bytes().data();
  size_t held = buffer_.Count();
  bool read = false;
  if (FindChild(iff, node, ID_DATA)) {
    read = ReadDataChunk(iff, node, ID_DATA, {}, span_.low, span_.high, storedType, type, held,
                         samples);
    keyCipherMask_ = 0;
  } else if (FindChild(iff, node, ID_KEYEDDATA)) {
    std::string key = ReadKeyBytes(iff, node);
    if (key.empty()) return false;
    TIFFHelper chunks(iff, node);
    const auto mask = static_cast<uint32_t>(chunks.ReadInteger(ID_KEYMASK, kDefaultKeyMask));
    const uint32_t failed = KeyCiphers().DecodeKey(key, mask);
    AddKeyFailures(failed);
    if (failed != 0) return false;
    read = ReadDataChunk(iff, node, ID_KEYEDDATA, key, span_.low, span_.high, storedType, type,
                         held, samples);
    if (read) keyCipherMask_ = mask;
  }
  if (read) buffer_.FillZeroLevel(held);
  return read;
}

// ---------------------------------------------------------------------------------------------
// TCustomSource: legacy stream reader

int32_t TCustomSource::LoadFromLegacyStream(TStream& stream, uint32_t& flags) {
  const TUpdateBracket bracket(*this);
  StreamBlockHeader header{};
  const int64_t position = FindStreamBlock(stream, GetClassID(), header);
  if (position < 0) return 0;
  if (header.version != 0) {
    throw EStreamError(FormatText(LocalisedString(strings::kUnsupportedVersion), {ClassName()}));
  }
  try {
    ReadLegacyBlock(stream, flags);
  } catch (const EReadError&) {
    // A block that ends early keeps what it had; its samples are not taken.
    buffer_.FillZeroLevel();
    flags |= kFileNoData;
  }
  Changed(kChangeAll);
  stream.SetPosition(position + header.distance);
  return 1;
}

// The block's fields behind its header; raises EReadError when the stream ends first.
void TCustomSource::ReadLegacyBlock(TStream& stream, uint32_t& flags) {
  stream.Seek(kLegacySkipped, SeekOrigin::Current);
  const int64_t storedCount = ReadInt64(stream);
  SetCount(storedCount);
  domain_ = ReadInt32(stream);
  SetStartValue(ReadDouble(stream));
  SetPreSamples(ReadInt64(stream));
  SetSampleFrequency(ReadDouble(stream));
  SetFrequencyStep(ReadDouble(stream));
  unit_ = ReadLegacyText(stream, kLegacyUnitSize);
  const double low = ReadDouble(stream);
  const double high = ReadDouble(stream);
  // As a pair: one bound at a time could be refused against the other bound of the old span.
  SetSpan(true, low, high);
  SetResolution(ReadInt32(stream));
  dadiValue_ = ReadInt32(stream);
  SetAlias(ReadLegacyText(stream, kLegacyAliasSize));
  const uint32_t storedType = ReadUInt32(stream);

  const bool take =
      (flags & kFileNoData) == 0 && storedCount > 0 && storedType != 0 && !buffer_.Empty();
  if (!take || !ReadLegacySamples(stream, storedType, storedCount)) {
    buffer_.FillZeroLevel();
    flags |= kFileNoData;
  }
}

// Up to the stored count of samples: straight into the buffer when the stored type is the data
// type, else converted in blocks of 32768 bytes. False when the stored type cannot be converted.
bool TCustomSource::ReadLegacySamples(TStream& stream, uint32_t storedType, int64_t storedCount) {
  const uint32_t type = buffer_.DataType();
  const auto size = static_cast<size_t>(DataTypeSize(type));
  const size_t wanted = std::min(
      buffer_.Count(),
      static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(storedCount), SIZE_MAX)));
  std::byte* samples = buffer_.Bytes().data();
  if (storedType == type) {
    stream.ReadBuffer(samples, wanted * size);
  } else {
    const auto storedSize = static_cast<size_t>(DataTypeSize(storedType));
    if (storedSize == 0) return false;
    std::vector<uint8_t> block(kLegacyBlockSize);
    const size_t perBlock = kLegacyBlockSize / storedSize;
    for (size_t done = 0; done < wanted;) {
      const size_t n = std::min(perBlock, wanted - done);
      stream.ReadBuffer(block.data(), n * storedSize);
      if (!ConvertData(block.data(), samples + done * size, storedType, type, n, span_.low,
                       span_.high)) {
        return false;
      }
      done += n;
    }
  }
  buffer_.FillZeroLevel(wanted);
  return true;
}

}  // namespace veltra
