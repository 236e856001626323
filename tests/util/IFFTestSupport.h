#pragma once
// Builders of chunk bytes and a printable form of a chunk tree, shared by the chunk stream tests.

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
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

// "FORM:TEST@0(DATA@12,LIST:    @24())": ID, type of containers, position, children; without
// the chunk `omitted`.
inline std::string Describe(const TIFFChunk* node, const TIFFChunk* omitted = nullptr) {
  std::string text;
  for (const TIFFChunk* child = node->firstChild; child; child = child->next) {
    if (child == omitted) continue;
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

// Empty when the stream, opened at `start`, parses to the tree `iff` shows; else what differs. Two
// things a reopen cannot show are no difference: a top-level JUNK chunk of fewer than 12 bytes at
// the very end (the parse needs 12 bytes for a top-level chunk; closing removes such a chunk), and
// bytes that are refused as a stream when the tree holds no chunk at all.
inline std::string ReparseDifference(TStream& stream, int64_t start, TIFFStream& iff) {
  const TIFFChunk* last = iff.GetRoot()->firstChild;
  while (last && last->next) last = last->next;
  const bool unreadable = last && last->id == ID_JUNK && stream.Size() - last->position < 12;
  const std::string shown = Describe(iff.GetRoot(), unreadable ? last : nullptr);
  stream.SetPosition(start);
  try {
    TIFFStream reread(stream, false);
    const std::string read = Describe(reread.GetRoot());
    return read == shown ? "" : "re-parsed " + read + " instead of " + shown + "\n";
  } catch (const EStreamCreateError& e) {
    return shown.empty() ? "" : std::string("re-parse failed: ") + e.what() + "\n";
  }
}

}  // namespace veltra::test
