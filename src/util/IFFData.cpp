#include "util/IFFData.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

#include "util/Blowfish.h"
#include "util/ConvertData.h"
#include "util/DataTypes.h"

namespace veltra {

namespace {

constexpr size_t kBlockSize = 32768;

TIFFChunk* FindDataChunk(IIFFStream& iff, TIFFChunk* parentOrChunk, TChunkID id) {
  if (id == ID_NONE) return parentOrChunk;
  const TChunkID ids[] = {id};
  return iff.FindChunk(parentOrChunk, ids, 0);
}

// The cipher of a data chunk, or none for an empty key. Blowfish keyed with the bytes of the key
// text, in counter mode with a 64-bit big-endian block counter from 0 for each chunk.
std::optional<TBlowfishCounterMode> MakeCipher(const std::string& key) {
  if (key.empty()) return std::nullopt;
  return std::optional<TBlowfishCounterMode>(std::in_place, key);
}

}  // namespace

bool WriteDataChunk(IIFFStream& iff, TIFFChunk* parentOrChunk, TChunkID id, const std::string& key, double min,
                    double max, uint32_t storedType, uint32_t sourceType, size_t count, const void* source) {
  const auto storedSize = static_cast<size_t>(DataTypeSize(storedType));
  const auto sourceSize = static_cast<size_t>(DataTypeSize(sourceType));
  if (storedSize == 0 || sourceSize == 0) return false;
  if (count > std::numeric_limits<uint32_t>::max() / storedSize) return false;
  const auto bytes = static_cast<uint32_t>(count * storedSize);

  TIFFChunk* chunk = FindDataChunk(iff, parentOrChunk, id);
  if (chunk) {
    iff.SetChunkSize(chunk, bytes);
  } else {
    chunk = iff.AddChunk(parentOrChunk, id, bytes);
  }
  iff.SeekData(chunk, 0);
  TStream& stream = iff.GetStream();
  if (storedType == sourceType && key.empty()) {
    stream.WriteBuffer(source, bytes);
    return true;
  }

  std::vector<uint8_t> buffer(kBlockSize);
  std::optional<TBlowfishCounterMode> cipher = MakeCipher(key);
  const size_t perBlock = kBlockSize / storedSize;
  const auto* from = static_cast<const uint8_t*>(source);
  for (size_t done = 0; done < count;) {
    const size_t n = std::min(perBlock, count - done);
    if (!ConvertData(from + done * sourceSize, buffer.data(), sourceType, storedType, n, min, max)) return false;
    if (cipher) cipher->Apply(buffer.data(), n * storedSize);
    stream.WriteBuffer(buffer.data(), n * storedSize);
    done += n;
  }
  return true;
}

bool ReadDataChunk(IIFFStream& iff, TIFFChunk* parentOrChunk, TChunkID id, const std::string& key, double min,
                   double max, uint32_t storedType, uint32_t destinationType, size_t& count, void* destination) {
  const auto storedSize = static_cast<size_t>(DataTypeSize(storedType));
  TIFFChunk* chunk = FindDataChunk(iff, parentOrChunk, id);
  if (storedSize == 0 || !chunk || chunk == iff.GetRoot()) return false;
  const uint32_t chunkSize = iff.GetChunkSize(chunk);
  const size_t available = chunkSize / storedSize;
  const size_t wanted = std::min(count, available);
  // A destination with room for more samples than the chunk holds takes the whole chunk.
  const bool takesAll = count > available;
  count = available;
  iff.SeekData(chunk, 0);
  TStream& stream = iff.GetStream();
  if (storedType == destinationType && key.empty()) {
    // The bytes of a last partial sample come along only when the destination has room for them.
    const size_t bytes = takesAll ? chunkSize : wanted * storedSize;
    stream.ReadBuffer(destination, bytes);
    return true;
  }

  const auto destinationSize = static_cast<size_t>(DataTypeSize(destinationType));
  std::vector<uint8_t> buffer(kBlockSize);
  std::optional<TBlowfishCounterMode> cipher = MakeCipher(key);
  const size_t perBlock = kBlockSize / storedSize;
  auto* to = static_cast<uint8_t*>(destination);
  for (size_t done = 0; done < wanted;) {
    const size_t n = std::min(perBlock, wanted - done);
    stream.ReadBuffer(buffer.data(), n * storedSize);
    if (cipher) cipher->Apply(buffer.data(), n * storedSize);
    if (!ConvertData(buffer.data(), to + done * destinationSize, storedType, destinationType, n, min, max)) return false;
    done += n;
  }
  return true;
}

void TKeyCipherList::Register(int bit, std::shared_ptr<IKeyCipher> cipher) {
  const std::lock_guard lock(mutex_);
  ciphers_.at(static_cast<size_t>(bit)) = std::move(cipher);
}

std::shared_ptr<IKeyCipher> TKeyCipherList::At(int bit) const {
  const std::lock_guard lock(mutex_);
  return ciphers_[static_cast<size_t>(bit)];
}

uint32_t TKeyCipherList::EncodeKey(std::string& key, uint32_t mask) const {
  for (int bit = 0; bit < 32; ++bit) {
    if (!(mask & (1u << bit))) continue;
    const std::shared_ptr<IKeyCipher> cipher = At(bit);
    if (!cipher || !cipher->Encode(key)) return 1u << bit;
  }
  return 0;
}

uint32_t TKeyCipherList::DecodeKey(std::string& key, uint32_t mask) const {
  for (int bit = 31; bit >= 0; --bit) {
    if (!(mask & (1u << bit))) continue;
    const std::shared_ptr<IKeyCipher> cipher = At(bit);
    if (!cipher || !cipher->Decode(key)) return 1u << bit;
  }
  return 0;
}

TKeyCipherList& KeyCiphers() {
  static TKeyCipherList list;
  return list;
}

}  // namespace veltra
