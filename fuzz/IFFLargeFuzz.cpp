// Chunk streams of up to many gibibytes, laid out from the input in a sparse stream that holds only
// what was written: sizes near 2^32, positions beyond it, gaps (of 0xFF bytes, which never parse
// as chunks, so that the tree stays small). The stream is parsed and
// walked, then edited with tidy edits (data chunks below containers, containers and JUNK at the
// top level) close enough to its end that little has to move. Every edit either succeeds or is
// refused as growth beyond 4 GiB, and after each the stream parses to the tree the editor shows.
//
// Input: pieces, each a kind byte and its arguments: a chunk header (ID from a table, a size near
// 0 or near 2^32, a type for containers), raw bytes, or a gap; then the edits.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "IFFTestSupport.h"
#include "SparseStream.h"
#include "util/IFF.h"

namespace {

using namespace veltra;

constexpr TChunkID kIDs[] = {ID_FORM, ID_LIST, ID_RIFF, ID_CAT, ID_JUNK, MakeChunkID("DATA")};
constexpr int64_t kMoveLimit = 1 << 20;  // edits that would move more than this are not tried

uint32_t SizeNearALimit(FuzzedDataProvider& input) {
  const auto small = input.ConsumeIntegralInRange<uint32_t>(0, 4096);
  switch (input.ConsumeIntegralInRange(0, 2)) {
    case 0: return small;
    case 1: return 0xFFFFFFFFu - small;
    default: return input.ConsumeIntegral<uint32_t>();
  }
}

void LayOut(FuzzedDataProvider& input, test::TSparseStream& stream) {
  int64_t cursor = 0;
  for (int piece = 0; piece < 48 && input.remaining_bytes() > 0; ++piece) {
    const int kind = input.ConsumeIntegralInRange(0, 3);
    if (kind == 3) break;  // the edits follow
    stream.SetPosition(cursor);
    if (kind == 0) {
      const TChunkID id = kIDs[input.ConsumeIntegralInRange<size_t>(0, std::size(kIDs) - 1)];
      uint8_t header[12];
      const uint32_t size = SizeNearALimit(input);
      const uint32_t type = input.ConsumeIntegral<uint32_t>();
      for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<uint8_t>(id >> (8 * i));
        header[4 + i] = static_cast<uint8_t>(size >> (8 * i));
        header[8 + i] = static_cast<uint8_t>(type >> (8 * i));
      }
      const size_t length = IsContainerID(id) ? 12 : 8;
      stream.WriteBuffer(header, length);
      cursor += static_cast<int64_t>(length);
    } else if (kind == 1) {
      const std::vector<uint8_t> bytes = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 64));
      stream.WriteBuffer(bytes.data(), bytes.size());
      cursor += static_cast<int64_t>(bytes.size());
    } else {
      cursor += SizeNearALimit(input);  // a gap of unwritten bytes
    }
  }
  stream.SetSize(cursor);
  stream.SetPosition(0);
}

int64_t PaddedEnd(TIFFStream& iff, TIFFChunk* node) {
  const uint32_t size = iff.GetChunkSize(node);
  return node->position + 8 + int64_t{size} + (size & 1);
}

std::vector<TIFFChunk*> Nodes(TIFFStream& iff) {
  std::vector<TIFFChunk*> nodes;
  for (std::vector<TIFFChunk*> pending{iff.GetRoot()}; !pending.empty();) {
    TIFFChunk* node = pending.back();
    pending.pop_back();
    for (TIFFChunk* child = node->firstChild; child; child = child->next) {
      nodes.push_back(child);
      pending.push_back(child);
    }
  }
  return nodes;
}

// One tidy edit at a place from which at most kMoveLimit bytes follow.
void Edit(FuzzedDataProvider& input, test::TSparseStream& stream, TIFFStream& iff) {
  const std::vector<TIFFChunk*> nodes = Nodes(iff);
  if (nodes.empty()) return;
  TIFFChunk* node = nodes[input.ConsumeIntegralInRange<size_t>(0, nodes.size() - 1)];
  const bool container = IsContainerID(node->id);
  const bool topLevel = node->parent == iff.GetRoot();
  if (stream.Size() - PaddedEnd(iff, node) > kMoveLimit) return;
  // A leaf below a container may take any ID and size; at the top level only JUNK of 4 bytes or
  // more is read back.
  const auto leaf = [&](bool atTop) {
    const uint32_t size = SizeNearALimit(input);
    return std::pair{atTop ? ID_JUNK : MakeChunkID("DATA"), atTop ? std::max<uint32_t>(size, 4) : size};
  };
  switch (input.ConsumeIntegralInRange(0, 4)) {
    case 0:
      if (!container && (!topLevel || node->id == ID_JUNK)) iff.SetChunkSize(node, leaf(topLevel).second);
      break;
    case 1: {
      const auto [id, size] = leaf(topLevel);
      iff.AddChunkAfter(node, id, size);
      break;
    }
    case 2:
      if (container) {
        // Appended behind the last child: the bytes from there on move.
        TIFFChunk* last = node->firstChild;
        while (last && last->next) last = last->next;
        if (stream.Size() - (last ? PaddedEnd(iff, last) : node->position + 12) > kMoveLimit) break;
        const auto [id, size] = leaf(false);
        iff.AddChunk(node, id, size);
      }
      break;
    case 3:
      iff.AddContainerAfter(node, ID_LIST, ID_SPACES);
      break;
    default:
      if (!node->next) iff.RemoveChunk(node);
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  test::TSparseStream stream(0xFF);
  LayOut(input, stream);
  std::unique_ptr<TIFFStream> iff;
  try {
    iff = std::make_unique<TIFFStream>(stream, false);  // closing moves nothing
  } catch (const EStreamCreateError&) {
    return 0;
  }
  for (int step = 0; step < 16 && input.remaining_bytes() > 0; ++step) {
    try {
      Edit(input, stream, *iff);
    } catch (const EIFFError& e) {
      if (std::string(e.what()) != "IFF chunk cannot grow beyond 4 GiB.") std::abort();
    }
    if (const std::string problems = test::ReparseDifference(stream, 0, *iff); !problems.empty()) {
      std::fprintf(stderr, "after step %d:\n%s", step, problems.c_str());
      std::abort();
    }
  }
  return 0;
}
