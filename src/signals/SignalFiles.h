#pragma once
// How signals are stored: the chunk identifiers of a signal's container and the process-wide mask
// of key-cipher failures. The reading and writing itself belongs to the signal classes
// (Signals.h, ISignal::LoadFromIFF and SaveToIFF).
//
// A source is a "RIFF" container of type "SRC " holding one chunk per attribute that differs from
// its default (numbers little-endian, texts UTF-16), and its samples: "FMT " (12 bytes: 32-bit 0,
// the stored type as a 16-bit VARTYPE, two bytes of padding, the 32-bit "DADI" value) followed by
// "DATA" (plain) or by "CDAT", "KEY " and "DAPK" (enciphered with a fresh key per save, the key
// itself passed through the key ciphers of util/IFFData.h). Samples are stored in the narrowest
// type that keeps them (ChooseStorageType, util/DataTypes.h).

#include <cstdint>

#include "util/IFF_IDs.h"

namespace veltra {

// The signal's own chunks.
inline constexpr TChunkID ID_ALIAS = MakeChunkID("AKA ");
inline constexpr TChunkID ID_NAME = MakeChunkID("NAME");
inline constexpr TChunkID ID_SHORTNAME = MakeChunkID("NMSH");
inline constexpr TChunkID ID_DESCRIPTION = MakeChunkID("DESC");
inline constexpr TChunkID ID_AUTHOR = MakeChunkID("AUTH");
inline constexpr TChunkID ID_CLASSID = MakeChunkID("CLID");
inline constexpr TChunkID ID_NUMBER = MakeChunkID("NUM ");
// A source's attributes, in the order they are written.
inline constexpr TChunkID ID_UNIT = MakeChunkID("UNIT");
inline constexpr TChunkID ID_UNITLOCKED = MakeChunkID("ULCK");
inline constexpr TChunkID ID_SPAN = MakeChunkID("BNDS");  // 16 bytes: low, high
inline constexpr TChunkID ID_FIXEDSPAN = MakeChunkID("FIXR");
inline constexpr TChunkID ID_SNAPPEDSPAN = MakeChunkID("SNPR");
inline constexpr TChunkID ID_DATATYPE = MakeChunkID("DATY");
inline constexpr TChunkID ID_DOMAIN = MakeChunkID("DOMN");
inline constexpr TChunkID ID_DADI = MakeChunkID("DADI");
inline constexpr TChunkID ID_COUNT = MakeChunkID("DASI");
inline constexpr TChunkID ID_PRESAMPLES = MakeChunkID("PRSA");
inline constexpr TChunkID ID_STARTVALUE = MakeChunkID("SVAL");
inline constexpr TChunkID ID_SAMPLEFREQUENCY = MakeChunkID("SAFR");  // or the frequency step
inline constexpr TChunkID ID_COLOUR = MakeChunkID("COLR");
inline constexpr TChunkID ID_COLOURMODE = MakeChunkID("COLM");
inline constexpr TChunkID ID_RESOLUTION = MakeChunkID("RESO");
inline constexpr TChunkID ID_OUTPUTNUMBER = MakeChunkID("OUT#");
inline constexpr TChunkID ID_TIMESTAMP = MakeChunkID("TIME");
// The samples.
inline constexpr TChunkID ID_FORMAT = MakeChunkID("FMT ");
inline constexpr TChunkID ID_DATA = MakeChunkID("DATA");
inline constexpr TChunkID ID_KEYEDDATA = MakeChunkID("CDAT");
inline constexpr TChunkID ID_KEY = MakeChunkID("KEY ");
inline constexpr TChunkID ID_KEYMASK = MakeChunkID("DAPK");
// Container types.
inline constexpr TChunkID ID_SOURCE = MakeChunkID("SRC ");
inline constexpr TChunkID ID_SINK = MakeChunkID("SINK");
// A multi-input multi-output object: its members take the span actions from it unless they hold
// their own.
inline constexpr TChunkID ID_MIMO = MakeChunkID("MIMO");
inline constexpr TChunkID ID_MSMO = MakeChunkID("MSMO");

// The key-cipher bits (util/IFFData.h) that were missing or failed since the mask was last cleared,
// OR-ed in by every keyed write and read of samples in the process. A key failure never fails the
// write or read itself: the samples are left out (or not taken) instead.
uint32_t KeyFailureMask();
// Clears the mask and answers what it held.
uint32_t ClearKeyFailureMask();
// Adds failed bits to the mask.
void AddKeyFailures(uint32_t bits);

}  // namespace veltra
