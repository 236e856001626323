#pragma once
// Builders of chunk bytes and a printable form of a chunk tree, shared by the chunk stream tests.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "util/IFF.h"

namespace veltra::test {

inline std::string U32(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

// A chunk with its header and pad byte.
inline std::string Chunk(const std::string& id, const std::string& data) {
  std::string bytes = id + U32(static_cast<uint32_t>(data.size())) + data;
  if (data.size() % 2) bytes.push_back('\0');
  return bytes;
}

inline std::string Container(const std::string& id, const std::string& type,
                             std::initializer_list<std::string> children) {
  std::string data = type;
  for (const std::string& child : children) data += child;
  return Chunk(id, data);
}

inline std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

inline std::string IDText(TChunkID id) {
  std::string text(4, '\0');
  for (int i = 0; i < 4; ++i) text[i] = static_cast<char>(id >> (8 * i));
  return text;
}

// "FORM:TEST@0(DATA@12,LIST:    @24())": ID, type of containers, position, children.
inline std::string Describe(const TIFFChunk* node) {
  std::string text;
  for (const TIFFChunk* child = node->firstChild; child; child = child->next) {
    if (!text.empty()) text += ",";
    // Appended piece by piece: GCC 12 warns falsely about `literal + std::string` at -O3.
    text += IDText(child->id);
    if (IsContainerID(child->id)) {
      text += ':';
      text += IDText(child->type);
    }
    text += '@';
    text += std::to_string(child->position);
    if (child->firstChild || IsContainerID(child->id)) {
      text += '(';
      text += Describe(child);
      text += ')';
    }
  }
  return text;
}

}  // namespace veltra::test
