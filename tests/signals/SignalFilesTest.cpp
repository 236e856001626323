// Sources written to IFF streams and read back, keyed sample data, hostile files, and the legacy
// block format.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

#include "SignalTestObjects.h"
#include "signals/SignalFiles.h"
#include "util/IFFData.h"
#include "util/IFFHelper.h"
#include "util/Routines.h"

namespace veltra::test {
namespace {

// A key cipher that reverses the key and marks it, so that a decode of anything else fails.
class TReversingCipher : public IKeyCipher {
 public:
  bool Encode(std::string& key) override {
    std::reverse(key.begin(), key.end());
    key += '!';
    return true;
  }
  bool Decode(std::string& key) override {
    if (key.empty() || key.back() != '!') return false;
    key.pop_back();
    std::reverse(key.begin(), key.end());
    return true;
  }
};

constexpr int kCipherBit = 1;  // mask 2, the mask a reader assumes without "DAPK"

// Registers the reversing cipher for the test and clears the key-failure mask around it.
struct CipherScope {
  explicit CipherScope(bool registered = true) {
    if (registered) KeyCiphers().Register(kCipherBit, std::make_shared<TReversingCipher>());
    ClearKeyFailureMask();
  }
  ~CipherScope() {
    KeyCiphers().Register(kCipherBit, nullptr);
    ClearKeyFailureMask();
  }
};

// A stream with one source written into a new "RIFF"/"SRC " container.
struct SourceFile {
  TMemoryStream stream;
  std::unique_ptr<TIFFStream> iff = std::make_unique<TIFFStream>(stream, true);
  TIFFChunk* node = nullptr;
  uint32_t writeFlags = 0;

