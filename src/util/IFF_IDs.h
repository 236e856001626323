#pragma once
// Chunk identifiers: four ASCII characters, held as the 32-bit little-endian number whose bytes in
// memory order spell them ("SACU" is 0x55434153).

#include <cstdint>

namespace veltra {

using TChunkID = uint32_t;

constexpr TChunkID MakeChunkID(const char (&text)[5]) {
  return static_cast<TChunkID>(static_cast<uint8_t>(text[0])) |
         static_cast<TChunkID>(static_cast<uint8_t>(text[1])) << 8 |
         static_cast<TChunkID>(static_cast<uint8_t>(text[2])) << 16 |
         static_cast<TChunkID>(static_cast<uint8_t>(text[3])) << 24;
}

// Containers: their data begins with a type ID, followed by child chunks.
inline constexpr TChunkID ID_FORM = MakeChunkID("FORM");
inline constexpr TChunkID ID_RIFF = MakeChunkID("RIFF");
inline constexpr TChunkID ID_LIST = MakeChunkID("LIST");
inline constexpr TChunkID ID_CAT = MakeChunkID("CAT ");
// Free space.
inline constexpr TChunkID ID_JUNK = MakeChunkID("JUNK");
// The type of the virtual root node, and the type of a container whose type is not yet known.
inline constexpr TChunkID ID_ROOT = MakeChunkID("ROOT");
inline constexpr TChunkID ID_SPACES = MakeChunkID("    ");
// "No identifier": a data chunk written into the given chunk itself.
inline constexpr TChunkID ID_NONE = 0;

// Settings chunks of instruments and channels (current and next) and of triggers.
inline constexpr TChunkID ID_SETTINGS_CUR = MakeChunkID("SACU");
inline constexpr TChunkID ID_SETTINGS_NEXT = MakeChunkID("SANE");
inline constexpr TChunkID ID_TRIGGER_CUR = MakeChunkID("TRCU");
inline constexpr TChunkID ID_TRIGGER_NEXT = MakeChunkID("TRNE");

constexpr bool IsContainerID(TChunkID id) {
  return id == ID_FORM || id == ID_RIFF || id == ID_LIST || id == ID_CAT;
}

static_assert(ID_SETTINGS_CUR == 0x55434153 && ID_SETTINGS_NEXT == 0x454E4153);
static_assert(ID_TRIGGER_CUR == 0x55435254 && ID_TRIGGER_NEXT == 0x454E5254);

}  // namespace veltra
