// Edits of streams that lax writers or damage left in shapes the parse accepts: after every edit
// the stream must parse to the tree the editor shows, the chunks behind the edit must keep their
// data, and the containers around the edit must cover their last child's pad byte.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "IFFTestSupport.h"
#include "util/IFF.h"

namespace veltra {
namespace {

using test::Bytes;
using test::Chunk;
using test::Container;
using test::U32;

// Each shape holds one chunk "DATA" of one byte inside a container, and a FORM B whose chunk
// "KEEP" holds "keep".
struct Shape {
  const char* name;
  std::string bytes;
};

const std::string kFormB = Container("FORM", "B   ", {Chunk("KEEP", "keep")});
const std::string kData = "DATA" + U32(1) + "x";  // without its pad byte

const Shape kShapes[] = {
    {"well-formed", Container("FORM", "A   ", {Chunk("DATA", "x")}) + kFormB},
    // The FORM's size 13 leaves out DATA's pad byte, which the FORM's own pad covers.
    {"odd container", "FORM" + U32(13) + "A   " + kData + '\0' + kFormB},
    {"odd containers nested", "FORM" + U32(25) + "A   " + "LIST" + U32(13) + "SUB " + kData + '\0' + kFormB},
    {"odd container last, its pad missing", kFormB + "FORM" + U32(13) + "A   " + kData},
    {"trailing fragment in the container", Chunk("FORM", "A   " + Chunk("DATA", "x") + "FRAG") + kFormB},
    {"damaged child behind DATA", Chunk("FORM", "A   " + Chunk("DATA", "x") + "BAD " + U32(99) + "zz") + kFormB},
    {"fragment at the end of the stream", Container("FORM", "A   ", {Chunk("DATA", "x")}) + kFormB + "JUNK" + U32(2) + "ab"},
};

struct Edit {
  const char* name;
  // Applies the edit to DATA (or around it); answers the container whose size the edit changed.
  std::function<TIFFChunk*(TIFFStream&, TIFFChunk* data)> apply;
};

const Edit kEdits[] = {
    {"remove DATA", [](TIFFStream& iff, TIFFChunk* data) {
       TIFFChunk* parent = data->parent;
       iff.RemoveChunk(data);
       return parent;
     }},
    {"grow DATA to 2", [](TIFFStream& iff, TIFFChunk* data) { iff.SetChunkSize(data, 2); return data->parent; }},
    {"grow DATA to 3", [](TIFFStream& iff, TIFFChunk* data) { iff.SetChunkSize(data, 3); return data->parent; }},
    {"shrink DATA to 0", [](TIFFStream& iff, TIFFChunk* data) { iff.SetChunkSize(data, 0); return data->parent; }},
    {"append to the container", [](TIFFStream& iff, TIFFChunk* data) {
       iff.AddChunk(data->parent, MakeChunkID("NEW "), 3);
       return data->parent;
     }},
    {"insert behind DATA", [](TIFFStream& iff, TIFFChunk* data) {
       iff.AddChunkAfterWithData(data, MakeChunkID("NEW "), 1, "n");
       return data->parent;
     }},
    {"replace DATA with more bytes", [](TIFFStream& iff, TIFFChunk* data) {
       iff.WriteChunk(data->parent, MakeChunkID("DATA"), true, 5, "abcde");
       return data->parent;
     }},
    {"reset DATA", [](TIFFStream& iff, TIFFChunk* data) {
       iff.ResetChunk(data, MakeChunkID("TEXT"), 6);
       return data->parent;
     }},
    {"add a container at the top level", [](TIFFStream& iff, TIFFChunk*) {
       return iff.AddContainer(iff.GetRoot(), ID_FORM, MakeChunkID("C   "));
     }},
    {"remove FORM B", [](TIFFStream& iff, TIFFChunk*) {
       const TChunkTypePair b[] = {{ID_FORM, MakeChunkID("B   ")}};
       TIFFChunk* form = iff.FindContainer(iff.GetRoot(), b, 0);
       iff.RemoveChunk(form);
       return static_cast<TIFFChunk*>(nullptr);
     }},
};

TEST(IFFStreamShapes, EveryEditOfEveryAcceptedShapeReadsBack) {
  const TChunkID dataID[] = {MakeChunkID("DATA")};
  const TChunkID keepID[] = {MakeChunkID("KEEP")};
  for (const Shape& shape : kShapes) {
    for (const Edit& edit : kEdits) {
      SCOPED_TRACE(std::string(shape.name) + ", " + edit.name);
      TMemoryStream stream(Bytes(shape.bytes));
      TIFFStream iff(stream, true);
      TIFFChunk* data = iff.FindChunk(iff.GetRoot(), dataID, -1);
      ASSERT_NE(data, nullptr);
      const bool keepsB = std::string(edit.name) != "remove FORM B";
      ASSERT_NE(iff.FindChunk(iff.GetRoot(), keepID, -1), nullptr);

      TIFFChunk* changed = edit.apply(iff, data);
      EXPECT_EQ(test::ReparseDifference(stream, 0, iff), "");
      for (TIFFChunk* node = changed; node && node != iff.GetRoot(); node = node->parent) {
        TIFFChunk* last = node->firstChild;
        while (last && last->next) last = last->next;
        if (!last) continue;
        const uint32_t lastSize = iff.GetChunkSize(last);
        EXPECT_GE(node->position + 8 + iff.GetChunkSize(node), last->position + 8 + lastSize + (lastSize & 1))
            << test::IDText(node->id) << " leaves out its last child's pad byte";
      }
      char keep[4] = {};
      if (keepsB) {
        EXPECT_TRUE(iff.ReadChunkData(iff.FindChunk(iff.GetRoot(), keepID, -1), keep, 4));
        EXPECT_EQ(std::string(keep, 4), "keep");
      }

      // Closed and opened again, the stream shows the same chunks.
      const std::string shown = test::Describe(iff.GetRoot());
      iff.Close();
      TMemoryStream reopened(stream.Bytes());
      TIFFStream again(reopened, false);
      EXPECT_EQ(test::Describe(again.GetRoot()), shown);
      if (keepsB) {
        EXPECT_TRUE(again.ReadChunkData(again.FindChunk(again.GetRoot(), keepID, -1), keep, 4));
        EXPECT_EQ(std::string(keep, 4), "keep");
      }
    }
  }
}

// A lax writer may leave anything in a pad byte; a chunk grown over it reads zeros there.
TEST(IFFStreamShapes, GrowingOverAPadByteReadsZeros) {
  for (uint32_t size : {2u, 3u}) {
    TMemoryStream stream(Bytes("FORM" + U32(13) + "A   " + kData + 'Q' + kFormB));
    TIFFStream iff(stream, true);
    TIFFChunk* data = iff.GetRoot()->firstChild->firstChild;
    iff.SetChunkSize(data, size);
    std::string read(size, '?');
    ASSERT_TRUE(iff.ReadChunkData(data, read.data(), size));
    std::string expected(size, '\0');
    expected[0] = 'x';
    EXPECT_EQ(read, expected);
  }
}

// A chunk added at the top level behind a container with a damaged child is found on reopening.
TEST(IFFStreamShapes, ChunkAddedBehindADamagedContainerIsReadBack) {
  const std::string file =
      Container("RIFF", "WAVE", {Chunk("LIST", "INFO" + Chunk("INAM", "ab") + std::string(2, '\0')), Chunk("data", "xyzw")}) +
      kFormB;
  TMemoryStream stream(Bytes(file));
  {
    TIFFStream iff(stream, true);
    iff.AddContainer(iff.GetRoot(), ID_FORM, MakeChunkID("NEW "));
  }
  stream.SetPosition(0);
  TIFFStream reopened(stream, false);
  EXPECT_EQ(test::Describe(reopened.GetRoot()),
            "RIFF:WAVE@0(LIST:INFO@12(INAM@24),data@36),FORM:B   @48(KEEP@60),FORM:NEW @72()");
}

}  // namespace
}  // namespace veltra
