#pragma once
// Random edits of a chunk stream that keep a well-formed stream well-formed, with a model of every
// data chunk's contents, and the check that the stream and the tree still agree. Used by the
// property test (seeded) and by the edit fuzz target (decoded from the input).

#include <algorithm>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "IFFTestSupport.h"
#include "util/IFF.h"

namespace veltra::test {

class IFFEditModel {
 public:
  using Pick = std::function<size_t(size_t n)>;  // a number below n

  // Takes the data chunks of the stream as they are now as the model.
  IFFEditModel(TMemoryStream& stream, TIFFStream& iff, Pick pick)
      : stream_(stream), iff_(iff), pick_(std::move(pick)), start_(iff.GetRoot()->position) {
    const std::vector<uint8_t>& bytes = stream_.Bytes();
    const auto prefixSize = std::min<size_t>(bytes.size(), static_cast<size_t>(start_));
    prefix_.assign(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(prefixSize));
    for (TIFFChunk* node : AllNodes()) {
      if (!IsContainerID(node->id)) model_[node] = Data(node);
    }
  }

  // One edit chosen with the picker: adds, resizes, renames, resets and removals.
  void Step() {
    std::vector<TIFFChunk*> nodes = AllNodes();
    TIFFChunk* node = nodes.empty() ? nullptr : nodes[pick_(nodes.size())];
    TIFFChunk* root = iff_.GetRoot();
    switch (pick_(11)) {
      case 0:
        iff_.AddContainer(RandomContainer(nodes), OneOf(kContainerIDs), OneOf(kTypes));
        break;
      case 1:
        if (node) iff_.AddContainerAfter(node, OneOf(kContainerIDs), OneOf(kTypes));
        break;
      case 2: {  // a data chunk as last child
        TIFFChunk* parent = RandomContainer(nodes);
        const auto [id, size] = LeafFor(parent);
        const std::string data = RandomData(size);
        TIFFChunk* added = iff_.AddChunk(parent, id, size);
        iff_.SeekData(added, 0);
        stream_.WriteBuffer(data.data(), data.size());
        model_[added] = data;
        break;
      }
      case 3:
        if (node) {
          const auto [id, size] = LeafFor(node->parent);
          const std::string data = RandomData(std::max<uint32_t>(size, 1));
          model_[iff_.AddChunkAfterWithData(node, id, static_cast<uint32_t>(data.size()), data.data())] = data;
        }
        break;
      case 4: {  // WriteChunk with replace below a container
        TIFFChunk* parent = RandomContainer(nodes);
        if (parent == root) break;
        const TChunkID id = OneOf(kLeafIDs);
        const std::string data = RandomData(static_cast<uint32_t>(pick_(34)));
        const TChunkID ids[] = {id};
        if (TIFFChunk* old = iff_.FindChunk(parent, ids, 0); old && data.empty()) model_.erase(old);
        if (TIFFChunk* written = iff_.WriteChunk(parent, id, true, static_cast<uint32_t>(data.size()), data.data())) {
          model_[written] = data;
        }
        break;
      }
      case 5:
        if (node && !IsContainerID(node->id)) {
          const uint32_t size = LeafFor(node->parent).second;
          iff_.SetChunkSize(node, size);
          model_[node].resize(size, '\0');
        }
        break;
      case 6:
        if (node && IsContainerID(node->id)) {
          iff_.SetChunkID(node, OneOf(kContainerIDs));
        } else if (node && node->parent != root) {
          iff_.SetChunkID(node, OneOf(kLeafIDs));
        }
        break;
      case 7:
        if (node && IsContainerID(node->id)) {
          const TChunkID type = OneOf(kTypes);
          const bool tooSmall = type != node->type && iff_.GetChunkSize(node) < 12;
          try {
            iff_.SetTypeID(node, type);
            if (tooSmall) failures_ += "SetTypeID accepted a chunk without room for a type\n";
          } catch (const EIFFError&) {
            if (!tooSmall) failures_ += "SetTypeID refused a chunk with room for a type\n";
          }
        }
        break;
      case 8:
        if (node && IsContainerID(node->id)) {
          ForgetBelow(node);
          iff_.ResetChunk(node, OneOf(kContainerIDs), 4);
        } else if (node && node->parent != root) {
          const uint32_t size = LeafFor(node->parent).second;
          iff_.ResetChunk(node, OneOf(kLeafIDs), size);
          std::string& data = model_[node];
          data.resize(size, '\0');
          if (size >= 4) data.replace(0, 4, "    ");
        }
        break;
      case 9:
        if (node) {
          ForgetBelow(node);
          model_.erase(node);
          iff_.RemoveChunk(node);
        }
        break;
      case 10: {
        const bool topLevelOnly = pick_(2) == 0;
        for (TIFFChunk* n : nodes) {
          if (n->id == ID_JUNK && (!topLevelOnly || n->parent == root)) model_.erase(n);
        }
        iff_.CompactJunk(topLevelOnly);
        break;
      }
    }
  }

  // Closes the stream object (removing a trailing JUNK chunk).
  void Close() {
    TIFFChunk* last = iff_.GetRoot();
    while (last->firstChild) {
      last = last->firstChild;
      while (last->next) last = last->next;
    }
    if (last->id == ID_JUNK) model_.erase(last);
    iff_.Close();
  }