  explicit SourceFile(TCustomSource& source, uint32_t flags = 0) : writeFlags(flags) {
    node = iff->GetRoot();
    EXPECT_EQ(source.SaveToIFF(*iff, node, writeFlags, true), S_OK);
  }
  bool Has(TChunkID id) {
    const TChunkID ids[] = {id};
    return iff->FindChunk(node, ids, 0) != nullptr;
  }
  uint32_t Load(TCustomSource& target, uint32_t flags = 0) {
    EXPECT_EQ(target.LoadFromIFF(*iff, node, flags), S_OK);
    return flags;
  }
  // The bytes of the stream as a file holds them.
  std::vector<uint8_t> Bytes() {
    iff->Close();
    return stream.Bytes();
  }
};

std::string Id(TChunkID id) { return std::string(reinterpret_cast<const char*>(&id), 4); }

void ExpectSameSource(TTestSource& a, TTestSource& b) {
  EXPECT_EQ(a.GetName(), b.GetName());
  EXPECT_EQ(a.ShortNameField(), b.ShortNameField());
  EXPECT_EQ(a.GetAlias(), b.GetAlias());
  EXPECT_EQ(a.GetDescription(), b.GetDescription());
  EXPECT_EQ(a.GetAuthor(), b.GetAuthor());
  EXPECT_EQ(a.GetNumber(), b.GetNumber());
  EXPECT_EQ(a.GetUnit(), b.GetUnit());
  EXPECT_EQ(a.UnitLocked(), b.UnitLocked());
  EXPECT_EQ(a.Span(), b.Span());
  EXPECT_EQ(a.FixedSpan(), b.FixedSpan());
  EXPECT_EQ(a.SnappedSpan(), b.SnappedSpan());
  EXPECT_EQ(a.GetDataType(), b.GetDataType());
  EXPECT_EQ(a.GetDomain(), b.GetDomain());
  EXPECT_EQ(a.GetDadiValue(), b.GetDadiValue());
  EXPECT_EQ(a.GetCount(), b.GetCount());
  EXPECT_EQ(a.GetPreSamples(), b.GetPreSamples());
  EXPECT_EQ(a.GetStartValue(), b.GetStartValue());
  EXPECT_EQ(a.GetSampleFrequency(), b.GetSampleFrequency());
  EXPECT_EQ(a.GetFrequencyStep(), b.GetFrequencyStep());
  EXPECT_EQ(a.GetColour(), b.GetColour());
  EXPECT_EQ(a.GetColourMode(), b.GetColourMode());
  EXPECT_EQ(a.GetResolution(), b.GetResolution());
  EXPECT_EQ(a.GetTimeStamp(), b.GetTimeStamp());
  EXPECT_EQ(a.GetKeyCipherMask(), b.GetKeyCipherMask());
  const auto bytesA = a.GetSampleBytes();
  const auto bytesB = b.GetSampleBytes();
  ASSERT_EQ(bytesA.size(), bytesB.size());
  EXPECT_EQ(std::memcmp(bytesA.data(), bytesB.data(), bytesA.size()), 0) << "samples differ";
}

// Every attribute away from its default (colour mode 2 keeps its colour in the file).
void SetAttributes(TTestSource& s) {
  s.SetName("Probe input");
  s.SetShortName("In");
  s.SetAlias("my input");
  s.SetDescription("a test record");
  s.SetAuthor("tester");
  s.SetNumber(42);
  s.SetUnit("mA", true);
  s.SetUnitLocked(true);
  s.SetSpan(true, -3.0, 5.0);  // not round: a reader that snapped it would change it
  s.SetFixedSpan(true);
  s.SetDadiValue(3);
  s.SetPreSamples(7);
  s.SetStartValue(-0.25);
  s.SetSampleFrequency(1e6);
  s.SetColourMode(2);
  s.SetColour(0x8000FF);
  s.SetTimeStamp(45123.5);
}

// ---------------------------------------------------------------------------------------------
// Writer

TEST(SignalFiles, WriterLeavesDefaultsOut) {
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  SourceFile file(*source);
  EXPECT_EQ(file.node->type, ID_SOURCE);
  for (const TChunkID id : {ID_AUTHOR, ID_NUMBER, ID_SPAN, ID_DATATYPE, ID_DOMAIN, ID_COUNT,
                            ID_SAMPLEFREQUENCY, ID_RESOLUTION}) {
    EXPECT_TRUE(file.Has(id)) << Id(id);
  }
  for (const TChunkID id :
       {ID_ALIAS,      ID_NAME,       ID_SHORTNAME,    ID_DESCRIPTION, ID_CLASSID,    ID_UNIT,
        ID_UNITLOCKED, ID_FIXEDSPAN,  ID_SNAPPEDSPAN,  ID_DADI,        ID_PRESAMPLES, ID_STARTVALUE,
        ID_COLOUR,     ID_COLOURMODE, ID_OUTPUTNUMBER, ID_FORMAT,      ID_DATA,       ID_KEYEDDATA,
        ID_KEY,        ID_KEYMASK,    ID_TIMESTAMP}) {
    EXPECT_FALSE(file.Has(id)) << Id(id);
  }
  EXPECT_NE(file.writeFlags & kFileNoData, 0u) << "no samples to store";
}

TEST(SignalFiles, RewritingRemovesWhatIsNowDefault) {
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  SetAttributes(*source);
  source->SetDataType(DT_ARRAY_UINT16);
  source->SetCount(4);
  SourceFile file(*source);
  ASSERT_TRUE(file.Has(ID_DATA));
  ASSERT_TRUE(file.Has(ID_UNIT));

  ComPtr<TTestSource> plain = MakeObject<TTestSource>();
  uint32_t flags = 0;
  ASSERT_EQ(plain->SaveToIFF(*file.iff, file.node, flags, false), S_OK);
  for (const TChunkID id : {ID_ALIAS, ID_NAME, ID_UNIT, ID_FIXEDSPAN, ID_PRESAMPLES, ID_COLOUR,
                            ID_FORMAT, ID_DATA, ID_TIMESTAMP}) {
    EXPECT_FALSE(file.Has(id)) << Id(id);
  }
}

// ---------------------------------------------------------------------------------------------
// Round trips

struct RoundTrip {
  const char* name;
  uint32_t dataType;
  int32_t resolution;
  uint16_t storedVarType;  // as "FMT " names it
  std::function<void(TTestSource&)> fill;
};

void PrintTo(const RoundTrip& c, std::ostream* os) { *os << c.name; }

// Codes and values with a physical meaning over the source's span [low, high).
const RoundTrip kRoundTrips[] = {
    {"16-bit codes", DT_ARRAY_UINT16, 16, 0x2012,
     [](TTestSource& s) {
       uint16_t k = 0;
       for (uint16_t& code : s.Samples<uint16_t>()) code = k += 4099;
     }},
    {"quantised volts stored as 16-bit codes", DT_ARRAY_DOUBLE, 16, 0x2012,
     [](TTestSource& s) {
       int k = 0;
       const TSpan span = s.Span();
       for (double& v : s.Samples<double>())
         v = span.low + (span.high - span.low) * ((k++ * 997) % 65536) / 65536.0;
     }},
    {"quantised volts stored as 8-bit codes", DT_ARRAY_DOUBLE, 8, 0x2011,
     [](TTestSource& s) {
       int k = 0;
       const TSpan span = s.Span();
       for (double& v : s.Samples<double>())
         v = span.low + (span.high - span.low) * ((k++ * 37) % 256) / 256.0;
     }},
    {"volts at full precision", DT_ARRAY_DOUBLE, 32, 0x2005,
     [](TTestSource& s) {
       int k = 0;
       for (double& v : s.Samples<double>()) v = std::sin(0.1 * k++) * 1.9;
     }},
    {"volts as singles", DT_ARRAY_SINGLE, 24, 0x2004,
     [](TTestSource& s) {
       int k = 0;
       for (float& v : s.Samples<float>()) v = static_cast<float>(std::cos(0.3 * k++));
     }},
    {"signed 32-bit codes", DT_ARRAY_INT32, 32, 0x2003,
     [](TTestSource& s) {
       uint32_t k = 0;
       for (int32_t& code : s.Samples<int32_t>()) code = static_cast<int32_t>(k++ * 2654435761u);
     }},
    {"8-bit codes", DT_ARRAY_UINT8, 8, 0x2011,
     [](TTestSource& s) {
       uint8_t k = 0;
       for (uint8_t& code : s.Samples<uint8_t>()) code = k += 13;
     }},
};

class SourceRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(SourceRoundTrip, EveryAttributeAndSampleComesBack) {
  const RoundTrip& c = GetParam();
  for (const uint32_t keyMask : {0u, 2u}) {
    SCOPED_TRACE(keyMask ? "keyed" : "plain");
    CipherScope cipher;
    ComPtr<TTestSource> source = MakeObject<TTestSource>();
    SetAttributes(*source);
    source->SetResolution(c.resolution);
    source->SetKeyCipherMask(keyMask);
    ASSERT_TRUE(source->SetDataType(c.dataType));
    ASSERT_TRUE(source->SetCount(20000));  // more than one 32768-byte block for most types
    c.fill(*source);
    SourceFile file(*source);
    EXPECT_EQ(file.writeFlags & kFileNoData, 0u);
    EXPECT_EQ(file.Has(ID_DATA), keyMask == 0);
    EXPECT_EQ(file.Has(ID_KEYEDDATA), keyMask != 0);
    std::array<uint8_t, 12> format{};
    ASSERT_TRUE(file.iff->ReadChunk(file.node, ID_FORMAT, 12, format.data()));
    EXPECT_EQ(format[4] | format[5] << 8, c.storedVarType);

    // Read back into a source that starts from other values, through the bytes of the file.
    TMemoryStream copy(file.Bytes());
    TIFFStream iff(copy, false);
    TIFFChunk* node = iff.GetChild(iff.GetRoot(), 0);
    ComPtr<TTestSource> loaded = MakeObject<TTestSource>();
    loaded->clock = 1.0;
    loaded->SetResolution(4);
    loaded->SetSnappedSpan(true);
    uint32_t flags = 0;
    ASSERT_EQ(loaded->LoadFromIFF(iff, node, flags), S_OK);
    EXPECT_EQ(flags & kFileNoData, 0u);
    ExpectSameSource(*source, *loaded);
    EXPECT_EQ(KeyFailureMask(), 0u);
  }
}

std::string RoundTripName(const ::testing::TestParamInfo<RoundTrip>& test) {
  std::string name = test.param.name;
  std::replace_if(
      name.begin(), name.end(),
      [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Types, SourceRoundTrip, ::testing::ValuesIn(kRoundTrips), RoundTripName);

TEST(SignalFiles, FrequencyDomainKeepsItsStep) {
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  source->SetDomain(kDomainFrequency);
  source->SetFrequencyStep(12.5);
  source->SetSampleFrequency(0.0);
  SourceFile file(*source);
  ComPtr<TTestSource> loaded = MakeObject<TTestSource>();
  file.Load(*loaded);
  EXPECT_EQ(loaded->GetDomain(), kDomainFrequency);
  EXPECT_EQ(loaded->GetFrequencyStep(), 12.5);
  EXPECT_EQ(loaded->GetSampleFrequency(), 0.0);
}

TEST(SignalFiles, OutputNumberComesFromTheParentsNumbering) {
  class TNumbering : public TOwnInterfacedObject, public INumberedSources {
   public:
    int32_t GetSourceCount() override { return 3; }
    ComPtr<IInterface> GetSourceByIndex(int32_t) override { return nullptr; }
    int32_t IndexOfSource(IInterface*) override { return 2; }

   protected:
    bool GetInterface(const Guid& iid, void** object) override {
      return Answer<INumberedSources>(this, iid, object) ||
             TOwnInterfacedObject::GetInterface(iid, object);
    }
  };
  ComPtr<TNumbering> parent = MakeObject<TNumbering>();
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  source->SetParent(static_cast<INumberedSources*>(parent.Get()));
  SourceFile file(*source);
  TIFFHelper chunks(*file.iff, file.node);
  EXPECT_EQ(chunks.ReadInteger(ID_OUTPUTNUMBER, -1), 2);
}

// ---------------------------------------------------------------------------------------------
// Keyed data

TEST(SignalFiles, KeyedWriteWithoutCipherLeavesTheDataOutAndSetsTheMask) {
  CipherScope noCipher(false);
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  source->SetDataType(DT_ARRAY_UINT16);
  source->SetCount(100);
  source->SetKeyCipherMask(0x6);
  source->SetTimeStamp(2.0);
  SourceFile file(*source);
  EXPECT_NE(file.writeFlags & kFileNoData, 0u);
  EXPECT_EQ(KeyFailureMask(), 0x2u) << "the lowest bit without a cipher";
  for (const TChunkID id : {ID_FORMAT, ID_DATA, ID_KEYEDDATA, ID_KEYMASK, ID_TIMESTAMP}) {
    EXPECT_FALSE(file.Has(id)) << Id(id);
  }
  EXPECT_EQ(ClearKeyFailureMask(), 0x2u);
  EXPECT_EQ(KeyFailureMask(), 0u);
}

TEST(SignalFiles, PlainWriteOverKeyedDataDropsTheKeyedChunksButNotTheKey) {
  CipherScope cipher;
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  source->SetDataType(DT_ARRAY_UINT16);
  source->SetCount(10);
  source->SetKeyCipherMask(0x2);
  SourceFile file(*source);
  ASSERT_TRUE(file.Has(ID_KEYEDDATA));
  ASSERT_TRUE(file.Has(ID_KEY));
  EXPECT_FALSE(file.Has(ID_KEYMASK)) << "mask 2 is the default";

  source->SetKeyCipherMask(0);
  uint32_t flags = 0;
  source->SaveToIFF(*file.iff, file.node, flags, false);
  EXPECT_TRUE(file.Has(ID_DATA));
  EXPECT_FALSE(file.Has(ID_KEYEDDATA));
  EXPECT_FALSE(file.Has(ID_KEYMASK));
  EXPECT_TRUE(file.Has(ID_KEY));

  source->SetKeyCipherMask(0x2);  // and back: the plain copy must not shadow the keyed one
  source->SaveToIFF(*file.iff, file.node, flags, false);
  EXPECT_FALSE(file.Has(ID_DATA));
}

TEST(SignalFiles, KeyedReadWithoutCipherGivesTheZeroLevel) {
  std::unique_ptr<SourceFile> file;
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  {
    CipherScope cipher;
    source->SetDataType(DT_ARRAY_UINT16);
    source->SetCount(3);
    SetSample<uint16_t>(*source, 1, 5);
    source->SetKeyCipherMask(0x2);
    file = std::make_unique<SourceFile>(*source);
  }
  CipherScope noCipher(false);
  ComPtr<TTestSource> loaded = MakeObject<TTestSource>();
  EXPECT_NE(file->Load(*loaded) & kFileNoData, 0u);
  EXPECT_EQ(KeyFailureMask(), 0x2u);
  EXPECT_EQ(loaded->GetKeyCipherMask(), 0u);
  EXPECT_EQ(SamplesIn<uint16_t>(*loaded), std::vector<uint16_t>(3, 32768));
}

// ---------------------------------------------------------------------------------------------
// Short, partial and hostile files

TEST(SignalFiles, ChunkWithFewerSamplesThanTheCountFillsTheZeroLevel) {
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  source->SetDataType(DT_ARRAY_DOUBLE);
  source->SetCount(4);
  std::ranges::fill(source->Samples<double>(), 1.5);
  source->SetResolution(32);
  SourceFile file(*source);
  TIFFHelper(*file.iff, file.node).WriteInt64(ID_COUNT, 10);

  ComPtr<TTestSource> loaded = MakeObject<TTestSource>();
  loaded->SetDataType(DT_ARRAY_DOUBLE);
  loaded->SetCount(10);
  std::ranges::fill(loaded->Samples<double>(), 9.0);  // what an earlier record left
  EXPECT_EQ(file.Load(*loaded) & kFileNoData, 0u);
  const std::span<double> samples = loaded->Samples<double>();
  ASSERT_EQ(samples.size(), 10u);
  EXPECT_EQ(std::vector<double>(samples.begin(), samples.end()),
            (std::vector<double>{1.5, 1.5, 1.5, 1.5, 0, 0, 0, 0, 0, 0}));
}

TEST(SignalFiles, NoDataFlagKeepsTheDataTypeAndTakesNoSamples) {
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  source->SetDataType(DT_ARRAY_UINT16);
  source->SetCount(2);
  SetSample<uint16_t>(*source, 0, 1);
  SourceFile file(*source);
  ComPtr<TTestSource> loaded = MakeObject<TTestSource>();
  loaded->SetDataType(DT_ARRAY_UINT8);
  loaded->SetCount(2);
  SetSample<uint8_t>(*loaded, 0, 1);
  loaded->clock = 9.0;
  EXPECT_NE(file.Load(*loaded, kFileNoData) & kFileNoData, 0u);
  EXPECT_EQ(loaded->GetDataType(), DT_ARRAY_UINT8);
  EXPECT_EQ(SamplesIn<uint8_t>(*loaded), std::vector<uint8_t>(2, 0x80));
  EXPECT_EQ(loaded->GetTimeStamp(), 9.0) << "data without a stamp are stamped now";
}

// A source that still holds 16-bit codes of an earlier record, which a read must not leave behind.
void PrepareLoaded(TTestSource& source, int64_t count) {
  source.SetDataType(DT_ARRAY_UINT16);
  source.SetCount(count);
  std::ranges::fill(source.Samples<uint16_t>(), 99);
}

// Each edit spoils one chunk of a library-written file; the reader keeps a defined source.
TEST(SignalFiles, HostileChunksLeaveADefinedSource) {
  struct Case {
    const char* name;
    std::function<void(TIFFHelper&)> spoil;
    std::function<void(TTestSource&)> check;
  };
  const Case cases[] = {
      {"negative count", [](TIFFHelper& h) { h.WriteInt64(ID_COUNT, -5); },
       [](TTestSource& s) { EXPECT_EQ(s.GetCount(), 4); }},
      {"huge count", [](TIFFHelper& h) { h.WriteInt64(ID_COUNT, int64_t{1} << 50); },
       [](TTestSource& s) { EXPECT_EQ(s.GetCount(), 4); }},
      {"inverted span",
       [](TIFFHelper& h) {
         const double b[] = {3, -3};
         h.WriteData(ID_SPAN, b, 16);
       },
       [](TTestSource& s) { EXPECT_EQ(s.Span(), TCustomSource::kDefaultSpan); }},
      {"short span", [](TIFFHelper& h) { h.WriteData(ID_SPAN, "\1\2\3", 3); },
       [](TTestSource& s) { EXPECT_EQ(s.Span(), TCustomSource::kDefaultSpan); }},
      {"format word not 0",
       [](TIFFHelper& h) { h.WriteData(ID_FORMAT, "\1\0\0\0\x12\x20\0\0\0\0\0\0", 12); },
       [](TTestSource& s) { EXPECT_EQ(SamplesIn<uint16_t>(s), std::vector<uint16_t>(4, 32768)); }},
      {"unknown stored type",
       [](TIFFHelper& h) { h.WriteData(ID_FORMAT, "\0\0\0\0\x77\x07\0\0\0\0\0\0", 12); },
       [](TTestSource& s) { EXPECT_EQ(SamplesIn<uint16_t>(s), std::vector<uint16_t>(4, 32768)); }},
      {"no format", [](TIFFHelper& h) { h.Remove(ID_FORMAT); },
       [](TTestSource& s) { EXPECT_EQ(SamplesIn<uint16_t>(s), std::vector<uint16_t>(4, 32768)); }},
      {"scalar data type", [](TIFFHelper& h) { h.WriteWord(ID_DATATYPE, 5); },
       [](TTestSource& s) {
         EXPECT_EQ(s.GetDataType(), DT_ARRAY_UINT16);
         EXPECT_EQ(SamplesIn<uint16_t>(s), std::vector<uint16_t>(4, 7))
             << "the stored codes are still read";
       }},
      {"colour mode out of range", [](TIFFHelper& h) { h.WriteInteger(ID_COLOURMODE, -9); },
       [](TTestSource& s) { EXPECT_EQ(s.GetColourMode(), 2u); }},
      {"odd data bytes", [](TIFFHelper& h) { h.WriteData(ID_DATA, "\x01\x02\x03", 3); },
       [](TTestSource& s) {
         EXPECT_EQ(SamplesIn<uint16_t>(s), (std::vector<uint16_t>{0x0201, 32768, 32768, 32768}));
       }},
  };
  for (const Case& c : cases) {
    ComPtr<TTestSource> source = MakeObject<TTestSource>();
    source->SetDataType(DT_ARRAY_UINT16);
    source->SetCount(4);
    std::ranges::fill(source->Samples<uint16_t>(), 7);
    SourceFile file(*source);
    TIFFHelper chunks(*file.iff, file.node);
    c.spoil(chunks);
    ComPtr<TTestSource> loaded = MakeObject<TTestSource>();
    PrepareLoaded(*loaded, 4);
    file.Load(*loaded);
    SCOPED_TRACE(c.name);
    c.check(*loaded);
  }
}

// Every prefix of a file: either the samples come back whole, or none are taken and the buffer
// holds the zero level.
TEST(SignalFiles, TruncatedFilesGiveAllOrNoSamples) {
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  SetAttributes(*source);
  source->SetDataType(DT_ARRAY_UINT16);
  source->SetCount(6);
  std::ranges::fill(source->Samples<uint16_t>(), 1234);
  const std::vector<uint8_t> bytes = SourceFile(*source).Bytes();
  int whole = 0;
  for (size_t length = 0; length <= bytes.size(); ++length) {
    TMemoryStream stream(
        std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)));
    std::unique_ptr<TIFFStream> iff;
    try {
      iff = std::make_unique<TIFFStream>(stream, false);
    } catch (const EStreamCreateError&) {
      continue;  // not a chunk stream at all
    }
    TIFFChunk* node = iff->GetChild(iff->GetRoot(), 0);
    if (!node) continue;
    ComPtr<TTestSource> loaded = MakeObject<TTestSource>();
    PrepareLoaded(*loaded, 6);
    uint32_t flags = 0;
    ASSERT_EQ(loaded->LoadFromIFF(*iff, node, flags), S_OK);
    const std::span<uint16_t> samples = loaded->Samples<uint16_t>();
    const uint16_t expected = (flags & kFileNoData) ? 32768 : 1234;
    whole += (flags & kFileNoData) ? 0 : 1;
    EXPECT_TRUE(std::ranges::all_of(samples, [&](uint16_t v) { return v == expected; })) << length;
  }
  EXPECT_GE(whole, 1) << "the whole file reads its samples";
}

TEST(SignalFiles, MembersOfAMultiInputObjectTakeItsSpanStates) {
  TMemoryStream stream;
  TIFFStream iff(stream, true);
  TIFFChunk* mimo = iff.AddContainer(iff.GetRoot(), ID_RIFF, ID_MIMO);
  TIFFHelper(iff, mimo).WriteInteger(ID_FIXEDSPAN, 1);
  ComPtr<TTestSource> member = MakeObject<TTestSource>();
  TIFFChunk* node = mimo;
  uint32_t flags = 0;
  member->SaveToIFF(iff, node, flags, true);

  ComPtr<TTestSource> loaded = MakeObject<TTestSource>();
  loaded->LoadFromIFF(iff, node, flags);
  EXPECT_TRUE(loaded->FixedSpan());
  EXPECT_FALSE(loaded->SnappedSpan());

  TIFFHelper(iff, node).WriteInteger(ID_SNAPPEDSPAN, -1);  // a member with its own states
  loaded->LoadFromIFF(iff, node, flags);
  EXPECT_FALSE(loaded->FixedSpan());
  EXPECT_TRUE(loaded->SnappedSpan());
}

TEST(SignalFiles, LoadedStampIsKeptAndLoadIsOneChange) {
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  source->SetDataType(DT_ARRAY_UINT16);
  source->SetCount(2);
  source->SetTimeStamp(100.0);
  source->SetResolution(12);
  SourceFile file(*source);

  ComPtr<TTestSource> loaded = MakeObject<TTestSource>();
  loaded->clock = 5.0;
  TChangeRecorder changes(static_cast<ISource*>(loaded.Get()));
  file.Load(*loaded);
  EXPECT_EQ(loaded->GetTimeStamp(), 100.0);
  EXPECT_EQ(changes.Events(), 1);
  EXPECT_EQ(changes.Take(), kChangeNewData | kChangeLoaded | kChangeCount | kChangeResolution);
}

// ---------------------------------------------------------------------------------------------
// Legacy blocks

// A legacy source block: header, 512 skipped bytes, the fields, the samples.
struct LegacyBlock {
  std::vector<uint8_t> bytes;

