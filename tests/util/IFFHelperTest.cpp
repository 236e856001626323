#include "util/IFFHelper.h"

#include <gtest/gtest.h>

#include <string>

#include "IFFTestSupport.h"

namespace veltra {
namespace {

using test::Bytes;
using test::Chunk;
using test::Container;
using test::Describe;

constexpr TChunkID kA = MakeChunkID("A   ");
constexpr TChunkID kB = MakeChunkID("B   ");
constexpr TChunkID kC = MakeChunkID("C   ");
constexpr TChunkID kD = MakeChunkID("D   ");
constexpr TChunkID kW = MakeChunkID("W   ");
constexpr TChunkID kS = MakeChunkID("S   ");

TEST(IFFHelper, TypedValuesAreLittleEndianChunksAndReadBack) {
  TMemoryStream stream;
  TIFFStream iff(stream, true);
  TIFFHelper helper(iff, iff.AddContainer(iff.GetRoot(), ID_FORM, MakeChunkID("TEST")));
  helper.WriteWord(kA, 0xBEEF);
  helper.WriteInteger(kB, -2);
  helper.WriteSingle(kC, 1.5f);
  helper.WriteInt64(kD, 0x0102030405060708);
  helper.WriteWideString(kW, "Grüße \xF0\x9F\x8E\xB5");  // a letter outside the BMP: a surrogate pair
  helper.WriteAnsiString(kS, "plain");
  helper.WriteInteger(kB, 7);  // replaces

  EXPECT_EQ(stream.Bytes(),
            Bytes(Container("FORM", "TEST",
                            {Chunk("A   ", "\xEF\xBE"), Chunk("B   ", std::string("\x07\0\0\0", 4)),
                             Chunk("C   ", std::string("\0\0\xC0\x3F", 4)), Chunk("D   ", "\x08\x07\x06\x05\x04\x03\x02\x01"),
                             Chunk("W   ", std::string("G\0r\0\xFC\0\xDF\0" "e\0 \0\x3C\xD8\xB5\xDF", 16)),
                             Chunk("S   ", "plain")})));

  EXPECT_EQ(helper.ReadWord(kA), 0xBEEF);
  EXPECT_EQ(helper.ReadInteger(kB), 7);
  EXPECT_EQ(helper.ReadSingle(kC), 1.5f);
  EXPECT_EQ(helper.ReadInt64(kD), 0x0102030405060708);
  EXPECT_EQ(helper.ReadWideString(kW), "Grüße \xF0\x9F\x8E\xB5");
  EXPECT_EQ(helper.ReadAnsiString(kS), "plain");

  // Missing chunks and chunks too short for the value answer the default.
  const TChunkID missing = MakeChunkID("NONE");
  EXPECT_EQ(helper.ReadInteger(missing, 42), 42);
  EXPECT_EQ(helper.ReadInt64(kA, -1), -1);
  EXPECT_EQ(helper.ReadWideString(missing, "default"), "default");
  EXPECT_EQ(helper.ReadAnsiString(missing, "default"), "default");
}

TEST(IFFHelper, DefaultsRemoveChunksAndEmptyStringsLeaveEmptyChunks) {
  TMemoryStream stream;
  TIFFStream iff(stream, true);
  TIFFChunk* form = iff.AddContainer(iff.GetRoot(), ID_FORM, MakeChunkID("TEST"));
  TIFFHelper helper(iff, form);
  helper.WriteIntegerUnlessDefault(kA, 5, 0);
  helper.WriteSingleUnlessDefault(kB, 0.25f, 0.25f);  // default: nothing written
  helper.WriteWideStringUnlessDefault(kW, "x", "");
  helper.WriteAnsiString(kS, "");
  EXPECT_EQ(Describe(iff.GetRoot()), "FORM:TEST@0(A   @12,W   @24,S   @34)");
  EXPECT_EQ(iff.GetChunkSize(iff.GetChild(form, 2)), 0u);
  EXPECT_EQ(helper.ReadAnsiString(kS, "default"), "");

  helper.WriteIntegerUnlessDefault(kA, 0, 0);
  helper.WriteWideStringUnlessDefault(kW, "", "");
  helper.WriteWideString(kS, "");  // an existing chunk shrinks to empty
  helper.WriteWordUnlessDefault(kC, 1, 1);
  helper.WriteInt64UnlessDefault(kD, 3, 1);
  EXPECT_EQ(Describe(iff.GetRoot()), "FORM:TEST@0(S   @12,D   @20)");

  helper.Remove(kD);
  helper.Remove(kD);
  char raw[3] = {};
  EXPECT_EQ(helper.WriteData(kA, "abc", 3), form->firstChild->next);
  EXPECT_TRUE(helper.ReadData(kA, raw, 3));
  EXPECT_EQ(std::string(raw, 3), "abc");
  EXPECT_NE(helper.WriteData(kA, "de", 2, false), form->firstChild->next);  // without replace: added
  EXPECT_EQ(iff.CountChunks(form, 0), 3);
}

TEST(IFFHelper, TextConversionReplacesWhatItCannotCarry) {
  TMemoryStream stream;
  TIFFStream iff(stream, true);
  TIFFHelper helper(iff, iff.AddContainer(iff.GetRoot(), ID_FORM, MakeChunkID("TEST")));
  helper.WriteWideString(kW, "a\xC3");  // a cut UTF-8 sequence
  EXPECT_EQ(helper.ReadWideString(kW), "a\xEF\xBF\xBD");
  helper.WriteData(kS, "\x00\xD8z", 3);  // an unpaired surrogate, then an odd byte
  EXPECT_EQ(helper.ReadWideString(kS), "\xEF\xBF\xBD");
  // ANSI strings hold 8-bit Windows-1252 characters; others become '?'.
  helper.WriteAnsiString(kS, "Grüße € √");
  char ansi[9] = {};
  ASSERT_TRUE(helper.ReadData(kS, ansi, 9));
  EXPECT_EQ(std::string(ansi, 9), "Gr\xFC\xDF" "e \x80 ?");
  EXPECT_EQ(helper.ReadAnsiString(kS), "Grüße € ?");
}

TEST(IFFHelper, ByteStringsKeepEveryByte) {
  // An enciphered key is arbitrary bytes, not text.
  std::string key;
  for (int b = 255; b >= 0; --b) key += static_cast<char>(b);
  TMemoryStream stream;
  TIFFStream iff(stream, true);
  TIFFHelper helper(iff, iff.AddContainer(iff.GetRoot(), ID_FORM, MakeChunkID("TEST")));
  helper.WriteByteString(MakeChunkID("KEY "), key);
  EXPECT_EQ(stream.Bytes(), Bytes(Container("FORM", "TEST", {Chunk("KEY ", key)})));
  EXPECT_EQ(helper.ReadByteString(MakeChunkID("KEY ")), key);
  EXPECT_EQ(helper.ReadByteString(kS, "default"), "default");
  // Read as text, the same bytes come back when written as text.
  helper.WriteAnsiString(kS, helper.ReadAnsiString(MakeChunkID("KEY ")));
  EXPECT_EQ(helper.ReadByteString(kS), key);
}

}  // namespace
}  // namespace veltra
