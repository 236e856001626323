// Reads arbitrary bytes as a signal file into a source (SignalFuzzSupport.h has the input layout).
// The reader never crashes or leaks, and what it made of the file survives a write and a second
// read unchanged: every attribute, and the samples when they are stored in their own type.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "SignalFuzzSupport.h"
#include "signals/SignalFiles.h"

namespace {

using namespace veltra;
using fuzz::TFuzzSource;

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

bool Same(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

void RequireSame(TFuzzSource& a, TFuzzSource& b, bool samplesInOwnType) {
  Require(a.GetName() == b.GetName() && a.ShortNameField() == b.ShortNameField() &&
              a.GetAlias() == b.GetAlias(),
          "names");
  Require(a.GetDescription() == b.GetDescription() && a.GetAuthor() == b.GetAuthor(),
          "description, author");
  Require(a.GetNumber() == b.GetNumber(), "number");
  Require(a.GetUnit() == b.GetUnit() && a.UnitLocked() == b.UnitLocked(), "unit");
  Require(
      a.Span() == b.Span() && a.FixedSpan() == b.FixedSpan() && a.SnappedSpan() == b.SnappedSpan(),
      "span");
  Require(a.GetDataType() == b.GetDataType() && a.GetCount() == b.GetCount(), "data type, count");
  Require(a.GetDomain() == b.GetDomain() && a.GetDadiValue() == b.GetDadiValue(), "domain, DADI");
  Require(a.GetPreSamples() == b.GetPreSamples() && Same(a.GetStartValue(), b.GetStartValue()),
          "start");
  Require(Same(a.GetSampleFrequency(), b.GetSampleFrequency()) &&
              Same(a.GetFrequencyStep(), b.GetFrequencyStep()),
          "frequencies");
  Require(a.GetColour() == b.GetColour() && a.GetColourMode() == b.GetColourMode(), "colour");
  Require(a.GetResolution() == b.GetResolution(), "resolution");
  Require(Same(a.GetTimeStamp(), b.GetTimeStamp()), "time stamp");
  Require(a.GetKeyCipherMask() == b.GetKeyCipherMask(), "key-cipher mask");
  const auto bytesA = a.GetSampleBytes();
  const auto bytesB = b.GetSampleBytes();
  Require(bytesA.size() == bytesB.size(), "sample bytes");
  if (samplesInOwnType) {
    Require(std::memcmp(bytesA.data(), bytesB.data(), bytesA.size()) == 0, "samples");
  }
}

// The source written to a fresh stream and read back.
void CheckRewrite(TFuzzSource& loaded) {
  TMemoryStream stream;
  TIFFStream iff(stream, true);
  TIFFChunk* node = iff.GetRoot();
  uint32_t flags = 0;
  loaded.SaveToIFF(iff, node, flags, true);
  std::array<uint8_t, 6> format{};
  const bool stored = iff.ReadChunk(node, ID_FORMAT, 6, format.data());
  const uint16_t storedVarType = static_cast<uint16_t>(format[4] | format[5] << 8);
  const bool ownType = stored && VarTypeToDataType(storedVarType) == loaded.GetDataType();

  ComPtr<TFuzzSource> again = MakeObject<TFuzzSource>();
  flags = 0;
  Require(again->LoadFromIFF(iff, node, flags) == S_OK, "second read");
  RequireSame(loaded, *again, ownType);
}

void ReadIFF(const std::vector<uint8_t>& bytes, uint32_t flags) {
  TMemoryStream stream(bytes);
  std::unique_ptr<TIFFStream> iff;
  try {
    iff = std::make_unique<TIFFStream>(stream, false);
  } catch (const EStreamCreateError&) {
    return;  // not a chunk stream
  }
  const TChunkTypePair sourceContainer[] = {{ID_RIFF, ID_SOURCE}};
  TIFFChunk* node = iff->FindContainer(iff->GetRoot(), sourceContainer, -1);
  if (!node) return;
  ComPtr<TFuzzSource> source = MakeObject<TFuzzSource>();
  Require(source->LoadFromIFF(*iff, node, flags) == S_OK, "read");
  CheckRewrite(*source);
}

void ReadLegacy(const std::vector<uint8_t>& bytes, uint32_t flags, bool doubles) {
  TMemoryStream stream(bytes);
  ComPtr<TFuzzSource> source = MakeObject<TFuzzSource>();
  source->SetDataType(doubles ? DT_ARRAY_DOUBLE : DT_ARRAY_UINT16);
  try {
    source->LoadFromLegacyStream(stream, flags);
  } catch (const EStreamError&) {
    return;  // a block of a later version
  }
  const auto bytesHeld = source->GetSampleBytes();
  Require(bytesHeld.size() == static_cast<size_t>(source->GetCount()) * (doubles ? 8 : 2),
          "legacy samples");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::RegisterFuzzCipher();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  const std::vector<uint8_t> bytes(data + 1, data + size);
  const uint32_t flags = (mode & fuzz::kModeNoData) ? kFileNoData : 0;
  if (mode & fuzz::kModeLegacy) {
    ReadLegacy(bytes, flags, (mode & fuzz::kModeDoubles) != 0);
  } else {
    ReadIFF(bytes, flags);
  }
  ClearKeyFailureMask();
  return 0;
}