  template <class T>
  void Put(T value) {
    const auto* p = reinterpret_cast<const uint8_t*>(&value);
    bytes.insert(bytes.end(), p, p + sizeof value);
  }
  void PutText(const std::u16string& wide, const std::string& ansi, size_t size) {
    std::vector<uint8_t> field(size, 0);
    if (!wide.empty()) {
      field[0] = 0xFE;
      field[1] = 0xFF;
      for (size_t i = 0; i < wide.size(); ++i) {
        field[2 + 2 * i] = static_cast<uint8_t>(wide[i]);
        field[3 + 2 * i] = static_cast<uint8_t>(wide[i] >> 8);
      }
    } else {
      std::copy(ansi.begin(), ansi.end(), field.begin());
    }
    bytes.insert(bytes.end(), field.begin(), field.end());
  }

  LegacyBlock(uint32_t version, uint32_t storedType, const std::vector<uint8_t>& samples,
              int64_t count, bool wideTexts) {
    StreamBlockHeader header{};
    header.version = version;
    header.id = TCustomSignal::kClassID;
    bytes.resize(sizeof header + 512);
    Put(count);
    Put(int32_t{kDomainTime});
    Put(0.5);         // start value
    Put(int64_t{3});  // pre-samples
    Put(2e6);         // sample frequency
    Put(0.0);         // frequency step
    PutText(wideTexts ? u"\u00B5A" : u"", "mA", 32);
    Put(-1.0);
    Put(1.0);
    Put(int32_t{12});  // resolution
    Put(int32_t{9});   // "DADI"
    PutText(wideTexts ? u"\u03A9 probe" : u"", "old probe", 64);
    Put(storedType);
    bytes.insert(bytes.end(), samples.begin(), samples.end());
    header.a = header.distance =
        static_cast<uint32_t>(bytes.size() + 6);  // the last block, 6 bytes of slack
    std::memcpy(bytes.data(), &header, sizeof header);
    bytes.resize(bytes.size() + 6, 0xEE);
  }
};

TEST(LegacyStream, FieldsAndSamplesOfBothEncodings) {
  for (const bool wide : {false, true}) {
    const std::vector<uint8_t> codes = {0x00, 0x80, 0xFF, 0xFF, 0x00, 0x00};  // 32768, 65535, 0
    TMemoryStream stream(LegacyBlock(0, DT_ARRAY_UINT16, codes, 3, wide).bytes);
    const int64_t end = stream.Size();
    ComPtr<TTestSource> source = MakeObject<TTestSource>();
    source->SetDataType(DT_ARRAY_DOUBLE);  // converted from the stored codes over the span
    uint32_t flags = 0;
    TChangeRecorder changes(static_cast<ISource*>(source.Get()));
    EXPECT_EQ(source->LoadFromLegacyStream(stream, flags), 1);
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(changes.Take(), kChangeAll);
    EXPECT_EQ(stream.Position(), end) << "behind the block";
    EXPECT_EQ(source->GetUnit(), wide ? "\xC2\xB5"
                                        "A"
                                      : "mA");
    EXPECT_EQ(source->GetAlias(), wide ? "\xCE\xA9 probe" : "old probe");
    EXPECT_EQ(source->Span(), (TSpan{-1.0, 1.0}));
    EXPECT_EQ(source->GetStartValue(), 0.5);
    EXPECT_EQ(source->GetPreSamples(), 3);
    EXPECT_EQ(source->GetSampleFrequency(), 2e6);
    EXPECT_EQ(source->GetResolution(), 12);
    EXPECT_EQ(source->GetDadiValue(), 9);
    const std::span<double> volts = source->Samples<double>();
    EXPECT_EQ(std::vector<double>(volts.begin(), volts.end()),
              (std::vector<double>{0.0, 1.0 - 1.0 / 32768, -1.0}));
  }
}

TEST(LegacyStream, SameTypeIsReadStraightAndTheRestIsZeroLevel) {
  // A block of 2 stored codes read by a source whose own limit keeps 3 samples: the third is the
  // zero level.
  class TLongSource : public TTestSource {
   public:
    bool SetCount(int64_t) override { return TTestSource::SetCount(3); }
  };
  TMemoryStream stream(LegacyBlock(0, DT_ARRAY_UINT16, {0x01, 0x00, 0x02, 0x00}, 2, false).bytes);
  ComPtr<TLongSource> source = MakeObject<TLongSource>();
  source->SetDataType(DT_ARRAY_UINT16);
  uint32_t flags = 0;
  source->LoadFromLegacyStream(stream, flags);
  const std::span<uint16_t> codes = source->Samples<uint16_t>();
  EXPECT_EQ(std::vector<uint16_t>(codes.begin(), codes.end()),
            (std::vector<uint16_t>{1, 2, 32768}));
}

TEST(LegacyStream, UnusableBlocks) {
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  source->SetDataType(DT_ARRAY_UINT16);
  source->SetCount(1);
  uint32_t flags = 0;

  TMemoryStream later(LegacyBlock(1, DT_ARRAY_UINT16, {1, 0}, 1, false).bytes);
  try {
    source->LoadFromLegacyStream(later, flags);
    ADD_FAILURE() << "a later version is refused";
  } catch (const EStreamError& e) {
    EXPECT_EQ(std::string(e.what()),
              source->ClassName() + ": the stored data have a version this library cannot read.");
  }

  TMemoryStream empty(std::vector<uint8_t>(100, 0));
  EXPECT_EQ(source->LoadFromLegacyStream(empty, flags), 0);
  EXPECT_EQ(empty.Position(), 0);

  // Stored samples that do not convert, a stored type of no size, and a block cut short.
  for (LegacyBlock block :
       {LegacyBlock(0, DT_ARRAY_INT16, {1, 0}, 1, false), LegacyBlock(0, 3, {1, 0}, 1, false),
        LegacyBlock(0, DT_ARRAY_UINT16, {}, 50, false)}) {
    block.bytes.resize(block.bytes.size() - 6);
    TMemoryStream stream(block.bytes);
    flags = 0;
    SetSample<uint16_t>(*source, 0, 1);
    EXPECT_EQ(source->LoadFromLegacyStream(stream, flags), 1);
    EXPECT_EQ(flags, kFileNoData);
    EXPECT_TRUE(
        std::ranges::all_of(source->Samples<uint16_t>(), [](uint16_t v) { return v == 32768; }));
  }
}

}  // namespace
}  // namespace veltra::test
