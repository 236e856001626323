// Writes the seed corpus of fuzz_signal_file into the folder given: signal files as the library
// writes them (codes, quantised volts, keyed data, a member of a multi-input object, without
// samples), and legacy blocks built field by field (the library reads that format but writes none).
//
//   build/fuzz/bin/signal_corpus_writer fuzz/corpus/signal_file

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "SignalFuzzSupport.h"
#include "signals/SignalFiles.h"
#include "util/Routines.h"

namespace {

using namespace veltra;
using fuzz::TFuzzSource;

void Save(const std::string& folder, const std::string& name, uint8_t mode,
          const std::vector<uint8_t>& file) {
  std::ofstream out(folder + "/" + name, std::ios::binary);
  out.put(static_cast<char>(mode));
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
}

ComPtr<TFuzzSource> MakeSource(uint32_t dataType, int64_t count, int32_t resolution) {
  ComPtr<TFuzzSource> source = MakeObject<TFuzzSource>();
  source->SetName("Ch1");
  source->SetAlias("input");
  source->SetDataType(dataType);
  source->SetCount(count);
  source->SetResolution(resolution);
  source->SetSpan(true, -1.0, 1.0);
  source->SetPreSamples(count / 4);
  source->SetColourMode(2);
  source->SetColour(0xFF8000);
  source->SetTimeStamp(45000.5);
  return source;
}

// The source in a "RIFF"/"SRC " container, below a "MIMO" container when asked.
std::vector<uint8_t> FileOf(TFuzzSource& source, bool inMultiInput = false) {
  TMemoryStream stream;
  {
    TIFFStream iff(stream, true);
    TIFFChunk* node = iff.GetRoot();
    if (inMultiInput) {
      node = iff.AddContainer(node, ID_RIFF, ID_MIMO);
      const int32_t on = 1;
      iff.WriteChunk(node, ID_SNAPPEDSPAN, true, sizeof on, &on);
    }
    uint32_t flags = 0;
    source.SaveToIFF(iff, node, flags, true);
  }
  return stream.Bytes();
}

template <class T>
void Put(std::vector<uint8_t>& bytes, T value) {
  const auto* p = reinterpret_cast<const uint8_t*>(&value);
  bytes.insert(bytes.end(), p, p + sizeof value);
}

// A legacy source block of 16-bit codes, its texts in 8-bit characters or UTF-16.
std::vector<uint8_t> LegacyBlock(bool wideTexts) {
  std::vector<uint8_t> bytes(sizeof(StreamBlockHeader) + 512);
  const int64_t count = 8;
  Put(bytes, count);
  Put(bytes, int32_t{0});  // domain
  Put(bytes, 0.0);         // start value
  Put(bytes, int64_t{2});  // pre-samples
  Put(bytes, 1e6);         // sample frequency
  Put(bytes, 0.0);         // frequency step
  std::vector<uint8_t> unit(32, 0), alias(64, 0);
  if (wideTexts) {
    unit = {0xFE, 0xFF, 'V', 0};
    unit.resize(32, 0);
    alias = {0xFE, 0xFF, 'o', 0, 'l', 0, 'd', 0};
    alias.resize(64, 0);
  } else {
    std::memcpy(unit.data(), "V", 1);
    std::memcpy(alias.data(), "old", 3);
  }
  bytes.insert(bytes.end(), unit.begin(), unit.end());
  Put(bytes, -2.0);
  Put(bytes, 2.0);
  Put(bytes, int32_t{14});  // resolution
  Put(bytes, int32_t{0});   // "DADI"
  bytes.insert(bytes.end(), alias.begin(), alias.end());
  Put(bytes, DT_ARRAY_UINT16);
  for (int64_t k = 0; k < count; ++k) Put(bytes, static_cast<uint16_t>(k * 8000));
  StreamBlockHeader header{};
  header.a = header.distance = static_cast<uint32_t>(bytes.size());
  header.id = TCustomSignal::kClassID;
  std::memcpy(bytes.data(), &header, sizeof header);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  fuzz::RegisterFuzzCipher();

  ComPtr<TFuzzSource> codes = MakeSource(DT_ARRAY_UINT16, 64, 16);
  for (size_t k = 0; k < 64; ++k) codes->Samples<uint16_t>()[k] = static_cast<uint16_t>(k * 1024);
  Save(folder, "codes", 0, FileOf(*codes));

  ComPtr<TFuzzSource> volts = MakeSource(DT_ARRAY_DOUBLE, 48, 8);  // stored as 8-bit codes
  for (size_t k = 0; k < 48; ++k) {
    volts->Samples<double>()[k] = -1.0 + static_cast<double>(k) / 64.0;
  }
  Save(folder, "quantised-volts", 0, FileOf(*volts));

  ComPtr<TFuzzSource> fine = MakeSource(DT_ARRAY_DOUBLE, 16, 32);  // stored as doubles
  for (size_t k = 0; k < 16; ++k) {
    fine->Samples<double>()[k] = std::sin(0.4 * static_cast<double>(k));
  }
  fine->SetDomain(kDomainFrequency);
  fine->SetFrequencyStep(25.0);
  fine->SetUnitLocked(true);
  fine->SetUnit("dBV", true);
  Save(folder, "frequency-domain", 0, FileOf(*fine));

  ComPtr<TFuzzSource> keyed = MakeSource(DT_ARRAY_SINGLE, 32, 24);
  for (size_t k = 0; k < 32; ++k) keyed->Samples<float>()[k] = static_cast<float>(k) / 40.0f;
  keyed->SetKeyCipherMask(2);
  Save(folder, "keyed", 0, FileOf(*keyed));

  ComPtr<TFuzzSource> member = MakeSource(DT_ARRAY_INT8, 16, 8);
  Save(folder, "multi-input-member", 0, FileOf(*member, true));
  Save(folder, "without-samples", fuzz::kModeNoData, FileOf(*codes));

  Save(folder, "legacy-ansi", fuzz::kModeLegacy, LegacyBlock(false));
  Save(folder, "legacy-wide-to-doubles", fuzz::kModeLegacy | fuzz::kModeDoubles, LegacyBlock(true));
  return 0;
}
