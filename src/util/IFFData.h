#pragma once
// Sample arrays in data chunks, and the registry of key ciphers.
//
// WriteDataChunk and ReadDataChunk move samples into and out of a chunk in blocks of 32768 bytes,
// converting between the caller's data type and the stored one with ConvertData over [min, max),
// and, when a key is given, enciphering the stored bytes with Blowfish in counter mode (the key
// is the bytes of the key text; the counter starts at 0 for each chunk and runs on across its
// blocks, so the cipher does not care where the blocks end).

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "util/IFF.h"

namespace veltra {

// Writes `count` samples of `sourceType` as `storedType` into the child `id` of `parentOrChunk`
// (resized, or added), or into `parentOrChunk` itself (resized) when `id` is ID_NONE. Answers false
// when a conversion fails (or a type is unknown, or the data do not fit into a chunk).
bool WriteDataChunk(IIFFStream& iff, TIFFChunk* parentOrChunk, TChunkID id, const std::string& key, double min,
                    double max, uint32_t storedType, uint32_t sourceType, size_t count, const void* source);

// Reads up to `count` samples from the chunk found as above into `destination` as
// `destinationType`. On return `count` holds the number of samples the chunk contains. Answers
// false when there is no such chunk or a conversion fails.
bool ReadDataChunk(IIFFStream& iff, TIFFChunk* parentOrChunk, TChunkID id, const std::string& key, double min,
                   double max, uint32_t storedType, uint32_t destinationType, size_t& count, void* destination);

// Turns a data key into the form stored beside the data, and back.
class IKeyCipher {
 public:
  virtual ~IKeyCipher() = default;
  virtual bool Encode(std::string& key) = 0;
  virtual bool Decode(std::string& key) = 0;
};

// Key ciphers by bit of a 32-bit mask. EncodeKey passes the key through the ciphers of the set
// bits, lowest first; DecodeKey undoes it, highest first. Both answer 0, or the bit (as a mask)
// whose cipher is missing or failed.
class TKeyCipherList {
 public:
  // A null cipher removes the one registered for the bit.
  void Register(int bit, std::shared_ptr<IKeyCipher> cipher);
  uint32_t EncodeKey(std::string& key, uint32_t mask) const;
  uint32_t DecodeKey(std::string& key, uint32_t mask) const;

 private:
  std::shared_ptr<IKeyCipher> At(int bit) const;

  mutable std::mutex mutex_;
  std::array<std::shared_ptr<IKeyCipher>, 32> ciphers_;
};

// The process-wide list; no key cipher is registered in it by default.
TKeyCipherList& KeyCiphers();

}  // namespace veltra
