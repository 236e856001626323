#pragma once
// The chunk stream of every saved setting and signal.
//
// A stream holds, from its start position, top-level chunks that are containers ("FORM", "RIFF",
// "LIST", "CAT ") or free space ("JUNK"). Each chunk is an 8-byte header (ID, 32-bit little-endian
// data size) followed by its data and, for an odd size, a pad byte 0, so every chunk starts at an
// even offset from the start. A container's data begins with a 4-byte type ID followed by its
// child chunks.
//
// TIFFStream parses the stream into a tree of TIFFChunk nodes below a virtual root ("RIFF", type
// "ROOT", at the start position, no header in the stream) and edits that tree in place: adding,
// resizing and removing a chunk moves the bytes behind it and updates the sizes of the enclosing
// containers and the positions of the following nodes, so a file is updated without being
// rewritten. Opened gaps are filled with zeros.
//
// Hostile input: the parse trusts no size. A chunk that does not fit into its container, a
// container too small for its type, or a fragment too short for a header ends that container: the
// parse goes on behind it. At the top level, where only containers and JUNK may stand, such a
// chunk (or one that runs past the stream's end) ends the parse; what was read until then is kept.
// Positions are 64-bit, every step advances by at least a header, and the parse and every walk of
// the tree are iterative, so depth costs no stack.
//
// Edits keep what the parse accepted readable: after any edit the stream parses to the tree shown,
// also when a lax writer left a container's size short of its last child's pad byte.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

#include "util/IFF_IDs.h"
#include "util/Streams.h"

namespace veltra {

class EIFFError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One chunk of the tree. Nodes belong to their TIFFStream; a node pointer stays valid until the
// chunk is removed, reset (its children), renamed out of the containers (its children), or the
// stream object is freed.
struct TIFFChunk {
  int64_t position = 0;  // of the header in the stream
  TChunkID id = 0;
  TChunkID type = 0;  // containers only
  TIFFChunk* parent = nullptr;
  TIFFChunk* firstChild = nullptr;
  TIFFChunk* next = nullptr;
};

struct TChunkTypePair {
  TChunkID id;
  TChunkID type;
};

// Depth of the searches: 0 or 1 searches the children only, n > 1 searches n levels, a negative
// depth has no limit.
class IIFFStream {
 public:
  IIFFStream() = default;
  IIFFStream(const IIFFStream&) = delete;
  IIFFStream& operator=(const IIFFStream&) = delete;
  virtual ~IIFFStream() = default;

