#include "util/IFF.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "IFFTestSupport.h"

namespace veltra {
namespace {

using test::Bytes;
using test::Chunk;
using test::Container;
using test::Describe;
using test::U32;

struct OpenCase {
  const char* name;
  std::string bytes;
  const char* tree;  // nullptr: the stream is refused
};

TEST(IFFStream, OpeningParsesContainersAndStopsAtWhatDoesNotFit) {
  const std::string data5 = Chunk("DATA", "abcde");
  const OpenCase cases[] = {
      {"fewer than 12 bytes", "FORM" + U32(4) + "TES", ""},
      {"odd size is padded, next chunk at an even offset",
       Container("FORM", "TEST", {data5, Chunk("NEXT", "xy")}), "FORM:TEST@0(DATA@12,NEXT@26)"},
      {"empty chunk as last child", Container("FORM", "TEST", {Chunk("A   ", "1"), Chunk("EMPT", "")}),
       "FORM:TEST@0(A   @12,EMPT@22)"},
      {"nested containers and JUNK at top level",
       Container("RIFF", "WAVE", {Container("LIST", "INFO", {Chunk("INAM", "ab")})}) + Chunk("JUNK", "    ") +
           Container("CAT ", "    ", {}),
       "RIFF:WAVE@0(LIST:INFO@12(INAM@24)),JUNK@34,CAT :    @46()"},
      {"JUNK first", Chunk("JUNK", "1234") + Container("FORM", "TEST", {}), "JUNK@0,FORM:TEST@12()"},
      {"a plain chunk at top level ends the scan",
       Container("FORM", "A   ", {}) + Chunk("DATA", "1234") + Container("FORM", "B   ", {}), "FORM:A   @0()"},
      {"an overlong top-level chunk ends the scan", Container("FORM", "A   ", {}) + "LIST" + U32(100) + "TYPE",
       "FORM:A   @0()"},
      {"fewer than 12 trailing bytes are left alone", Container("FORM", "A   ", {}) + Chunk("JUNK", "12"),
       "FORM:A   @0()"},
      {"a child running past its parent's end ends only that parent",
       Chunk("FORM", "TEST" + Chunk("GOOD", "12") + "BAD " + U32(50) + "12") + Container("FORM", "B   ", {}),
       "FORM:TEST@0(GOOD@12),FORM:B   @32()"},
      {"a size near 2^32 ends its container",
       Container("FORM", "TEST", {Chunk("GOOD", ""), "HUGE" + U32(0xFFFFFFF8u)}) + Container("FORM", "B   ", {}),
       "FORM:TEST@0(GOOD@12),FORM:B   @28()"},
      {"a container too small for its type ends its parent",
       Container("FORM", "TEST", {Chunk("GOOD", ""), Chunk("LIST", "ab")}) + Container("FORM", "B   ", {}),
       "FORM:TEST@0(GOOD@12),FORM:B   @30()"},
      {"a fragment shorter than a header ends its container",
       Chunk("FORM", "TEST" + Chunk("GOOD", "") + "FRAG") + Container("FORM", "B   ", {}),
       "FORM:TEST@0(GOOD@12),FORM:B   @24()"},
      {"a damaged grandchild leaves the later children and top-level chunks",
       Container("RIFF", "WAVE", {Chunk("LIST", "INFO" + Chunk("INAM", "ab") + std::string(2, '\0')),
                                  Chunk("data", "xyzw")}) +
           Container("FORM", "B   ", {}),
       "RIFF:WAVE@0(LIST:INFO@12(INAM@24),data@36),FORM:B   @48()"},
      {"an odd container still finds its next sibling",
       Chunk("FORM", "TEST" + std::string("DATA") + U32(1) + "x") + Container("FORM", "B   ", {}),
       "FORM:TEST@0(DATA@12),FORM:B   @22()"},
      {"not a container", Chunk("DATA", "12345678"), nullptr},
      {"first chunk runs past the end", "FORM" + U32(20) + "TEST", nullptr},
  };
  for (const OpenCase& c : cases) {
    SCOPED_TRACE(c.name);
    TMemoryStream stream(Bytes(c.bytes));
    if (!c.tree) {
      try {
        TIFFStream iff(stream, false);
        ADD_FAILURE() << "accepted";
      } catch (const EStreamCreateError& e) {
        EXPECT_STREQ(e.what(), "This is not a valid IFF stream.");
      }
      continue;
    }
    TIFFStream iff(stream, true);
    EXPECT_EQ(Describe(iff.GetRoot()), c.tree);
    iff.Close();
    // Nothing to remove or pad: closing leaves every one of these streams as it was.
    EXPECT_EQ(stream.Bytes(), Bytes(c.bytes));
  }
}

TEST(IFFStream, ParsesFromTheStartPositionAndNotifiesOnlyWhenChunksWereFound) {
  const std::string file = "prefix" + Container("FORM", "TEST", {Chunk("DATA", "abc")});
  TMemoryStream stream(Bytes(file));
  stream.SetPosition(6);
  int loads = 0;
  TIFFStream iff(stream, false, [&](TIFFStream&) { ++loads; });
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(iff.GetRoot()->position, 6);
  EXPECT_EQ(Describe(iff.GetRoot()), "FORM:TEST@6(DATA@18)");

  TMemoryStream empty;
  TIFFStream emptyIFF(empty, false, [&](TIFFStream&) { ++loads; });
  EXPECT_EQ(loads, 1);

  // A notification that throws makes the creation fail, leaving nothing behind (the leak check).
  stream.SetPosition(6);
  EXPECT_THROW(TIFFStream(stream, false, [](TIFFStream&) { throw std::runtime_error("refused"); }),
               std::runtime_error);
}

TEST(IFFStream, HostileShapesParseWithoutRecursion) {
  // 100000 nested LISTs, then 100000 empty chunks in one container.
  const int depth = 100000;
  std::string nested;
  for (int i = 0; i < depth; ++i) nested += "LIST" + U32(static_cast<uint32_t>(4 + 12 * (depth - 1 - i))) + "TYPE";
  const std::string empties(8 * depth, '\0');
  TMemoryStream stream(Bytes(nested + Chunk("FORM", "TEST" + empties)));
  TIFFStream iff(stream, true);
  const TChunkID none[] = {MakeChunkID("NONE")};
  EXPECT_EQ(iff.FindChunk(iff.GetRoot(), none, -1), nullptr);
  EXPECT_EQ(iff.CountChunks(iff.GetRoot(), depth), depth + 1 + depth);
  const TChunkID zero[] = {0};
  TIFFChunk* second = iff.GetChild(iff.GetRoot(), 1);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(iff.FindChunk(iff.GetRoot(), zero, -1), second->firstChild);
  TIFFChunk* outer = iff.GetRoot()->firstChild;
  iff.RemoveChunk(outer);  // frees the whole nested chain
  EXPECT_EQ(iff.CountChunks(iff.GetRoot(), 1), 1 + depth);
}

// A file with a tree of three levels, used by the search and edit tests.
std::string SampleFile() {
  return Container("FORM", "ONE ",
                   {Chunk("HEAD", "12345"),
                    Container("LIST", "SUB ", {Chunk("DATA", "ab"), Container("LIST", "DEEP", {Chunk("LEAF", "x")})}),
                    Chunk("DATA", "cd")}) +
         Container("FORM", "TWO ", {Chunk("LEAF", "")});
}

TEST(IFFStream, FindChunkDepthRules) {
  TMemoryStream stream(Bytes(SampleFile()));
  TIFFStream iff(stream, false);
  TIFFChunk* one = iff.GetChild(iff.GetRoot(), 0);
  TIFFChunk* list = iff.GetChild(one, 1);
  TIFFChunk* deep = iff.GetChild(list, 1);
  const TChunkID leaf[] = {MakeChunkID("LEAF")};
  const TChunkID data[] = {MakeChunkID("DATA")};
  struct Case {
    TIFFChunk* parent;
    const TChunkID* ids;
    int32_t depth;
    TIFFChunk* expected;
  };
  const Case cases[] = {
      {one, leaf, 0, nullptr},
      {one, leaf, 1, nullptr},
      {one, leaf, 2, nullptr},  // the LEAF lies three levels down
      {one, leaf, 3, deep->firstChild},
      {one, leaf, -1, deep->firstChild},
      {one, data, 1, iff.GetChild(one, 2)},  // a child wins over an earlier grandchild
      {iff.GetRoot(), leaf, -1, deep->firstChild},
      {nullptr, leaf, -1, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.depth);
    EXPECT_EQ(iff.FindChunk(c.parent, std::span(c.ids, 1), c.depth), c.expected);
  }
  // FindNextChunk looks only behind the node: from the first FORM into the second.
  EXPECT_EQ(iff.FindNextChunk(one, leaf, -1), iff.GetChild(iff.GetRoot(), 1)->firstChild);
  EXPECT_EQ(iff.FindNextChunk(iff.GetChild(one, 0), data, 2), iff.GetChild(one, 2));  // siblings first

  const TChunkTypePair deepList[] = {{ID_LIST, MakeChunkID("DEEP")}};
  const TChunkTypePair two[] = {{ID_FORM, MakeChunkID("TWO ")}};
  EXPECT_EQ(iff.FindContainer(iff.GetRoot(), deepList, 1), nullptr);
  EXPECT_EQ(iff.FindContainer(iff.GetRoot(), deepList, -1), deep);
  EXPECT_EQ(iff.FindNextContainer(one, two, 0), iff.GetChild(iff.GetRoot(), 1));

  EXPECT_EQ(iff.CountChunks(one, 0), 3);
  EXPECT_EQ(iff.CountChunks(one, 1), 5);
  EXPECT_EQ(iff.CountChunks(one, 2), 6);
  EXPECT_EQ(iff.GetChild(one, 3), nullptr);
  EXPECT_EQ(iff.GetChild(one, -1), nullptr);

  EXPECT_EQ(iff.FindByPosition(iff.GetRoot(), deep->firstChild->position), deep->firstChild);
  EXPECT_EQ(iff.FindByPosition(iff.GetRoot(), iff.GetRoot()->position), one);
  EXPECT_EQ(iff.FindByPosition(iff.GetRoot(), deep->firstChild->position + 2), nullptr);
}

TEST(IFFStream, SizesAndDataOfChunks) {
  TMemoryStream stream(Bytes(SampleFile()));
  TIFFStream iff(stream, false);
  TIFFChunk* one = iff.GetChild(iff.GetRoot(), 0);
  TIFFChunk* head = one->firstChild;
  EXPECT_EQ(iff.GetChunkSize(head), 5u);
  EXPECT_EQ(iff.GetChunkSizeLarge(iff.GetRoot()),
            int64_t{iff.GetChunkSize(one)} + 8 + iff.GetChunkSize(iff.GetChild(iff.GetRoot(), 1)) + 8);

  char buffer[8] = {};
  EXPECT_TRUE(iff.ReadChunkData(head, buffer, 3));
  EXPECT_EQ(std::string(buffer, 3), "123");
  EXPECT_FALSE(iff.ReadChunkData(head, buffer, 8));
  EXPECT_EQ(std::string(buffer, 5), "12345");
  EXPECT_FALSE(iff.ReadChunkData(nullptr, buffer, 1));
  EXPECT_TRUE(iff.ReadChunk(one, MakeChunkID("DATA"), 2, buffer));
  EXPECT_EQ(std::string(buffer, 2), "cd");  // only direct children: not the LIST's DATA
  EXPECT_FALSE(iff.ReadChunk(one, MakeChunkID("NONE"), 1, buffer));

  iff.SeekData(head, 2);
  EXPECT_EQ(stream.Position(), head->position + 10);
  iff.SeekData(iff.GetRoot(), 0);
  EXPECT_EQ(stream.Position(), 0);
  EXPECT_EQ(iff.GetChunkPosition(head), 12);

  TMemoryStream copy;
  iff.CopyChunkTo(head, copy);
  EXPECT_EQ(copy.Bytes(), Bytes(std::string("HEAD\5\0\0\0" "12345", 13)));
}

TEST(IFFStream, MisuseRaisesTheFixedMessages) {
  TMemoryStream stream(Bytes(SampleFile()));
  TIFFStream iff(stream, false);
  TIFFChunk* root = iff.GetRoot();
  TIFFChunk* head = root->firstChild->firstChild;
  TIFFChunk* nil = nullptr;
  const std::pair<std::function<void()>, const char*> cases[] = {
      {[&] { iff.GetChunkSize(root); },
       "Size of the virtual root node cannot be gotten with GetChunkSize. Use GetChunkSizeLarge instead."},
      {[&] { iff.SetChunkSize(root, 4); }, "Size of the virtual root node cannot be set."},
      {[&] { iff.RemoveChunk(root); }, "Virtual root chunk cannot be removed."},
      {[&] { iff.AddChunk(nullptr, ID_JUNK, 4); }, "IFF chunks may not be added to nil chunks."},
      {[&] { iff.AddChunk(head, ID_JUNK, 4); }, "IFF chunks can only be added to standard chunks."},
      {[&] { iff.AddContainer(head, ID_LIST, ID_SPACES); }, "IFF chunks can only be added to standard chunks."},
      {[&] { iff.AddChunkAfter(nil, ID_JUNK, 4); }, "IFF chunks cannot be added below nil chunks."},
      {[&] { iff.AddContainerAfter(root, ID_LIST, ID_SPACES); },
       "IFF chunks cannot be added below the virtual root chunk."},
      {[&] { iff.SetTypeID(head, MakeChunkID("NEW ")); },
       "IFF chunk is too small to contain a type ID that can be changed."},
      {[&] { iff.SetChunkID(root, ID_FORM); }, "Virtual root chunk cannot be changed."},
      {[&] { iff.ResetChunk(root, ID_FORM, 4); }, "Virtual root chunk cannot be changed."},
  };
  const std::vector<uint8_t> before = stream.Bytes();
  for (const auto& [action, message] : cases) {
    SCOPED_TRACE(message);
    try {
      action();
      ADD_FAILURE() << "no exception";
    } catch (const EIFFError& e) {
      EXPECT_STREQ(e.what(), message);
    }
  }
  EXPECT_EQ(stream.Bytes(), before);
  EXPECT_EQ(Describe(root), "FORM:ONE @0(HEAD@12,LIST:SUB @26(DATA@38,LIST:DEEP@48(LEAF@60)),DATA@70),FORM:TWO @80(LEAF@92)");
}

TEST(IFFStream, EditsMoveTheBytesBehindAndKeepContainerSizes) {
  TMemoryStream stream(Bytes(SampleFile()));
  TIFFStream iff(stream, true);
  TIFFChunk* one = iff.GetChild(iff.GetRoot(), 0);
  TIFFChunk* head = one->firstChild;
  TIFFChunk* two = one->next;

  // 5 -> 6: both pad to 6, nothing moves.
  iff.SetChunkSize(head, 6);
  EXPECT_EQ(stream.Bytes(), Bytes([] {
              std::string file = SampleFile();
              file[16] = 6;
              return file;
            }()));
  // 6 -> 9: the following bytes move by 4 and every enclosing size grows by 4.
  iff.SetChunkSize(head, 9);
  EXPECT_EQ(iff.GetChunkSize(one), 4u + 18 + 44 + 10);
  EXPECT_EQ(two->position, 84);
  EXPECT_EQ(stream.Bytes()[head->position + 8 + 9], 0);  // pad byte
  char data[9];
  ASSERT_TRUE(iff.ReadChunkData(head, data, 9));
  EXPECT_EQ(std::string(data, 9), std::string("12345\0\0\0\0", 9));  // opened space is zero

  // Removing the inner LIST closes its 36 bytes.
  TIFFChunk* list = head->next;
  iff.RemoveChunk(list);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(iff.GetChunkSize(one), 4u + 18 + 10);
  EXPECT_EQ(two->position, 40);

  // WriteChunk with replace resizes the existing child; size 0 removes it.
  const char text[] = "replaced";
  TIFFChunk* replaced = iff.WriteChunk(one, MakeChunkID("DATA"), true, 8, text);
  EXPECT_EQ(replaced, head->next);
  EXPECT_EQ(iff.WriteChunk(one, MakeChunkID("DATA"), true, 0, nullptr), nullptr);
  EXPECT_EQ(head->next, nullptr);
  EXPECT_EQ(iff.WriteChunk(one, MakeChunkID("NONE"), true, 0, nullptr), nullptr);
  EXPECT_EQ(iff.AddChunkAfterWithData(head, MakeChunkID("NONE"), 0, nullptr), nullptr);
  TIFFChunk* added = iff.WriteChunk(one, MakeChunkID("HEAD"), false, 3, "abc");
  EXPECT_EQ(added, head->next);

  // Renames and resets.
  iff.SetChunkID(added, MakeChunkID("TAIL"));
  iff.ResetChunk(two, ID_LIST, 4);
  EXPECT_EQ(two->type, ID_SPACES);
  EXPECT_EQ(two->firstChild, nullptr);
  iff.SetTypeID(one, MakeChunkID("NEW "));

  const std::string expected =
      Container("FORM", "NEW ", {Chunk("HEAD", std::string("12345\0\0\0\0", 9)), Chunk("TAIL", "abc")}) +
      Container("LIST", "    ", {});
  EXPECT_EQ(stream.Bytes(), Bytes(expected));
  TMemoryStream reread(Bytes(expected));
  TIFFStream check(reread, false);
  EXPECT_EQ(Describe(check.GetRoot()), Describe(iff.GetRoot()));
}

TEST(IFFStream, ListAndCatTypeFollowTheirChildren) {
  TMemoryStream stream;
  TIFFStream iff(stream, true);
  TIFFChunk* list = iff.AddContainer(iff.GetRoot(), ID_LIST, ID_SPACES);
  TIFFChunk* form = iff.AddContainer(iff.GetRoot(), ID_FORM, MakeChunkID("KEEP"));
  const TChunkID a = MakeChunkID("AAAA");
  const TChunkID b = MakeChunkID("BBBB");
  struct Step {
    TIFFChunk* parent;
    TChunkID added;
    TChunkID expected;
  };
  const Step steps[] = {
      {list, a, a},                      // one child: its type
      {list, a, a},                      // same type: stays
      {list, b, ID_SPACES},              // mixed: four spaces
      {list, a, ID_SPACES},              // four spaces stay
      {form, a, MakeChunkID("KEEP")},    // other parents are left alone
  };
  for (const Step& step : steps) {
    iff.AddContainer(step.parent, ID_FORM, step.added);
    EXPECT_EQ(step.parent->type, step.expected);
    uint32_t stored = 0;
    stream.SetPosition(step.parent->position + 8);
    stream.ReadBuffer(&stored, 4);
    EXPECT_EQ(stored, step.expected);
  }
  TIFFChunk* cat = iff.AddContainerAfter(list, ID_CAT, MakeChunkID("XXXX"));
  iff.AddContainer(cat, ID_LIST, b);
  EXPECT_EQ(cat->type, b);
  EXPECT_EQ(iff.GetRoot()->firstChild->next, cat);
}

TEST(IFFStream, ClosingRemovesTrailingJunkOrRestoresTheLastPad) {
  struct Case {
    const char* name;
    std::string bytes;
    bool compact;
    std::string closed;
  };
  const std::string formA = Container("FORM", "A   ", {Chunk("JUNK", "1234")});
  const std::string formB = Container("FORM", "B   ", {Chunk("DATA", "xyz")});
  const std::string unpadded = "FORM" + U32(13) + "B   " + "DATA" + U32(1) + "x";
  const Case cases[] = {
      {"last chunk in tree order is JUNK", formA, false, Container("FORM", "A   ", {})},
      {"only the last JUNK goes", formA + Chunk("JUNK", "5678"), false, formA},
      {"compact-on-close removes JUNK at every level", Chunk("JUNK", "1234") + formA + formB, true,
       Container("FORM", "A   ", {}) + formB},
      {"missing pad byte of the last chunk is written", unpadded, false, unpadded + '\0'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TMemoryStream stream(Bytes(c.bytes));
    {
      TIFFStream iff(stream, true);
      iff.SetCompactOnClose(c.compact);
    }
    EXPECT_EQ(stream.Bytes(), Bytes(c.closed));
  }
  // A stream that may not be modified stays as it is.
  TMemoryStream readOnly(Bytes(formA));
  { TIFFStream iff(readOnly, false); }
  EXPECT_EQ(readOnly.Bytes(), Bytes(formA));
}

TEST(IFFStream, CompactJunkKeepsJunkThatWouldMoveMoreThanTenMebibytes) {
  const uint32_t large = 0xA00000 + 2;  // following data above the limit
  const std::string small = Chunk("JUNK", "12");
  const std::string payload = Chunk("FORM", "BIG " + Chunk("DATA", std::string(large, 'd')));
  const std::string bigJunk = Chunk("JUNK", std::string(large + 100, 'j'));
  TMemoryStream stream(Bytes(Container("FORM", "A   ", {}) + small + payload + bigJunk + payload));
  TIFFStream iff(stream, true);
  iff.CompactJunk(true);
  // The small JUNK would move far more than itself: kept. The big JUNK is larger than what follows.
  EXPECT_EQ(stream.Bytes(), Bytes(Container("FORM", "A   ", {}) + small + payload + payload));
  EXPECT_EQ(iff.GetRoot()->firstChild->next->id, ID_JUNK);
  EXPECT_EQ(iff.GetRoot()->firstChild->next->next->next->position, static_cast<int64_t>(12 + 10 + payload.size()));
}

TEST(IFFStream, ClearDropsTheTreeAndTruncatesAtTheStart) {
  TMemoryStream stream(Bytes("head" + SampleFile()));
  stream.SetPosition(4);
  TIFFStream iff(stream, true);
  iff.Clear();
  EXPECT_EQ(iff.GetRoot()->firstChild, nullptr);
  EXPECT_EQ(stream.Bytes(), Bytes("head"));
  iff.AddContainer(iff.GetRoot(), ID_FORM, MakeChunkID("NEW "));
  EXPECT_EQ(stream.Bytes(), Bytes("head" + Container("FORM", "NEW ", {})));
}

TEST(IFFStream, GrowingAContainerBeyondFourGibibytesIsRefused) {
  TMemoryStream stream(Bytes(Container("FORM", "TEST", {Chunk("DATA", "")})));
  TIFFStream iff(stream, true);
  TIFFChunk* data = iff.GetRoot()->firstChild->firstChild;
  const std::vector<uint8_t> before = stream.Bytes();
  try {
    iff.SetChunkSize(data, 0xFFFFFFF8u);
    ADD_FAILURE() << "no exception";
  } catch (const EIFFError& e) {
    EXPECT_STREQ(e.what(), "IFF chunk cannot grow beyond 4 GiB.");
  }
  EXPECT_EQ(stream.Bytes(), before);
}

}  // namespace
}  // namespace veltra