  // Empty when the stream re-parses to the same tree, every data chunk holds what the model says
  // and the bytes before the start are untouched; this holds for every stream the parse accepted.
  // `wellFormed` (for streams that began well-formed) checks more: containers hold exactly their
  // type and their children with pad bytes; the top-level chunks end where the stream ends, and
  // JUNK among them holds at least 4 bytes (else it would not be read back at the end); pad bytes
  // are zero.
  std::string Verify(bool wellFormed = true) {
    std::string problems = std::exchange(failures_, {});
    const std::vector<uint8_t>& bytes = stream_.Bytes();
    problems += ReparseDifference(stream_, start_, iff_);
    if (!std::equal(prefix_.begin(), prefix_.end(), bytes.begin())) problems += "bytes before the start changed\n";

    size_t leaves = 0;
    int64_t topLevelEnd = start_;
    for (TIFFChunk* node : AllNodes()) {
      const uint32_t size = iff_.GetChunkSize(node);
      const std::string where = IDText(node->id) + "@" + std::to_string(node->position) + ": ";
      if (!IsContainerID(node->id)) {
        ++leaves;
        const auto it = model_.find(node);
        if (it == model_.end()) {
          problems += where + "not in the model\n";
        } else if (Data(node) != it->second) {
          problems += where + "data differ from the model\n";
        }
      }
      if (!wellFormed) continue;
      if (node->parent == iff_.GetRoot()) {
        topLevelEnd += Extent(size);
        if (node->id == ID_JUNK && size < 4) problems += where + "top-level JUNK shorter than 4 bytes\n";
      }
      if (const auto pad = static_cast<size_t>(node->position + 8 + size); (size & 1) && (pad >= bytes.size() || bytes[pad] != 0)) {
        problems += where + "pad byte missing or not zero\n";
      }
      if (IsContainerID(node->id)) {
        int64_t expected = 4;
        for (TIFFChunk* child = node->firstChild; child; child = child->next) expected += Extent(iff_.GetChunkSize(child));
        if (int64_t{size} != expected) problems += where + "size " + std::to_string(size) + ", children need " + std::to_string(expected) + "\n";
      }
    }
    if (leaves != model_.size()) problems += "the model holds chunks that are gone\n";
    if (wellFormed && stream_.Size() != topLevelEnd) problems += "stream does not end with the last top-level chunk\n";
    return problems;
  }

 private:
  static constexpr TChunkID kContainerIDs[] = {ID_FORM, ID_RIFF, ID_LIST, ID_CAT};
  static constexpr TChunkID kLeafIDs[] = {MakeChunkID("DATA"), MakeChunkID("TEXT"), ID_JUNK};
  static constexpr TChunkID kTypes[] = {MakeChunkID("AAAA"), MakeChunkID("BBBB"), ID_SPACES};

  static int64_t Extent(uint32_t size) { return 8 + int64_t{size} + (size & 1); }

  template <class T, size_t N>
  T OneOf(const T (&values)[N]) {
    return values[pick_(N)];
  }

  std::string Data(TIFFChunk* node) {
    std::string data(iff_.GetChunkSize(node), '\0');
    iff_.ReadChunkData(node, data.data(), static_cast<uint32_t>(data.size()));
    return data;
  }

  std::vector<TIFFChunk*> AllNodes() { return Descendants(iff_.GetRoot()); }

  static std::vector<TIFFChunk*> Descendants(TIFFChunk* top) {
    std::vector<TIFFChunk*> nodes;
    std::vector<TIFFChunk*> pending{top};
    while (!pending.empty()) {
      TIFFChunk* node = pending.back();
      pending.pop_back();
      for (TIFFChunk* child = node->firstChild; child; child = child->next) {
        nodes.push_back(child);
        pending.push_back(child);
      }
    }
    return nodes;
  }

  TIFFChunk* RandomContainer(const std::vector<TIFFChunk*>& nodes) {
    std::vector<TIFFChunk*> containers{iff_.GetRoot()};
    for (TIFFChunk* node : nodes) {
      if (IsContainerID(node->id)) containers.push_back(node);
    }
    return containers[pick_(containers.size())];
  }

  // A data chunk's ID and size for a parent: at top level only JUNK of at least 4 bytes is read
  // back at the end of the stream.
  std::pair<TChunkID, uint32_t> LeafFor(TIFFChunk* parent) {
    if (parent == iff_.GetRoot()) return {ID_JUNK, static_cast<uint32_t>(4 + pick_(30))};
    return {OneOf(kLeafIDs), static_cast<uint32_t>(pick_(34))};
  }

  std::string RandomData(uint32_t size) {
    std::string data(size, '\0');
    for (char& c : data) c = static_cast<char>('a' + pick_(26));
    return data;
  }

  void ForgetBelow(TIFFChunk* node) {
    for (TIFFChunk* below : Descendants(node)) model_.erase(below);
  }

  TMemoryStream& stream_;
  TIFFStream& iff_;
  Pick pick_;
  int64_t start_;
  std::vector<uint8_t> prefix_;
  std::string failures_;
  std::unordered_map<const TIFFChunk*, std::string> model_;
};

}  // namespace veltra::test
