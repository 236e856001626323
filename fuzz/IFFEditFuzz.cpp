// Opens arbitrary bytes as a chunk stream and applies an edit sequence decoded from the rest of the
// input. After every tidy edit (one the edit model makes) the stream must re-parse to the tree the
// editor shows and every data chunk hold what the model says, whatever shape of stream the parse
// accepted (odd containers, trailing fragments, damaged children, a missing final pad); a stream
// that began well-formed must moreover stay well-formed. Raw edits with arbitrary arguments can
// write what the parse reads differently (a plain chunk at the top level, say): they end the
// checking and must merely not crash.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>

#include "IFFEditModel.h"

namespace {

using namespace veltra;

void RawEdit(TIFFStream& iff, FuzzedDataProvider& input) {
  std::vector<TIFFChunk*> nodes{nullptr, iff.GetRoot()};
  for (size_t i = 0; i < nodes.size(); ++i) {
    for (TIFFChunk* child = nodes[i] ? nodes[i]->firstChild : nullptr; child; child = child->next) nodes.push_back(child);
  }
  TIFFChunk* node = nodes[input.ConsumeIntegralInRange<size_t>(0, nodes.size() - 1)];
  const auto id = input.ConsumeIntegral<TChunkID>();
  const auto size = input.ConsumeIntegralInRange<uint32_t>(0, 4096);
  try {
    switch (input.ConsumeIntegralInRange(0, 9)) {
      case 0: iff.AddChunk(node, id, size); break;
      case 1: iff.AddChunkAfter(node, id, size); break;
      case 2: iff.AddContainer(node, id, input.ConsumeIntegral<TChunkID>()); break;
      case 3: iff.SetChunkSize(node, size); break;
      case 4: iff.SetChunkID(node, id); break;
      case 5: iff.SetTypeID(node, id); break;
      case 6: iff.ResetChunk(node, id, size); break;
      case 7: iff.RemoveChunk(node); break;
      case 8: iff.WriteChunk(node, id, input.ConsumeBool(), size, nullptr); break;
      case 9: iff.CompactJunk(input.ConsumeBool()); break;
    }
  } catch (const EIFFError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::vector<uint8_t> file = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 2048));
  TMemoryStream stream(file);
  stream.SetPosition(input.ConsumeIntegralInRange<int64_t>(0, 3));
  std::unique_ptr<TIFFStream> iff;
  try {
    iff = std::make_unique<TIFFStream>(stream, true);
  } catch (const EStreamCreateError&) {
    return 0;
  }
  test::IFFEditModel model(stream, *iff, [&](size_t n) { return input.ConsumeIntegralInRange<size_t>(0, n - 1); });
  const bool wellFormed = model.Verify().empty();
  bool checking = true;
  if (const std::string problems = model.Verify(false); !problems.empty()) {
    std::fprintf(stderr, "as opened:\n%s", problems.c_str());
    std::abort();
  }
  for (int step = 0; step < 200 && input.remaining_bytes() > 0; ++step) {
    if (input.ConsumeIntegralInRange(0, 7) == 0) {
      checking = false;
      RawEdit(*iff, input);
      continue;
    }
    if (checking) {
      model.Step();
      if (const std::string problems = model.Verify(wellFormed); !problems.empty()) {
        std::fprintf(stderr, "after step %d:\n%s", step, problems.c_str());
        std::abort();
      }
    } else {
      try {
        model.Step();
      } catch (const EIFFError&) {
        // The raw edits may have left chunks the tidy edits cannot be applied to.
      }
    }
  }
  model.Close();
  if (checking) {
    if (const std::string problems = model.Verify(wellFormed); !problems.empty()) {
      std::fprintf(stderr, "after closing:\n%s", problems.c_str());
      std::abort();
    }
  }
  return 0;
}