  // The virtual root: its children are the top-level chunks.
  virtual TIFFChunk* GetRoot() = 0;
  virtual TStream& GetStream() = 0;
  // Drops every node below the root and truncates the stream at the start position.
  virtual void Clear() = 0;
  // The node of `node`'s subtree whose header lies at `position`, or null.
  virtual TIFFChunk* FindByPosition(TIFFChunk* node, int64_t position) = 0;
  // The first child of `parent` with one of the IDs; failing that, each child's subtree in turn.
  virtual TIFFChunk* FindChunk(TIFFChunk* parent, std::span<const TChunkID> ids, int32_t depth) = 0;
  // As FindChunk, over the siblings that follow `node` and their subtrees.
  virtual TIFFChunk* FindNextChunk(TIFFChunk* node, std::span<const TChunkID> ids, int32_t depth) = 0;
  // As FindChunk and FindNextChunk, for containers whose ID and type match one pair.
  virtual TIFFChunk* FindContainer(TIFFChunk* parent, std::span<const TChunkTypePair> pairs,
                                   int32_t depth) = 0;
  virtual TIFFChunk* FindNextContainer(TIFFChunk* node, std::span<const TChunkTypePair> pairs,
                                       int32_t depth) = 0;
  // The number of children; with depth n > 0 also their descendants n levels further down.
  virtual int32_t CountChunks(TIFFChunk* parent, int32_t depth) = 0;
  // The index-th child, or null past the end.
  virtual TIFFChunk* GetChild(TIFFChunk* parent, int32_t index) = 0;
  // The data size (without header and pad byte). The root has none: EIFFError.
  virtual uint32_t GetChunkSize(TIFFChunk* node) = 0;
  // On the root: the sum of (size + 8) over the top-level chunks.
  virtual int64_t GetChunkSizeLarge(TIFFChunk* node) = 0;
  // Moves what follows by the difference of the padded sizes and writes the new size (and a pad
  // byte 0 for an odd size). The root: EIFFError.
  virtual void SetChunkSize(TIFFChunk* node, uint32_t size) = 0;
  // Appends a chunk of `size` zero bytes (the first four of them spaces) as the last child of a
  // container or of the root. EIFFError for a null parent or one that is no container.
  virtual TIFFChunk* AddChunk(TIFFChunk* parent, TChunkID id, uint32_t size) = 0;
  // AddChunk of a container with its type. Below a "LIST" or "CAT " the parent's type follows its
  // children: the type of an only child, four spaces once the children's types differ.
  virtual TIFFChunk* AddContainer(TIFFChunk* parent, TChunkID id, TChunkID type) = 0;
  virtual TIFFChunk* AddContainerAfter(TIFFChunk* sibling, TChunkID id, TChunkID type) = 0;
  // With replace, an existing child with the ID is resized (removed for size 0); otherwise, or
  // without one, a chunk is added when size > 0. Then `data` (size bytes, may be null) is written.
  virtual TIFFChunk* WriteChunk(TIFFChunk* parent, TChunkID id, bool replace, uint32_t size,
                                const void* data) = 0;
  // AddChunkAfter and the data; nothing (null) for size 0.
  virtual TIFFChunk* AddChunkAfterWithData(TIFFChunk* sibling, TChunkID id, uint32_t size,
                                           const void* data) = 0;
  // Reads min(size, chunk size) bytes; true when the chunk held at least `size` bytes.
  virtual bool ReadChunkData(TIFFChunk* node, void* buffer, uint32_t size) = 0;
  // ReadChunkData of the first direct child with the ID; false when there is none.
  virtual bool ReadChunk(TIFFChunk* parent, TChunkID id, uint32_t size, void* buffer) = 0;
  // As AddChunk, right behind `sibling`. EIFFError for a null sibling or the root.
  virtual TIFFChunk* AddChunkAfter(TIFFChunk* sibling, TChunkID id, uint32_t size) = 0;
  // Removes the chunk's bytes and its subtree and sets `node` to null. The root: EIFFError.
  virtual void RemoveChunk(TIFFChunk*& node) = 0;
  // Resizes, renames, rewrites the header (and four spaces for size >= 4), drops the children.
  virtual void ResetChunk(TIFFChunk* node, TChunkID id, uint32_t size) = 0;
  virtual void SetChunkID(TIFFChunk* node, TChunkID id) = 0;
  // Writes a new type; a chunk with fewer than 12 data bytes cannot take one: EIFFError.
  virtual void SetTypeID(TIFFChunk* node, TChunkID type) = 0;
  // Copies header and data (size + 8 bytes) to the position of another stream.
  virtual void CopyChunkTo(TIFFChunk* node, TStream& target) = 0;
  // The header's position in the stream (-1 for null).
  virtual int64_t GetChunkPosition(TIFFChunk* node) = 0;
  // Positions the stream at the node's data plus `offset`.
  virtual void SeekData(TIFFChunk* node, int64_t offset) = 0;
};

class TIFFStream final : public IIFFStream {
 public:
  // Called after an existing stream was parsed when it holds at least one chunk.
  using LoadNotify = std::function<void(TIFFStream&)>;

  // Parses the stream from its current position. A stream that does not begin with a container
  // or "JUNK" ending within it raises EStreamCreateError "This is not a valid IFF stream.".
  // `modifiable`: the stream may be changed when this object closes.
  TIFFStream(TStream& stream, bool modifiable, LoadNotify onLoad = {});
  TIFFStream(std::unique_ptr<TStream> stream, bool modifiable, LoadNotify onLoad = {});
  // Closes (see Close); errors at this point are swallowed, so call Close to see them.
  ~TIFFStream() override;

  // When modifiable: removes all JUNK chunks if compact-on-close is set; then removes the last
  // chunk in tree order if it is "JUNK", else makes the stream reach that chunk's padded end.
  // Later calls do nothing.
  void Close();
  bool CompactOnClose() const { return compactOnClose_; }
  void SetCompactOnClose(bool compact) { compactOnClose_ = compact; }
  // Removes the JUNK chunks (top-level ones, or all), last first, except one whose removal would
  // move more than 10 MiB of following data that is at least as large as the chunk itself.
  void CompactJunk(bool topLevelOnly);

