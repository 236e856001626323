#include "util/Routines.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

namespace veltra {
namespace {

TEST(Routines, BitsAndBytes) {
  const struct {
    uint64_t mask;
    int32_t count;
    int32_t lowest;
  } cases[] = {
      {0, 0, -1}, {1, 1, 0}, {0x8000000000000000, 1, 63}, {~uint64_t{0}, 64, 0}, {0x50, 2, 4},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CountBits64(c.mask), c.count) << c.mask;
    EXPECT_EQ(LowestBit64(c.mask), c.lowest) << c.mask;
  }
  const char a[] = "abcdef";
  const char b[] = "abcxef";
  EXPECT_TRUE(CompareBytes(a, b, 3));
  EXPECT_FALSE(CompareBytes(a, b, 4));
  EXPECT_TRUE(CompareBytes(a, nullptr, 0));
}

const Guid kWanted = Guid::Parse("{11111111-2222-3333-4444-555555555555}");
const Guid kOther = Guid::Parse("{99999999-2222-3333-4444-555555555555}");

// Three leading bytes, then a chain of block headers with the given (A, B, GUID).
struct Block {
  uint32_t a;
  uint32_t distance;
  Guid id;
  uint32_t length;  // bytes of this block in the stream, at least 40
};

constexpr int64_t kLead = 3;

std::vector<uint8_t> MakeChain(const std::vector<Block>& blocks) {
  std::vector<uint8_t> bytes(kLead, 0xEE);
  for (const Block& b : blocks) {
    StreamBlockHeader h{};
    h.a = b.a;
    h.distance = b.distance;
    h.version = static_cast<uint32_t>(bytes.size());  // marks which header was found
    h.id = b.id;
    const size_t at = bytes.size();
    bytes.resize(at + b.length, 0);
    std::memcpy(bytes.data() + at, &h, sizeof h);
  }
  return bytes;
}

TEST(Routines, FindStreamBlockFollowsTheChain) {
  TMemoryStream stream(MakeChain({{1, 48, kOther, 48}, {2, 40, kOther, 40}, {3, 60, kWanted, 60}}));
  stream.SetPosition(kLead);
  StreamBlockHeader header{};
  EXPECT_EQ(FindStreamBlock(stream, kWanted, header), 3 + 48 + 40);
  EXPECT_EQ(header.version, 3u + 48 + 40);
  EXPECT_EQ(stream.Position(), 3 + 48 + 40 + 40) << "behind the found header";

  stream.SetPosition(3);
  EXPECT_EQ(FindStreamBlock(stream, kOther, header), 3);
  EXPECT_EQ(stream.Position(), 43);
}

TEST(Routines, FindStreamBlockEndsAndRestoresThePosition) {
  const std::vector<Block> chains[] = {
      {{5, 5, kOther, 48}, {3, 60, kWanted, 60}},   // the first header ends the chain
      {{1, 0, kOther, 48}, {3, 60, kWanted, 60}},   // a distance of 0
      {{1, 4000, kOther, 48}, {3, 60, kWanted, 60}},  // a distance past the end
      {{1, 48, kOther, 48}, {2, 20, kOther, 40}},   // the last header is cut short
  };
  for (const auto& chain : chains) {
    TMemoryStream stream(MakeChain(chain));
    stream.SetPosition(kLead);
    StreamBlockHeader header{};
    EXPECT_EQ(FindStreamBlock(stream, kWanted, header), -1);
    EXPECT_EQ(stream.Position(), 3);
    EXPECT_EQ(header.version, 3u) << "the first header read";
  }
  TMemoryStream shortStream(std::vector<uint8_t>(39, 0));
  StreamBlockHeader header{};
  EXPECT_EQ(FindStreamBlock(shortStream, kWanted, header), -1);
  EXPECT_EQ(shortStream.Position(), 0);
}

TEST(Routines, LittleEndianReaders) {
  std::vector<uint8_t> bytes(24);
  const double d = -2.5;
  const int32_t i = -7;
  const uint32_t u = 0xFFFFFFF0;
  const int64_t l = -1234567890123;
  std::memcpy(bytes.data(), &d, 8);
  std::memcpy(bytes.data() + 8, &i, 4);
  std::memcpy(bytes.data() + 12, &u, 4);
  std::memcpy(bytes.data() + 16, &l, 8);
  TMemoryStream stream(bytes);
  EXPECT_EQ(ReadDouble(stream), d);
  EXPECT_EQ(ReadInt32(stream), i);
  EXPECT_EQ(ReadUInt32(stream), u);
  EXPECT_EQ(ReadInt64(stream), l);
  EXPECT_THROW(ReadInt32(stream), EReadError);
}

TEST(Routines, PackedStampToDateTime) {
  const struct {
    PackedStamp stamp;
    double expected;
  } valid[] = {
      {{1899, 12, 30, 0, 0}, 0.0},
      {{1900, 1, 1, 6, 0}, 2.25},
      {{1980, 1, 1, 0, 0}, 29221.0},
      {{2000, 2, 29, 12, 0}, 36585.5},
      {{2009, 3, 15, 23, 59}, 39887.0 + 1439.0 / 1440.0},
      {{1899, 12, 29, 6, 0}, -1.25},
      {{1, 1, 1, 0, 0}, -693593.0},
      {{9999, 12, 31, 0, 0}, 2958465.0},
  };
  for (const auto& c : valid) {
    const auto result = PackedStampToDateTime(c.stamp);
    ASSERT_TRUE(result) << c.stamp.year;
    EXPECT_EQ(*result, c.expected) << c.stamp.year << '-' << c.stamp.month << '-' << c.stamp.day;
  }
  const PackedStamp invalid[] = {
      {}, {0, 1, 1, 0, 0}, {10000, 1, 1, 0, 0}, {2001, 13, 1, 0, 0}, {2001, 2, 29, 0, 0},
      {1900, 2, 29, 0, 0}, {2001, 4, 31, 0, 0}, {2001, 1, 0, 0, 0}, {2001, 1, 1, 24, 0},
      {2001, 1, 1, 0, 60},
  };
  for (const auto& s : invalid) EXPECT_FALSE(PackedStampToDateTime(s)) << s.year << '-' << s.month;
}

TEST(Routines, RandomIdentifierAndClock) {
  const std::string alphabet = "1234567890ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_";
  EXPECT_EQ(RandomIdentifier(0), "");
  std::set<char> seen;
  for (int i = 0; i < 200; ++i) {
    const std::string id = RandomIdentifier(255);
    ASSERT_EQ(id.size(), 255u);
    for (char c : id) {
      ASSERT_NE(alphabet.find(c), std::string::npos) << c;
      seen.insert(c);
    }
  }
  EXPECT_EQ(seen.size(), alphabet.size()) << "every character is drawn";
  EXPECT_NE(RandomIdentifier(8), RandomIdentifier(8));

  const double before = HighResSeconds();
  EXPECT_GE(HighResSeconds(), before);
}

}  // namespace
}  // namespace veltra
