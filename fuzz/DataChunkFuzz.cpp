// Reads arbitrary chunk bytes as samples of any stored type into any destination type, with and
// without a key: the count reported is what the chunk holds, and a keyed read of the stored type
// gives the deciphered bytes.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "util/Blowfish.h"
#include "util/DataTypes.h"
#include "util/IFFData.h"

using namespace veltra;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const uint32_t storedType = DT_ARRAY_INT8 << input.ConsumeIntegralInRange(0, 10);
  const uint32_t destinationType = DT_ARRAY_INT8 << input.ConsumeIntegralInRange(0, 10);
  const std::string key = input.ConsumeBool() ? input.ConsumeRandomLengthString(16) : std::string();
  const size_t wanted = input.ConsumeIntegralInRange<size_t>(0, 40000);
  const std::vector<uint8_t> bytes = input.ConsumeRemainingBytes<uint8_t>();

  TMemoryStream stream;
  TIFFStream iff(stream, true);
  TIFFChunk* form = iff.AddContainer(iff.GetRoot(), ID_FORM, MakeChunkID("SGNL"));
  iff.WriteChunk(form, MakeChunkID("DATA"), false, static_cast<uint32_t>(bytes.size()), bytes.data());

  const size_t storedSize = static_cast<size_t>(DataTypeSize(storedType));
  const size_t destinationSize = static_cast<size_t>(DataTypeSize(destinationType));
  const size_t held = bytes.empty() ? 0 : bytes.size() / storedSize;
  // Exactly the room of `wanted` samples, so that a read past it is caught.
  std::vector<uint8_t> destination(wanted * std::max(storedSize, destinationSize));
  size_t count = wanted;
  const bool read = ReadDataChunk(iff, form, MakeChunkID("DATA"), key, -1, 1, storedType, destinationType, count,
                                  destination.data());
  if ((bytes.empty() ? read : count != held)) std::abort();  // an empty chunk is not written at all

  // The stored type with a key reads the deciphered bytes.
  if (!key.empty() && !bytes.empty()) {
    count = wanted;
    if (!ReadDataChunk(iff, form, MakeChunkID("DATA"), key, -1, 1, storedType, storedType, count, destination.data())) {
      std::abort();
    }
    std::vector<uint8_t> plain(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(std::min(wanted, held) * storedSize));
    TBlowfishCounterMode(key).Apply(plain.data(), plain.size());
    if (!plain.empty() && std::memcmp(plain.data(), destination.data(), plain.size()) != 0) std::abort();
  }
  return 0;
}
