#include "util/IFFData.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "util/Blowfish.h"
#include "util/DataTypes.h"

namespace veltra {
namespace {

// A memory stream that records the size of every write.
class TRecordingStream final : public TStream {
 public:
  size_t Read(void* buffer, size_t count) override { return inner.Read(buffer, count); }
  size_t Write(const void* buffer, size_t count) override {
    writes.push_back(count);
    return inner.Write(buffer, count);
  }
  int64_t Seek(int64_t offset, SeekOrigin origin) override { return inner.Seek(offset, origin); }
  int64_t Size() override { return inner.Size(); }
  void SetSize(int64_t size) override { inner.SetSize(size); }

  TMemoryStream inner;
  std::vector<size_t> writes;
};

constexpr TChunkID kData = MakeChunkID("DATA");

std::vector<uint16_t> Ramp(size_t count) {
  std::vector<uint16_t> samples(count);
  for (size_t i = 0; i < count; ++i) samples[i] = static_cast<uint16_t>(i * 7919);
  return samples;
}

std::vector<uint8_t> ChunkBytes(TIFFStream& iff, TIFFChunk* chunk) {
  std::vector<uint8_t> bytes(iff.GetChunkSize(chunk));
  iff.ReadChunkData(chunk, bytes.data(), static_cast<uint32_t>(bytes.size()));
  return bytes;
}

TEST(IFFData, TwentyThousandSamplesInOnePieceOrInKeyedBlocks) {
  const std::vector<uint16_t> samples = Ramp(20000);
  std::vector<uint8_t> raw(40000);
  std::memcpy(raw.data(), samples.data(), raw.size());
  struct Case {
    const char* key;
    std::vector<size_t> writes;
  };
  const Case cases[] = {{"", {40000}}, {"K3yT3xt_", {32768, 7232}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    TRecordingStream stream;
    TIFFStream iff(stream, true);
    TIFFChunk* form = iff.AddContainer(iff.GetRoot(), ID_FORM, MakeChunkID("SGNL"));
    stream.writes.clear();
    ASSERT_TRUE(WriteDataChunk(iff, form, kData, c.key, -1, 1, DT_ARRAY_UINT16, DT_ARRAY_UINT16, samples.size(),
                               samples.data()));
    const size_t headerWrites = stream.writes.size() - c.writes.size();
    EXPECT_EQ(std::vector<size_t>(stream.writes.begin() + static_cast<ptrdiff_t>(headerWrites), stream.writes.end()),
              c.writes);

    TIFFChunk* chunk = form->firstChild;
    std::vector<uint8_t> stored = ChunkBytes(iff, chunk);
    if (*c.key) {
      // One keystream over the whole chunk: the blocks continue the counter.
      TBlowfishCounterMode(c.key).Apply(stored.data(), stored.size());
    }
    EXPECT_EQ(stored, raw);

    std::vector<uint16_t> back(samples.size());
    size_t count = back.size();
    ASSERT_TRUE(ReadDataChunk(iff, form, kData, c.key, -1, 1, DT_ARRAY_UINT16, DT_ARRAY_UINT16, count, back.data()));
    EXPECT_EQ(count, samples.size());
    EXPECT_EQ(back, samples);
  }
}

TEST(IFFData, ReadsWhatFitsAndReportsWhatTheChunkHolds) {
  TMemoryStream stream;
  TIFFStream iff(stream, true);
  TIFFChunk* form = iff.AddContainer(iff.GetRoot(), ID_FORM, MakeChunkID("SGNL"));
  const std::vector<uint16_t> samples = Ramp(300);
  ASSERT_TRUE(WriteDataChunk(iff, form, kData, "", 0, 1, DT_ARRAY_UINT16, DT_ARRAY_UINT16, 300, samples.data()));
  struct Case {
    const char* key;
    uint32_t destinationType;
  };
  for (const Case& c : {Case{"", DT_ARRAY_UINT16}, Case{"", DT_ARRAY_UINT32}}) {
    std::vector<uint32_t> back(101, 0xDEADBEEF);  // room for the conversion case; one sentinel
    size_t count = 100;
    ASSERT_TRUE(ReadDataChunk(iff, form, kData, c.key, 0, 1, DT_ARRAY_UINT16, c.destinationType, count, back.data()));
    EXPECT_EQ(count, 300u);
    if (c.destinationType == DT_ARRAY_UINT32) {
      EXPECT_EQ(back[99], uint32_t{samples[99]} << 16);
      EXPECT_EQ(back[100], 0xDEADBEEF);
    } else {
      EXPECT_EQ(std::memcmp(back.data(), samples.data(), 200), 0);
      EXPECT_EQ(back[50], 0xDEADBEEF);
    }
  }

  // A chunk that ends with part of a sample: 3 whole samples and one byte more. A destination of
  // exactly 3 samples gets 6 bytes; one with room for 4 also gets the odd byte.
  const TChunkID odd = MakeChunkID("ODD ");
  iff.WriteChunk(form, odd, false, 7, "\x01\x02\x03\x04\x05\x06\x07");
  for (size_t room : {size_t{3}, size_t{4}}) {
    std::vector<uint8_t> bytes(10, 0xEE);
    size_t count = room;
    ASSERT_TRUE(ReadDataChunk(iff, form, odd, "", 0, 1, DT_ARRAY_UINT16, DT_ARRAY_UINT16, count, bytes.data()));
    EXPECT_EQ(count, 3u);
    const std::vector<uint8_t> expected =
        room == 3 ? std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 0xEE, 0xEE}
                  : std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(bytes, expected) << room;
  }
}

TEST(IFFData, ConvertsOverTheRangeAndReportsFailures) {
  TMemoryStream stream;
  TIFFStream iff(stream, true);
  TIFFChunk* form = iff.AddContainer(iff.GetRoot(), ID_FORM, MakeChunkID("SGNL"));
  const std::vector<double> volts = {-1.0, 0.0, 0.5, 0.999969482421875};
  ASSERT_TRUE(WriteDataChunk(iff, form, kData, "key", -1, 1, DT_ARRAY_UINT16, DT_ARRAY_DOUBLE, volts.size(), volts.data()));
  std::vector<uint8_t> stored = ChunkBytes(iff, form->firstChild);
  TBlowfishCounterMode("key").Apply(stored.data(), stored.size());
  EXPECT_EQ(stored, (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x80, 0x00, 0xC0, 0xFF, 0xFF}));
  std::vector<double> back(4);
  size_t count = 4;
  ASSERT_TRUE(ReadDataChunk(iff, form, kData, "key", -1, 1, DT_ARRAY_UINT16, DT_ARRAY_DOUBLE, count, back.data()));
  EXPECT_EQ(back, volts);

