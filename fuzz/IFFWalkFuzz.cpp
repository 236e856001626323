// Opens arbitrary bytes as a chunk stream and walks the tree: every node lies inside its parent
// and the stream and is found by its position; then closes it with JUNK compaction.

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "util/IFF.h"

namespace {

using namespace veltra;

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
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
