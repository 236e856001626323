// FindStreamBlock over arbitrary bytes: the first byte is the start position, the next 16 the
// identifier looked for, the rest the stream. The search ends, and either finds a block of that
// identifier behind which the stream stands, or answers -1 with the stream where it was.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "util/Routines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 17) return 0;
  veltra::Guid id;
  std::memcpy(&id, data + 1, sizeof id);
  veltra::TMemoryStream stream(std::vector<uint8_t>(data + 17, data + size));
  const int64_t start = data[0];
  stream.SetPosition(start);
  veltra::StreamBlockHeader header{};
  const int64_t found = veltra::FindStreamBlock(stream, id, header);
  if (found == -1) {
    if (stream.Position() != start) std::abort();
  } else if (found < start || stream.Position() != found + 40 || !(header.id == id)) {
    std::abort();
  }
  return 0;
}
