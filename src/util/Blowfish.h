#pragma once
// The Blowfish block cipher (64-bit blocks, keys of 1 to 72 bytes) and the counter mode in which
// data chunks are enciphered.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace veltra {

class TBlowfish {
 public:
  // Keys longer than 72 bytes use their first 72 bytes. An empty key raises std::invalid_argument.
  explicit TBlowfish(std::span<const uint8_t> key);

  // Enciphers one block given as two 32-bit halves (the big-endian words of the 8 bytes).
  void Encipher(uint32_t& left, uint32_t& right) const;

 private:
  uint32_t F(uint32_t x) const;

  std::array<uint32_t, 18> p_;
  std::array<std::array<uint32_t, 256>, 4> s_;
};

// Counter mode: the keystream is the encipherment of block numbers 0, 1, 2, ... as 64-bit
// big-endian values. Apply XORs the next bytes of the keystream into the data, so any byte count
// works and successive calls continue where the last one ended; enciphering and deciphering are
// the same operation.
class TBlowfishCounterMode {
 public:
  explicit TBlowfishCounterMode(std::string_view key);
  void Apply(uint8_t* data, size_t count);

 private:
  TBlowfish cipher_;
  uint64_t counter_ = 0;
  std::array<uint8_t, 8> block_{};
  size_t used_ = 8;  // keystream bytes of block_ already consumed
};

}  // namespace veltra
