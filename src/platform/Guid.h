#pragma once
// The 16-byte interface and class identifier of the system, in the memory layout the driver
// records and the operating system use (data1..data3 little-endian, data4 as bytes).

#include <cstdint>
#include <string>
#include <stdexcept>
#include <string_view>

namespace veltra {

struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  uint8_t data4[8] = {};

  friend constexpr bool operator==(const Guid&, const Guid&) = default;

  // Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}". In a constant expression a malformed text is a
  // compile error; at run time it throws std::invalid_argument.
  static constexpr Guid Parse(std::string_view text);

  // The same braced upper-case form that Parse reads.
  std::string ToString() const;

 private:
  static constexpr uint32_t HexDigits(std::string_view text, size_t first, size_t count);
};

static_assert(sizeof(Guid) == 16, "Guid is the 16-byte binary identifier");

constexpr uint32_t Guid::HexDigits(std::string_view text, size_t first, size_t count) {
  uint32_t value = 0;
  for (size_t i = first; i < first + count; ++i) {
    const char c = text[i];
    uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else {
      throw std::invalid_argument("Guid: not a hexadecimal digit");
    }
    value = (value << 4) | digit;
  }
  return value;
}

constexpr Guid Guid::Parse(std::string_view text) {
  if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
      text[19] != '-' || text[24] != '-') {
    throw std::invalid_argument("Guid: expected {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
  }
  Guid g;
  g.data1 = HexDigits(text, 1, 8);
  g.data2 = static_cast<uint16_t>(HexDigits(text, 10, 4));
  g.data3 = static_cast<uint16_t>(HexDigits(text, 15, 4));
  g.data4[0] = static_cast<uint8_t>(HexDigits(text, 20, 2));
  g.data4[1] = static_cast<uint8_t>(HexDigits(text, 22, 2));
  for (size_t i = 0; i < 6; ++i) {
    g.data4[2 + i] = static_cast<uint8_t>(HexDigits(text, 25 + 2 * i, 2));
  }
  return g;
}

}  // namespace veltra
