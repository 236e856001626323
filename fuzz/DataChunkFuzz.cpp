// Data chunks of arbitrary bytes and of arbitrary streams.
//
// A chunk of arbitrary bytes this target writes itself is read as samples of any stored type into
// any destination type, with and without a key: the count reported is what the chunk holds, and a
// keyed read of the stored type gives the deciphered bytes. Then the same bytes, opened as a chunk
// stream, are hostile input: every chunk found is read as a data chunk with exactly the room asked
// for, and samples are written into it, including counts too large for a chunk (refused before
// anything is read or changed); after each write the stream still parses to the tree shown, and a
// plain write of the stored type reads back as written.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "IFFTestSupport.h"
#include "util/Blowfish.h"
#include "util/DataTypes.h"
#include "util/IFFData.h"

namespace {

using namespace veltra;

void Require(bool condition) {
  if (!condition) std::abort();
}

size_t SizeOf(uint32_t type) { return static_cast<size_t>(DataTypeSize(type)); }

void ReadOwnChunk(FuzzedDataProvider& input, const std::vector<uint8_t>& bytes) {
  const uint32_t storedType = DT_ARRAY_INT8 << input.ConsumeIntegralInRange(0, 10);
  const uint32_t destinationType = DT_ARRAY_INT8 << input.ConsumeIntegralInRange(0, 10);
  const std::string key = input.ConsumeBool() ? input.ConsumeRandomLengthString(16) : std::string();
  const size_t wanted = input.ConsumeIntegralInRange<size_t>(0, 40000);

  TMemoryStream stream;
  TIFFStream iff(stream, true);
  TIFFChunk* form = iff.AddContainer(iff.GetRoot(), ID_FORM, MakeChunkID("SGNL"));
  iff.WriteChunk(form, MakeChunkID("DATA"), false, static_cast<uint32_t>(bytes.size()), bytes.data());

  const size_t storedSize = SizeOf(storedType);
  const size_t held = bytes.empty() ? 0 : bytes.size() / storedSize;
  // Exactly the room of `wanted` samples, so that a read past it is caught.
  std::vector<uint8_t> destination(wanted * std::max(storedSize, SizeOf(destinationType)));
  size_t count = wanted;
  const bool read = ReadDataChunk(iff, form, MakeChunkID("DATA"), key, -1, 1, storedType, destinationType, count,
                                  destination.data());
  Require(bytes.empty() ? !read : count == held);  // an empty chunk is not written at all

  // The stored type with a key reads the deciphered bytes.
  if (!key.empty() && !bytes.empty()) {
    count = wanted;
    Require(ReadDataChunk(iff, form, MakeChunkID("DATA"), key, -1, 1, storedType, storedType, count, destination.data()));
    std::vector<uint8_t> plain(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(std::min(wanted, held) * storedSize));
    TBlowfishCounterMode(key).Apply(plain.data(), plain.size());
    Require(plain.empty() || std::memcmp(plain.data(), destination.data(), plain.size()) == 0);
  }
}

// Any single-bit code up to 2^21, and 0: data types of both kinds, scalar codes and unknown ones.
uint32_t AnyType(FuzzedDataProvider& input) {
  const int bit = input.ConsumeIntegralInRange(-1, 21);
  return bit < 0 ? 0 : 1u << bit;
}

void ReadAndWriteHostileStream(FuzzedDataProvider& input, const std::vector<uint8_t>& bytes) {
  TMemoryStream stream(bytes);
  std::unique_ptr<TIFFStream> iff;
  try {
    iff = std::make_unique<TIFFStream>(stream, false);
  } catch (const EStreamCreateError&) {
    return;
  }
  std::vector<TIFFChunk*> nodes;
  for (std::vector<TIFFChunk*> pending{iff->GetRoot()}; !pending.empty() && nodes.size() < 32;) {
    TIFFChunk* node = pending.back();
    pending.pop_back();
    for (TIFFChunk* child = node->firstChild; child; child = child->next) {
      nodes.push_back(child);
      pending.push_back(child);
    }
  }
  for (TIFFChunk* node : nodes) {
    const uint32_t storedType = AnyType(input);
    const uint32_t destinationType = AnyType(input);
    const std::string key = input.ConsumeBool() ? input.ConsumeRandomLengthString(8) : std::string();
    const size_t wanted = input.ConsumeIntegralInRange<size_t>(0, 5000);
    std::vector<uint8_t> destination(wanted * std::max(SizeOf(storedType), SizeOf(destinationType)));
    size_t count = wanted;
    // The chunk itself, or the first child of its parent with its ID (which need not be it).
    const bool itself = input.ConsumeBool();
    if (ReadDataChunk(*iff, itself ? node : node->parent, itself ? ID_NONE : node->id, key, -1, 1, storedType,
                      destinationType, count, destination.data())) {
      Require(SizeOf(storedType) != 0);
      if (itself) Require(count == iff->GetChunkSize(node) / SizeOf(storedType));
    }
  }
  if (nodes.empty()) return;

  for (int writes = 0; writes < 4 && input.remaining_bytes() > 0; ++writes) {
    TIFFChunk* node = nodes[input.ConsumeIntegralInRange<size_t>(0, nodes.size() - 1)];
    if (IsContainerID(node->id)) continue;  // its data are its children
    const uint32_t storedType = AnyType(input);
    const uint32_t sourceType = AnyType(input);
    const std::string key = input.ConsumeBool() ? input.ConsumeRandomLengthString(8) : std::string();
    const size_t storedSize = SizeOf(storedType);
    std::vector<uint8_t> source = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 512));
    size_t count = SizeOf(sourceType) ? source.size() / SizeOf(sourceType) : 0;
    // A count whose samples cannot fit into a chunk must be refused before the source is read.
    const bool tooMany = storedSize != 0 && input.ConsumeBool();
    if (tooMany) count = std::numeric_limits<uint32_t>::max() / storedSize + 1 + input.ConsumeIntegral<uint8_t>();
    const std::vector<uint8_t> before = stream.Bytes();
    const bool written = WriteDataChunk(*iff, node, ID_NONE, key, -2, 2, storedType, sourceType, count, source.data());
    if (tooMany || storedSize == 0 || SizeOf(sourceType) == 0) {
      Require(!written && stream.Bytes() == before);
      continue;
    }
    Require(test::ReparseDifference(stream, 0, *iff).empty());
    if (written && storedType == sourceType && key.empty()) {
      std::vector<uint8_t> back(source.size());
      size_t backCount = count;
      Require(ReadDataChunk(*iff, node, ID_NONE, key, -2, 2, storedType, storedType, backCount, back.data()));
      Require(backCount == count && (count == 0 || std::memcmp(back.data(), source.data(), count * storedSize) == 0));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::vector<uint8_t> bytes = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 8192));
  ReadOwnChunk(input, bytes);
  ReadAndWriteHostileStream(input, bytes);
  return 0;
}