  TIFFChunk* GetRoot() override { return &root_; }
  TStream& GetStream() override { return *stream_; }
  void Clear() override;
  TIFFChunk* FindByPosition(TIFFChunk* node, int64_t position) override;
  TIFFChunk* FindChunk(TIFFChunk* parent, std::span<const TChunkID> ids, int32_t depth) override;
  TIFFChunk* FindNextChunk(TIFFChunk* node, std::span<const TChunkID> ids, int32_t depth) override;
  TIFFChunk* FindContainer(TIFFChunk* parent, std::span<const TChunkTypePair> pairs,
                           int32_t depth) override;
  TIFFChunk* FindNextContainer(TIFFChunk* node, std::span<const TChunkTypePair> pairs,
                               int32_t depth) override;
  int32_t CountChunks(TIFFChunk* parent, int32_t depth) override;
  TIFFChunk* GetChild(TIFFChunk* parent, int32_t index) override;
  uint32_t GetChunkSize(TIFFChunk* node) override;
  int64_t GetChunkSizeLarge(TIFFChunk* node) override;
  void SetChunkSize(TIFFChunk* node, uint32_t size) override;
  TIFFChunk* AddChunk(TIFFChunk* parent, TChunkID id, uint32_t size) override;
  TIFFChunk* AddContainer(TIFFChunk* parent, TChunkID id, TChunkID type) override;
  TIFFChunk* AddContainerAfter(TIFFChunk* sibling, TChunkID id, TChunkID type) override;
  TIFFChunk* WriteChunk(TIFFChunk* parent, TChunkID id, bool replace, uint32_t size,
                        const void* data) override;
  TIFFChunk* AddChunkAfterWithData(TIFFChunk* sibling, TChunkID id, uint32_t size,
                                   const void* data) override;
  bool ReadChunkData(TIFFChunk* node, void* buffer, uint32_t size) override;
  bool ReadChunk(TIFFChunk* parent, TChunkID id, uint32_t size, void* buffer) override;
  TIFFChunk* AddChunkAfter(TIFFChunk* sibling, TChunkID id, uint32_t size) override;
  void RemoveChunk(TIFFChunk*& node) override;
  void ResetChunk(TIFFChunk* node, TChunkID id, uint32_t size) override;
  void SetChunkID(TIFFChunk* node, TChunkID id) override;
  void SetTypeID(TIFFChunk* node, TChunkID type) override;
  void CopyChunkTo(TIFFChunk* node, TStream& target) override;
  int64_t GetChunkPosition(TIFFChunk* node) override;
  void SeekData(TIFFChunk* node, int64_t offset) override;

 private:
  void Open(const LoadNotify& onLoad);
  bool ParseContainer(TIFFChunk* container, int64_t dataEnd, std::vector<TIFFChunk*>& pending);

  uint32_t ReadU32(int64_t position);
  void WriteU32(int64_t position, uint32_t value);
  int64_t DataStart(const TIFFChunk* node) const;
  int64_t PaddedEnd(TIFFChunk* node);
  TIFFChunk* LastChild(TIFFChunk* parent) const;
  // The node is the root or a container whose data can hold its type.
  bool CanHoldChildren(TIFFChunk* node);

  // Opens a zero-filled gap of `length` bytes at `position` (length > 0) or closes the `-length`
  // bytes before it (length < 0), moving everything behind it. A stream that ends before
  // `position` (the last chunk's pad byte missing) is first extended to it.
  void MoveTail(int64_t position, int64_t length);
  // A lax writer's container may end with its last child's data, leaving that child's pad byte to
  // its own. Before an edit inside `parent`, such sizes on the way up are made to cover the pad,
  // which moves nothing, so that the sizes the edit changes come out padded.
  void CoverLastPads(TIFFChunk* parent);
  // After a change of `delta` bytes at `position` inside `parent`: the enclosing containers' sizes
  // and the positions of the nodes at or behind `position` follow.
  void CheckGrowth(TIFFChunk* parent, int64_t delta);
  void Relocate(TIFFChunk* parent, int64_t position, int64_t delta);
  void Resize(TIFFChunk* node, uint32_t size);
  TIFFChunk* InsertAt(TIFFChunk* parent, TIFFChunk* after, int64_t position, TChunkID id,
                      uint32_t size);
  void WriteContainerType(TIFFChunk* container, TChunkID type);
  void KeepListType(TIFFChunk* parent, TChunkID addedType);
  void DropChildren(TIFFChunk* node);
  void DropChildrenBeyond(TIFFChunk* node, int64_t dataEnd);
  void RefuseRoot(const TIFFChunk* node) const;

  std::unique_ptr<TStream> ownedStream_;
  TStream* stream_;
  bool modifiable_;
  bool compactOnClose_ = false;
  bool closed_ = false;
  int64_t start_ = 0;
  TIFFChunk root_;
};

}  // namespace veltra
