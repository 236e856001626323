// Opens arbitrary bytes as a chunk stream and walks the tree: every node lies inside its parent
// and the stream and is found by its position, and its data read as strings come out whole (the
// bytes of an 8-bit string are written back as they were read; a wide string of odd length or
// with unpaired surrogates is still valid UTF-8 of one character per unit); then closes it with
// JUNK compaction.

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "util/IFFHelper.h"
#include "util/TextCodec.h"

namespace {

using namespace veltra;

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

// The strings of the first child of `parent` with the ID of `node`, against its bytes.
void ReadStrings(TIFFStream& iff, TIFFChunk* parent, TIFFChunk* node) {
  TIFFHelper helper(iff, parent);
  const TChunkID ids[] = {node->id};
  TIFFChunk* first = iff.FindChunk(parent, ids, 0);
  std::string bytes(iff.GetChunkSize(first), '\0');
  iff.ReadChunkData(first, bytes.data(), static_cast<uint32_t>(bytes.size()));
  Require(helper.ReadByteString(node->id) == bytes, "byte string as stored");
  Require(Utf8ToAnsi(helper.ReadAnsiString(node->id)) == bytes, "8-bit string written back as read");
  const std::string wide = helper.ReadWideString(node->id);
  const std::u16string units = Utf8ToUtf16(wide);
  Require(units.size() == bytes.size() / 2, "one character per UTF-16 unit or pair");
  Require(Utf16ToUtf8(units) == wide, "wide string read as valid UTF-8");
}

void Walk(TIFFStream& iff, int64_t streamSize) {
  std::vector<uint8_t> buffer(64);
  std::vector<TIFFChunk*> pending{iff.GetRoot()};
  while (!pending.empty()) {
    TIFFChunk* parent = pending.back();
    pending.pop_back();
    const int64_t dataEnd = parent == iff.GetRoot() ? streamSize : parent->position + 8 + iff.GetChunkSize(parent);
    for (TIFFChunk* node = parent->firstChild; node; node = node->next) {
      const uint32_t size = iff.GetChunkSize(node);
      Require(node->position + 8 + int64_t{size} <= dataEnd, "chunk inside its parent");
      Require(!node->next || node->next->position > node->position, "siblings in order");
      Require(iff.FindByPosition(iff.GetRoot(), node->position) == node, "found by position");
      iff.ReadChunkData(node, buffer.data(), static_cast<uint32_t>(buffer.size()));
      ReadStrings(iff, parent, node);
      pending.push_back(node);
    }
  }
  const TChunkID ids[] = {ID_JUNK, MakeChunkID("DATA")};
  iff.FindChunk(iff.GetRoot(), ids, -1);
  const TChunkTypePair pairs[] = {{ID_LIST, ID_SPACES}};
  iff.FindContainer(iff.GetRoot(), pairs, -1);
  iff.CountChunks(iff.GetRoot(), std::numeric_limits<int32_t>::max());
  iff.GetChunkSizeLarge(iff.GetRoot());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream stream(std::vector<uint8_t>(data, data + size));
  try {
    TIFFStream iff(stream, true);
    Walk(iff, stream.Size());
    iff.SetCompactOnClose(true);
    iff.Close();
  } catch (const EStreamCreateError&) {
    // Not a chunk stream.
  }
  return 0;
}