  // Ten-byte samples: 3276 to a block, so the second block starts inside a cipher block.
  std::vector<double> many(4000);
  std::iota(many.begin(), many.end(), 0.5);
  ASSERT_TRUE(WriteDataChunk(iff, form, kData, "key", 0, 1, DT_ARRAY_EXTENDED, DT_ARRAY_DOUBLE, many.size(), many.data()));
  std::vector<double> manyBack(many.size());
  count = many.size();
  ASSERT_TRUE(ReadDataChunk(iff, form, kData, "key", 0, 1, DT_ARRAY_EXTENDED, DT_ARRAY_DOUBLE, count, manyBack.data()));
  EXPECT_EQ(manyBack, many);

  // Into the given chunk itself.
  TIFFChunk* own = iff.AddChunk(form, MakeChunkID("OWN "), 0);
  ASSERT_TRUE(WriteDataChunk(iff, own, ID_NONE, "", 0, 1, DT_ARRAY_UINT16, DT_ARRAY_UINT16, 2, volts.data()));
  EXPECT_EQ(iff.GetChunkSize(own), 4u);

  // Unsupported pairs, unknown types and missing chunks.
  const std::vector<uint16_t> codes = {1, 2};
  std::vector<int16_t> signedBack(2);
  count = 2;
  EXPECT_FALSE(WriteDataChunk(iff, form, kData, "", 0, 1, DT_ARRAY_INT16, DT_ARRAY_UINT16, 2, codes.data()));
  EXPECT_FALSE(WriteDataChunk(iff, form, kData, "", 0, 1, 3, 3, 2, codes.data()));
  EXPECT_FALSE(ReadDataChunk(iff, form, kData, "", 0, 1, DT_ARRAY_INT16, DT_ARRAY_UINT16, count, signedBack.data()));
  EXPECT_EQ(count, 2u);  // what the chunk holds, though the conversion failed
  count = 7;
  EXPECT_FALSE(ReadDataChunk(iff, form, MakeChunkID("NONE"), "", 0, 1, DT_ARRAY_UINT16, DT_ARRAY_UINT16, count, signedBack.data()));
  EXPECT_EQ(count, 7u);
}

// Appends or strips its letter, and fails on a key that holds "!".
class TLetterCipher : public IKeyCipher {
 public:
  explicit TLetterCipher(char letter) : letter_(letter) {}
  bool Encode(std::string& key) override {
    key += letter_;
    return key.find('!') == std::string::npos;
  }
  bool Decode(std::string& key) override {
    if (key.empty() || key.back() != letter_) return false;
    key.pop_back();
    return true;
  }

 private:
  char letter_;
};

TEST(IFFData, KeyCiphersRunLowestBitFirstAndAreUndoneHighestFirst) {
  std::string key = "abc";
  EXPECT_EQ(KeyCiphers().EncodeKey(key, 0x10), 0x10u);  // nothing registered by default
  EXPECT_EQ(KeyCiphers().EncodeKey(key, 0), 0u);

  TKeyCipherList list;
  list.Register(1, std::make_shared<TLetterCipher>('x'));
  list.Register(4, std::make_shared<TLetterCipher>('y'));
  EXPECT_EQ(list.EncodeKey(key, 0x12), 0u);
  EXPECT_EQ(key, "abcxy");
  EXPECT_EQ(list.DecodeKey(key, 0x12), 0u);
  EXPECT_EQ(key, "abc");

  EXPECT_EQ(list.EncodeKey(key, 0x13), 0x1u);  // bit 0 has no cipher
  key = "ab!";
  EXPECT_EQ(list.EncodeKey(key, 0x12), 0x2u);  // the cipher of bit 1 fails
  key = "abcx";
  EXPECT_EQ(list.DecodeKey(key, 0x12), 0x10u);  // "x" is not the letter of bit 4
  list.Register(4, nullptr);
  EXPECT_EQ(list.DecodeKey(key, 0x10), 0x10u);
}

}  // namespace
}  // namespace veltra
