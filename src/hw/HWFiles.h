#pragma once
// What the hardware objects' loaders and savers share: their flags, chunk identifiers and small
// chunk helpers.
//
// Legacy loaders read the block format of older files: a chain of blocks, one per class level of
// an object, found by the class's identifier. The low 12 bits of the flags count the class levels
// still to load (0: all of them); a loader that finds its block loads it and, unless the count was
// 1, hands the rest to the level below with the count decremented. It answers the levels loaded.

#include <cstdint>
#include <string>

#include "signals/SignalBaseInterfaces.h"
#include "signals/SignalFiles.h"
#include "util/IFF.h"

namespace veltra {

// The flags are those of the signals (kFileNoData: loading leaves the current settings and the
// samples alone, saving stores no samples), and the class levels of the legacy loaders.
inline constexpr uint32_t kClassLevels = 0xFFF;

// The flags for the class level below: the count of levels decremented, 0 (all) kept.
constexpr uint32_t FlagsForLevelBelow(uint32_t flags) {
  return (flags & kClassLevels) == 0 ? flags : flags - 1;
}
// True when the level below is to be loaded too.
constexpr bool LoadsLevelBelow(uint32_t flags) { return (flags & kClassLevels) != 1; }

// The container of an instrument, and the probe gain of a channel; the other chunks an instrument
// writes are those of the signals (SignalFiles.h).
inline constexpr TChunkID kInstrumentForm = MakeChunkID("INST");
inline constexpr TChunkID kGainID = MakeChunkID("GAIN");

// The record of one settings object in a legacy block.
inline constexpr int64_t kSettingsRecordSize = 256;

// The child of `node` with that identifier (not searching deeper), or null.
TIFFChunk* FindChild(IIFFStream& iff, TIFFChunk* node, TChunkID id);

// The text of the error a legacy loader raises for a block version it cannot read.
std::string UnsupportedVersionText(const std::string& className);

}  // namespace veltra
