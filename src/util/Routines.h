#pragma once
// Small services shared by every layer: bit masks, byte comparison, the block search of legacy
// streams and their little-endian readers, the clock, date stamps and random identifiers.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/Guid.h"
#include "platform/Platform.h"
#include "util/Streams.h"

namespace veltra {

// True when the first n bytes of a and b are equal.
bool CompareBytes(const void* a, const void* b, size_t n);

// Settings whose values are sets hold them as 64-bit masks.
int32_t CountBits64(uint64_t mask);
// The index 0-63 of the lowest set bit; -1 for an empty mask.
int32_t LowestBit64(uint64_t mask);

// The 40-byte header of a block in a legacy stream. Blocks form a chain: each header gives the
// distance from its own start to the next header's; a header whose two first words are equal is
// the last of its chain.
#pragma pack(push, 1)
struct StreamBlockHeader {
  uint32_t a;
  uint32_t distance;  // B
  uint32_t reserved8;
  uint32_t version;   // read by the blocks' owners
  Guid id;
  uint8_t reserved32[8];
};
#pragma pack(pop)
static_assert(sizeof(StreamBlockHeader) == 40);
static_assert(offsetof(StreamBlockHeader, version) == 12);
static_assert(offsetof(StreamBlockHeader, id) == 16);

// Searches the chain that starts at the stream's position for the block with that identifier and
// answers its position, the stream standing just behind its header, which `header` receives.
// Otherwise answers -1 and leaves the stream where it was; `header` then holds the first header
// read. The search ends at the last header of the chain, at a distance of 0, at a distance that
// leads past the end of the stream, and where fewer than 40 bytes are left.
int64_t FindStreamBlock(TStream& stream, const Guid& id, StreamBlockHeader& header);

// Little-endian values at the stream's position; EReadError when the stream ends first.
double ReadDouble(TStream& stream);
int32_t ReadInt32(TStream& stream);
uint32_t ReadUInt32(TStream& stream);
int64_t ReadInt64(TStream& stream);

// Seconds of a monotonic clock from an arbitrary origin.
using platform::HighResSeconds;

// A date and time as five 16-bit words (the driver's calibration stamp).
struct PackedStamp {
  uint16_t year = 0;
  uint16_t month = 0;
  uint16_t day = 0;
  uint16_t hour = 0;
  uint16_t minute = 0;
};

// The stamp as a date-time (days since 1899-12-30, the time of day as fraction, seconds and
// milliseconds 0); nothing when it names no valid date (year 1-9999) and time.
std::optional<double> PackedStampToDateTime(const PackedStamp& stamp);

// `length` characters, each drawn uniformly from "1234567890", the upper- and lower-case letters
// and "_".
std::string RandomIdentifier(uint8_t length);

}  // namespace veltra
