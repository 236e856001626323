#include "util/Blowfish.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace veltra {
namespace {

std::vector<uint8_t> Hex(const std::string& text) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < text.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
  return bytes;
}

uint32_t Word(const std::vector<uint8_t>& bytes, size_t at) {
  return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

TEST(Blowfish, PublishedTestVectors) {
  struct Vector {
    const char* key;
    const char* plain;
    const char* cipher;
  };
  const Vector vectors[] = {
      {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
      {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
      {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
      {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
      {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
      {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
      {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
      {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
      // Keys of other lengths.
      {"F0", "FEDCBA9876543210", "F9AD597C49DB005E"},
      {"F0E1", "FEDCBA9876543210", "E91D21C1D961A6D6"},
      {"F0E1D2", "FEDCBA9876543210", "E9C2B70A1BC65CF3"},
  };
  for (const Vector& v : vectors) {
    SCOPED_TRACE(v.key);
    const TBlowfish cipher(Hex(v.key));
    const std::vector<uint8_t> plain = Hex(v.plain);
    const std::vector<uint8_t> expected = Hex(v.cipher);
    uint32_t left = Word(plain, 0);
    uint32_t right = Word(plain, 4);
    cipher.Encipher(left, right);
    EXPECT_EQ(left, Word(expected, 0));
    EXPECT_EQ(right, Word(expected, 4));
  }
}

TEST(Blowfish, CounterModeRunsOnAcrossCallsOfAnyLength) {
  const std::string key = "Kx7_q9Za";
  // Keystream block n is the encipherment of n as a 64-bit big-endian number.
  const TBlowfish cipher(std::vector<uint8_t>(key.begin(), key.end()));
  std::vector<uint8_t> expected;
  for (uint32_t n = 0; n < 4; ++n) {
    uint32_t left = 0;
    uint32_t right = n;
    cipher.Encipher(left, right);
    for (uint32_t word : {left, right}) {
      for (int i = 0; i < 4; ++i) expected.push_back(static_cast<uint8_t>(word >> (24 - 8 * i)));
    }
  }

  std::vector<uint8_t> data(expected.size(), 0);
  TBlowfishCounterMode pieces(key);
  pieces.Apply(data.data(), 3);
  pieces.Apply(data.data() + 3, 10);
  pieces.Apply(data.data() + 13, data.size() - 13);
  EXPECT_EQ(data, expected);

  // Applying the same keystream again gives the plain bytes back.
  TBlowfishCounterMode again(key);
  again.Apply(data.data(), data.size());
  EXPECT_EQ(data, std::vector<uint8_t>(expected.size(), 0));

  EXPECT_THROW(TBlowfishCounterMode(""), std::invalid_argument);
}

}  // namespace
}  // namespace veltra
