#pragma once
// Small typed values as chunks below one parent chunk. Numbers are stored little-endian; wide
// strings as UTF-16 (two bytes per character) and ANSI strings as 8-bit Windows-1252 characters,
// both converted from and to the UTF-8 text used everywhere else; byte strings (binary values such
// as an enciphered key) as the bytes they are. An empty string is an empty chunk.
//
// Reads answer the given default when the chunk is missing or too short for the value. Writes
// replace an existing chunk with the ID; the ...UnlessDefault forms remove the chunk instead when
// the value equals the default.

#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "util/IFF.h"

namespace veltra {

class TIFFHelper {
 public:
  TIFFHelper(IIFFStream& iff, TIFFChunk* parent) : iff_(iff), parent_(parent) {}

  IIFFStream& Stream() const { return iff_; }
  TIFFChunk* Parent() const { return parent_; }

  void Remove(TChunkID id);
  TIFFChunk* WriteData(TChunkID id, const void* data, uint32_t size, bool replace = true);
  // True when the chunk exists and held at least `size` bytes.
  bool ReadData(TChunkID id, void* buffer, uint32_t size);

  void WriteWord(TChunkID id, uint16_t value) { WriteNumber(id, value); }
  void WriteInteger(TChunkID id, int32_t value) { WriteNumber(id, value); }
  void WriteSingle(TChunkID id, float value) { WriteNumber(id, value); }
  void WriteInt64(TChunkID id, int64_t value) { WriteNumber(id, value); }
  void WriteDouble(TChunkID id, double value) { WriteNumber(id, value); }
  uint16_t ReadWord(TChunkID id, uint16_t fallback = 0) { return ReadNumber(id, fallback); }
  int32_t ReadInteger(TChunkID id, int32_t fallback = 0) { return ReadNumber(id, fallback); }
  float ReadSingle(TChunkID id, float fallback = 0) { return ReadNumber(id, fallback); }
  int64_t ReadInt64(TChunkID id, int64_t fallback = 0) { return ReadNumber(id, fallback); }
  double ReadDouble(TChunkID id, double fallback = 0) { return ReadNumber(id, fallback); }

  void WriteWordUnlessDefault(TChunkID id, uint16_t value, uint16_t fallback) { WriteNumberUnless(id, value, fallback); }
  void WriteIntegerUnlessDefault(TChunkID id, int32_t value, int32_t fallback) { WriteNumberUnless(id, value, fallback); }
  void WriteSingleUnlessDefault(TChunkID id, float value, float fallback) { WriteNumberUnless(id, value, fallback); }
  void WriteInt64UnlessDefault(TChunkID id, int64_t value, int64_t fallback) { WriteNumberUnless(id, value, fallback); }
  void WriteDoubleUnlessDefault(TChunkID id, double value, double fallback) { WriteNumberUnless(id, value, fallback); }

  void WriteWideString(TChunkID id, const std::string& text);
  void WriteAnsiString(TChunkID id, const std::string& text);
  std::string ReadWideString(TChunkID id, const std::string& fallback = {});
  std::string ReadAnsiString(TChunkID id, const std::string& fallback = {});
  void WriteByteString(TChunkID id, std::string_view bytes);
  std::string ReadByteString(TChunkID id, const std::string& fallback = {});
  void WriteWideStringUnlessDefault(TChunkID id, const std::string& text, const std::string& fallback);
  void WriteAnsiStringUnlessDefault(TChunkID id, const std::string& text, const std::string& fallback);

 private:
  template <class T>
  void WriteNumber(TChunkID id, T value);
  template <class T>
  T ReadNumber(TChunkID id, T fallback);
  template <class T>
  void WriteNumberUnless(TChunkID id, T value, T fallback);
  // Writes the bytes with replace; unlike WriteChunk, an empty value leaves an empty chunk.
  void WriteBytes(TChunkID id, const void* data, size_t size);
  std::optional<std::string> ReadBytes(TChunkID id);
  TIFFChunk* Find(TChunkID id);

  IIFFStream& iff_;
  TIFFChunk* parent_;
};

template <class T>
void TIFFHelper::WriteNumber(TChunkID id, T value) {
  using Bits = std::conditional_t<sizeof(T) == 2, uint16_t, std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>>;
  const auto bits = std::bit_cast<Bits>(value);
  std::array<uint8_t, sizeof(T)> bytes;
  for (size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
  WriteBytes(id, bytes.data(), bytes.size());
}

template <class T>
T TIFFHelper::ReadNumber(TChunkID id, T fallback) {
  using Bits = std::conditional_t<sizeof(T) == 2, uint16_t, std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>>;
  std::array<uint8_t, sizeof(T)> bytes;
  if (!ReadData(id, bytes.data(), sizeof(T))) return fallback;
  Bits bits = 0;
  for (size_t i = 0; i < sizeof(T); ++i) bits |= static_cast<Bits>(static_cast<Bits>(bytes[i]) << (8 * i));
  return std::bit_cast<T>(bits);
}

template <class T>
void TIFFHelper::WriteNumberUnless(TChunkID id, T value, T fallback) {
  if (value == fallback) {
    Remove(id);
  } else {
    WriteNumber(id, value);
  }
}

}  // namespace veltra
