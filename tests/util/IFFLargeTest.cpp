// Chunk streams of more than 4 GiB, held sparsely: growth refused at the 32-bit size limit, and
// positions beyond 2^32 relocated by edits.

#include <gtest/gtest.h>

#include <string>

#include "IFFTestSupport.h"
#include "SparseStream.h"
#include "util/IFF.h"

namespace veltra {
namespace {

using test::U32;

constexpr uint32_t kJunkSize = 0xFFFFFF00u;
constexpr uint32_t kBigSize = 4 + 8 + kJunkSize + 12;  // type, JUNK, TAIL(4)
constexpr int64_t kTailPosition = 12 + 8 + int64_t{kJunkSize};
constexpr int64_t kEndPosition = 8 + int64_t{kBigSize};

// FORM BIG {JUNK of almost 4 GiB, TAIL "abcd"}, FORM END {}.
void WriteLargeFile(test::TSparseStream& stream) {
  const auto put = [&](int64_t position, const std::string& bytes) {
    stream.SetPosition(position);
    stream.WriteBuffer(bytes.data(), bytes.size());
  };
  put(0, "FORM" + U32(kBigSize) + "BIG " + "JUNK" + U32(kJunkSize));
  put(kTailPosition, "TAIL" + U32(4) + "abcd");
  put(kEndPosition, "FORM" + U32(4) + "END ");
  stream.SetPosition(0);
}

std::string Tree(int64_t tail, int64_t end) {
  return "FORM:BIG @0(JUNK@12,TAIL@" + std::to_string(tail) + "),FORM:END @" + std::to_string(end) + "()";
}

TEST(IFFStreamLarge, GrowthStopsAtTheThirtyTwoBitSizeLimit) {
  test::TSparseStream stream;
  WriteLargeFile(stream);
  TIFFStream iff(stream, true);
  ASSERT_EQ(test::Describe(iff.GetRoot()), Tree(kTailPosition, kEndPosition));
  TIFFChunk* big = iff.GetRoot()->firstChild;
  TIFFChunk* tail = big->firstChild->next;

  // 231 bytes are left below 2^32: the tail may take 230 more (padded to an even size) ...
  const uint32_t room = 0xFFFFFFFFu - kBigSize;
  iff.SetChunkSize(tail, 4 + room - 1);
  EXPECT_EQ(iff.GetChunkSize(big), 0xFFFFFFFEu);
  EXPECT_EQ(test::ReparseDifference(stream, 0, iff), "");
  // ... but no more, neither by growing it nor by adding behind it.
  const int64_t size = stream.Size();
  for (const auto& grow : {+[](TIFFStream& s, TIFFChunk* c) { s.SetChunkSize(c, 4 + 0xFFFFFFFFu - kBigSize); },
                           +[](TIFFStream& s, TIFFChunk* c) { s.AddChunk(c->parent, MakeChunkID("MORE"), 0); },
                           +[](TIFFStream& s, TIFFChunk* c) { s.AddChunkAfter(c, MakeChunkID("MORE"), 0); }}) {
    try {
      grow(iff, tail);
      ADD_FAILURE() << "no exception";
    } catch (const EIFFError& e) {
      EXPECT_STREQ(e.what(), "IFF chunk cannot grow beyond 4 GiB.");
    }
    EXPECT_EQ(stream.Size(), size);
    EXPECT_EQ(iff.GetChunkSize(big), 0xFFFFFFFEu);
  }
  EXPECT_EQ(test::ReparseDifference(stream, 0, iff), "");
  EXPECT_LT(stream.HeldPages(), 8u);
}

TEST(IFFStreamLarge, EditsRelocateChunksBeyondTwoToTheThirtyTwo) {
  test::TSparseStream stream;
  WriteLargeFile(stream);
  TIFFStream iff(stream, true);
  TIFFChunk* big = iff.GetRoot()->firstChild;
  TIFFChunk* tail = big->firstChild->next;
  TIFFChunk* end = big->next;

  iff.AddChunk(end, MakeChunkID("DATA"), 3);
  iff.SetChunkSize(tail, 9);  // 6 more bytes move FORM END
  EXPECT_EQ(end->position, kEndPosition + 6);
  EXPECT_EQ(end->firstChild->position, kEndPosition + 6 + 12);
  EXPECT_EQ(test::ReparseDifference(stream, 0, iff), "");

  TIFFChunk* junk = big->firstChild;
  iff.RemoveChunk(junk);  // nearly 4 GiB close up
  EXPECT_EQ(test::Describe(iff.GetRoot()), "FORM:BIG @0(TAIL@12),FORM:END @30(DATA@42)");
  EXPECT_EQ(stream.Size(), 30 + 12 + 12);
  char data[4];
  ASSERT_TRUE(iff.ReadChunkData(tail, data, 4));
  EXPECT_EQ(std::string(data, 4), "abcd");
  EXPECT_EQ(test::ReparseDifference(stream, 0, iff), "");
}

}  // namespace
}  // namespace veltra
