#include "util/IFFHelper.h"

#include <limits>

#include "util/TextCodec.h"

namespace veltra {

namespace {

// UTF-16 code units as little-endian bytes, and back (an odd last byte is ignored).
std::string UnitsToBytes(const std::u16string& units) {
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t unit : units) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

std::u16string BytesToUnits(const std::string& bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t k = 0; k < units.size(); ++k) {
    units[k] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * k]) | static_cast<uint8_t>(bytes[2 * k + 1]) << 8);
  }
  return units;
}

}  // namespace

TIFFChunk* TIFFHelper::Find(TChunkID id) {
  const TChunkID ids[] = {id};
  return iff_.FindChunk(parent_, ids, 0);
}

void TIFFHelper::Remove(TChunkID id) {
  TIFFChunk* node = Find(id);
  iff_.RemoveChunk(node);
}

TIFFChunk* TIFFHelper::WriteData(TChunkID id, const void* data, uint32_t size, bool replace) {
  return iff_.WriteChunk(parent_, id, replace, size, data);
}

bool TIFFHelper::ReadData(TChunkID id, void* buffer, uint32_t size) {
  return iff_.ReadChunk(parent_, id, size, buffer);
}

void TIFFHelper::WriteBytes(TChunkID id, const void* data, size_t size) {
  if (size > std::numeric_limits<uint32_t>::max()) throw EIFFError("IFF chunk cannot grow beyond 4 GiB.");
  if (size > 0) {
    WriteData(id, data, static_cast<uint32_t>(size));
  } else if (TIFFChunk* node = Find(id)) {
    iff_.SetChunkSize(node, 0);
  } else {
    iff_.AddChunk(parent_, id, 0);
  }
}

void TIFFHelper::WriteWideString(TChunkID id, const std::string& text) {
  const std::string bytes = UnitsToBytes(Utf8ToUtf16(text));
  WriteBytes(id, bytes.data(), bytes.size());
}

void TIFFHelper::WriteAnsiString(TChunkID id, const std::string& text) {
  const std::string bytes = Utf8ToAnsi(text);
  WriteBytes(id, bytes.data(), bytes.size());
}

void TIFFHelper::WriteByteString(TChunkID id, std::string_view bytes) {
  WriteBytes(id, bytes.data(), bytes.size());
}

std::optional<std::string> TIFFHelper::ReadBytes(TChunkID id) {
  TIFFChunk* node = Find(id);
  if (!node) return std::nullopt;
  std::string bytes(iff_.GetChunkSize(node), '\0');
  iff_.ReadChunkData(node, bytes.data(), static_cast<uint32_t>(bytes.size()));
  return bytes;
}

std::string TIFFHelper::ReadWideString(TChunkID id, const std::string& fallback) {
  const std::optional<std::string> bytes = ReadBytes(id);
  return bytes ? Utf16ToUtf8(BytesToUnits(*bytes)) : fallback;
}

std::string TIFFHelper::ReadAnsiString(TChunkID id, const std::string& fallback) {
  const std::optional<std::string> bytes = ReadBytes(id);
  return bytes ? AnsiToUtf8(*bytes) : fallback;
}

std::string TIFFHelper::ReadByteString(TChunkID id, const std::string& fallback) {
  return ReadBytes(id).value_or(fallback);
}

void TIFFHelper::WriteWideStringUnlessDefault(TChunkID id, const std::string& text, const std::string& fallback) {
  if (text == fallback) {
    Remove(id);
  } else {
    WriteWideString(id, text);
  }
}

void TIFFHelper::WriteAnsiStringUnlessDefault(TChunkID id, const std::string& text, const std::string& fallback) {
  if (text == fallback) {
    Remove(id);
  } else {
    WriteAnsiString(id, text);
  }
}

}  // namespace veltra
