#include "util/IFF.h"

#include <algorithm>
#include <limits>

namespace veltra {

namespace {

constexpr const char* kNotValid = "This is not a valid IFF stream.";
constexpr int64_t kMoveBlock = 32768;
// JUNK whose removal would move more following data than this is kept by CompactJunk.
constexpr int64_t kCompactLimit = 0xA00000;
constexpr uint8_t kSpaces[4] = {' ', ' ', ' ', ' '};

// Header, data and pad byte.
constexpr int64_t Extent(uint32_t size) { return 8 + static_cast<int64_t>(size) + (size & 1); }

void StoreU32(uint8_t* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Frees `node`, the siblings that follow it and all their descendants, without recursion: each
// node's children are spliced into the chain right behind it before it is freed.
void FreeChain(TIFFChunk* node) {
  while (node) {
    if (TIFFChunk* child = node->firstChild) {
      TIFFChunk* last = child;
      while (last->next) last = last->next;
      last->next = node->next;
      node->next = child;
    }
    TIFFChunk* next = node->next;
    delete node;
    node = next;
  }
}

// Pre-order walk over the descendants of `top`; visit(node, level) answers whether to descend into
// the node's children. The children of `top` are level 1.
template <class Visit>
void Walk(TIFFChunk* top, Visit&& visit) {
  TIFFChunk* node = top->firstChild;
  int64_t level = 1;
  while (node) {
    if (visit(node, level) && node->firstChild) {
      node = node->firstChild;
      ++level;
      continue;
    }
    while (node != top && !node->next) {
      node = node->parent;
      --level;
    }
    node = node == top ? nullptr : node->next;
  }
}

// The search of FindChunk over the sibling list that begins with `first`: first the list itself,
// then each member's subtree in turn, where every child list is looked through before descending.
template <class Match>
TIFFChunk* Search(TIFFChunk* first, int32_t depth, Match&& match) {
  for (TIFFChunk* node = first; node; node = node->next) {
    if (match(*node)) return node;
  }
  const auto allowed = [depth](int64_t level) { return depth < 0 || level <= depth; };
  if (!first || !allowed(2)) return nullptr;
  TIFFChunk* current = first;  // the node whose children are looked through, at `level`
  int64_t level = 2;
  while (true) {
    for (TIFFChunk* node = current->firstChild; node; node = node->next) {
      if (match(*node)) return node;
    }
    if (current->firstChild && allowed(level + 1)) {
      current = current->firstChild;
      ++level;
      continue;
    }
    while (!current->next) {
      if (level == 2) return nullptr;  // the last member of the first list is done
      current = current->parent;
      --level;
    }
    current = current->next;
  }
}

auto MatchID(std::span<const TChunkID> ids) {
  return [ids](const TIFFChunk& node) { return std::find(ids.begin(), ids.end(), node.id) != ids.end(); };
}

auto MatchPair(std::span<const TChunkTypePair> pairs) {
  return [pairs](const TIFFChunk& node) {
    return IsContainerID(node.id) && std::any_of(pairs.begin(), pairs.end(), [&](const TChunkTypePair& p) {
             return p.id == node.id && p.type == node.type;
           });
  };
}

void Unlink(TIFFChunk* node) {
  TIFFChunk** link = &node->parent->firstChild;
  while (*link != node) link = &(*link)->next;
  *link = node->next;
  node->next = nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Creation, opening and closing

TIFFStream::TIFFStream(TStream& stream, bool modifiable, LoadNotify onLoad)
    : stream_(&stream), modifiable_(modifiable) {
  Open(onLoad);
}

TIFFStream::TIFFStream(std::unique_ptr<TStream> stream, bool modifiable, LoadNotify onLoad)
    : ownedStream_(std::move(stream)), stream_(ownedStream_.get()), modifiable_(modifiable) {
  Open(onLoad);
}

TIFFStream::~TIFFStream() {
  try {
    Close();
  } catch (...) {
    // A destructor cannot report; callers that need the outcome call Close themselves.
  }
  DropChildren(&root_);
}

void TIFFStream::Open(const LoadNotify& onLoad) {
  start_ = stream_->Position();
  root_ = TIFFChunk{start_, ID_RIFF, ID_ROOT, nullptr, nullptr, nullptr};
  const int64_t size = stream_->Size();
  if (size - start_ < 12) return;
  const TChunkID firstID = ReadU32(start_);
  if ((!IsContainerID(firstID) && firstID != ID_JUNK) || start_ + 8 + ReadU32(start_ + 4) > size) {
    throw EStreamCreateError(kNotValid);
  }

  // The root is parsed like a container reaching to the end of the stream, except that its
  // chunks must be containers or JUNK and the scan ends quietly when fewer than 12 bytes remain.
  // A chunk that cannot be read ends only the container it lies in: the parse goes on behind that
  // container, whose extent was checked against its own parent.
  struct Frame {
    TIFFChunk* node;
    int64_t cursor;
    int64_t end;
    TIFFChunk* last;
  };
  std::vector<Frame> frames{{&root_, start_, size, nullptr}};
  try {
    while (!frames.empty()) {
      Frame& frame = frames.back();
      const bool topLevel = frames.size() == 1;
      if (frame.cursor >= frame.end) {
        frames.pop_back();
        continue;
      }
      if (frame.end - frame.cursor < (topLevel ? 12 : 8)) {
        if (topLevel) break;
        frames.pop_back();
        continue;
      }
      const TChunkID id = ReadU32(frame.cursor);
      const uint32_t chunkSize = ReadU32(frame.cursor + 4);
      const int64_t chunkEnd = frame.cursor + 8 + chunkSize;
      const bool container = IsContainerID(id);
      if (chunkEnd > frame.end || (topLevel && !container && id != ID_JUNK) ||
          (container && chunkSize < 4)) {
        if (topLevel) break;
        frames.pop_back();
        continue;
      }
      auto* node = new TIFFChunk{frame.cursor, id, container ? ReadU32(frame.cursor + 8) : 0,
                                 frame.node, nullptr, nullptr};
      (frame.last ? frame.last->next : frame.node->firstChild) = node;
      frame.last = node;
      frame.cursor += Extent(chunkSize);
      if (container) frames.push_back({node, node->position + 12, chunkEnd, nullptr});
    }
    if (root_.firstChild && onLoad) onLoad(*this);
  } catch (...) {
    // The object is not made: nobody else frees the nodes.
    DropChildren(&root_);
    throw;
  }
}

void TIFFStream::Close() {
  if (closed_) return;
  closed_ = true;
  if (!modifiable_) return;
  if (compactOnClose_) CompactJunk(false);
  TIFFChunk* last = LastChild(&root_);
  if (!last) return;
  while (TIFFChunk* child = LastChild(last)) last = child;
  if (last->id == ID_JUNK) {
    RemoveChunk(last);
  } else if (const int64_t end = PaddedEnd(last); stream_->Size() < end) {
    stream_->SetSize(end);
  }
}

void TIFFStream::CompactJunk(bool topLevelOnly) {
  std::vector<TIFFChunk*> junk;
  Walk(&root_, [&](TIFFChunk* node, int64_t) {
    if (node->id == ID_JUNK) junk.push_back(node);
    return !topLevelOnly;
  });
  // JUNK has no children, so removing one leaves the other collected nodes valid.
  for (auto it = junk.rbegin(); it != junk.rend(); ++it) {
    TIFFChunk* node = *it;
    const int64_t end = PaddedEnd(node);
    const int64_t following = stream_->Size() - end;
    if (following > kCompactLimit && following >= end - node->position) continue;
    RemoveChunk(node);
  }
}

void TIFFStream::Clear() {
  DropChildren(&root_);
  stream_->SetSize(start_);
}

// ---------------------------------------------------------------------------------------------
// Finding and counting

TIFFChunk* TIFFStream::FindByPosition(TIFFChunk* node, int64_t position) {
  if (!node) return nullptr;
  if (node != &root_ && node->position == position) return node;
  // Siblings lie in order of position: the wanted node is the one found, or below the last
  // sibling that starts before it.
  TIFFChunk* current = node->firstChild;
  while (current) {
    if (current->position == position) return current;
    current = current->next && current->next->position <= position ? current->next : current->firstChild;
  }
  return nullptr;
}

TIFFChunk* TIFFStream::FindChunk(TIFFChunk* parent, std::span<const TChunkID> ids, int32_t depth) {
  return parent ? Search(parent->firstChild, depth, MatchID(ids)) : nullptr;
}

TIFFChunk* TIFFStream::FindNextChunk(TIFFChunk* node, std::span<const TChunkID> ids, int32_t depth) {
  return node ? Search(node->next, depth, MatchID(ids)) : nullptr;
}

TIFFChunk* TIFFStream::FindContainer(TIFFChunk* parent, std::span<const TChunkTypePair> pairs,
                                     int32_t depth) {
  return parent ? Search(parent->firstChild, depth, MatchPair(pairs)) : nullptr;
}

TIFFChunk* TIFFStream::FindNextContainer(TIFFChunk* node, std::span<const TChunkTypePair> pairs,
                                         int32_t depth) {
  return node ? Search(node->next, depth, MatchPair(pairs)) : nullptr;
}

int32_t TIFFStream::CountChunks(TIFFChunk* parent, int32_t depth) {
  if (!parent) return 0;
  const int64_t lastLevel = depth > 0 ? int64_t{depth} + 1 : 1;
  int32_t count = 0;
  Walk(parent, [&](TIFFChunk*, int64_t level) {
    ++count;
    return level < lastLevel;
  });
  return count;
}

TIFFChunk* TIFFStream::GetChild(TIFFChunk* parent, int32_t index) {
  if (!parent || index < 0) return nullptr;
  TIFFChunk* child = parent->firstChild;
  for (; child && index > 0; --index) child = child->next;
  return child;
}

// ---------------------------------------------------------------------------------------------
// Sizes and data

uint32_t TIFFStream::GetChunkSize(TIFFChunk* node) {
  if (!node) return 0;
  if (node == &root_) {
    throw EIFFError(
        "Size of the virtual root node cannot be gotten with GetChunkSize. Use GetChunkSizeLarge "
        "instead.");
  }
  return ReadU32(node->position + 4);
}

int64_t TIFFStream::GetChunkSizeLarge(TIFFChunk* node) {
  if (!node) return 0;
  if (node != &root_) return ReadU32(node->position + 4);
  int64_t total = 0;
  for (TIFFChunk* child = root_.firstChild; child; child = child->next) {
    total += int64_t{ReadU32(child->position + 4)} + 8;
  }
  return total;
}

void TIFFStream::SetChunkSize(TIFFChunk* node, uint32_t size) {
  if (!node) return;
  if (node == &root_) throw EIFFError("Size of the virtual root node cannot be set.");
  Resize(node, size);
}

bool TIFFStream::ReadChunkData(TIFFChunk* node, void* buffer, uint32_t size) {
  if (!node) return false;
  const uint32_t chunkSize = GetChunkSize(node);
  SeekData(node, 0);
  stream_->ReadBuffer(buffer, std::min(size, chunkSize));
  return chunkSize >= size;
}

bool TIFFStream::ReadChunk(TIFFChunk* parent, TChunkID id, uint32_t size, void* buffer) {
  const TChunkID ids[] = {id};
  return ReadChunkData(FindChunk(parent, ids, 0), buffer, size);
}

void TIFFStream::CopyChunkTo(TIFFChunk* node, TStream& target) {
  if (!node) return;
  const uint32_t size = GetChunkSize(node);
  stream_->SetPosition(node->position);
  target.CopyFrom(*stream_, int64_t{size} + 8);
}

int64_t TIFFStream::GetChunkPosition(TIFFChunk* node) { return node ? node->position : -1; }

void TIFFStream::SeekData(TIFFChunk* node, int64_t offset) {
  if (!node) return;
  const int64_t data = DataStart(node);
  if (offset > std::numeric_limits<int64_t>::max() - data) throw EStreamError("Invalid stream position");
  stream_->SetPosition(data + offset);
}

// ---------------------------------------------------------------------------------------------
// Adding

TIFFChunk* TIFFStream::AddChunk(TIFFChunk* parent, TChunkID id, uint32_t size) {
  if (!parent) throw EIFFError("IFF chunks may not be added to nil chunks.");
  if (TIFFChunk* last = LastChild(parent)) return AddChunkAfter(last, id, size);
  if (!CanHoldChildren(parent)) throw EIFFError("IFF chunks can only be added to standard chunks.");
  return InsertAt(parent, nullptr, parent == &root_ ? start_ : parent->position + 12, id, size);
}

TIFFChunk* TIFFStream::AddChunkAfter(TIFFChunk* sibling, TChunkID id, uint32_t size) {
  if (!sibling) throw EIFFError("IFF chunks cannot be added below nil chunks.");
  if (sibling == &root_) throw EIFFError("IFF chunks cannot be added below the virtual root chunk.");
  return InsertAt(sibling->parent, sibling, PaddedEnd(sibling), id, size);
}

TIFFChunk* TIFFStream::AddContainer(TIFFChunk* parent, TChunkID id, TChunkID type) {
  TIFFChunk* node = AddChunk(parent, id, 4);
  WriteContainerType(node, type);
  KeepListType(parent, type);
  return node;
}

TIFFChunk* TIFFStream::AddContainerAfter(TIFFChunk* sibling, TChunkID id, TChunkID type) {
  TIFFChunk* node = AddChunkAfter(sibling, id, 4);
  WriteContainerType(node, type);
  KeepListType(node->parent, type);
  return node;
}

TIFFChunk* TIFFStream::WriteChunk(TIFFChunk* parent, TChunkID id, bool replace, uint32_t size,
                                  const void* data) {
  TIFFChunk* node = nullptr;
  if (replace) {
    const TChunkID ids[] = {id};
    node = FindChunk(parent, ids, 0);
    if (node && size == 0) {
      RemoveChunk(node);
      return nullptr;
    }
    if (node) Resize(node, size);
  }
  if (!node) {
    if (size == 0) return nullptr;
    node = AddChunk(parent, id, size);
  }
  if (data) {
    SeekData(node, 0);
    stream_->WriteBuffer(data, size);
  }
  return node;
}

TIFFChunk* TIFFStream::AddChunkAfterWithData(TIFFChunk* sibling, TChunkID id, uint32_t size,
                                             const void* data) {
  if (size == 0) return nullptr;
  TIFFChunk* node = AddChunkAfter(sibling, id, size);
  if (data) {
    SeekData(node, 0);
    stream_->WriteBuffer(data, size);
  }
  return node;
}

// ---------------------------------------------------------------------------------------------
// Removing and changing

void TIFFStream::RemoveChunk(TIFFChunk*& node) {
  if (!node) return;
  if (node == &root_) throw EIFFError("Virtual root chunk cannot be removed.");
  TIFFChunk* parent = node->parent;
  CoverLastPads(parent);
  const int64_t end = PaddedEnd(node);
  const int64_t extent = end - node->position;
  MoveTail(end, -extent);
  Unlink(node);
  FreeChain(node);
  node = nullptr;
  Relocate(parent, end, -extent);
}

void TIFFStream::ResetChunk(TIFFChunk* node, TChunkID id, uint32_t size) {
  if (!node) return;
  RefuseRoot(node);
  Resize(node, size);
  DropChildren(node);
  node->id = id;
  node->type = IsContainerID(id) && size >= 4 ? ID_SPACES : 0;
  WriteU32(node->position, id);
  if (size >= 4) {
    stream_->SetPosition(node->position + 8);
    stream_->WriteBuffer(kSpaces, sizeof kSpaces);
  }
}

void TIFFStream::SetChunkID(TIFFChunk* node, TChunkID id) {
  if (!node) return;
  RefuseRoot(node);
  if (node->id == id) return;
  WriteU32(node->position, id);
  const bool wasContainer = IsContainerID(node->id);
  node->id = id;
  if (wasContainer && !IsContainerID(id)) {
    // Its data is no longer a list of chunks.
    DropChildren(node);
    node->type = 0;
  } else if (!wasContainer && IsContainerID(id)) {
    node->type = ReadU32(node->position + 4) >= 4 ? ReadU32(node->position + 8) : 0;
  }
}

void TIFFStream::SetTypeID(TIFFChunk* node, TChunkID type) {
  if (!node) return;
  RefuseRoot(node);
  if (node->type == type) return;
  if (ReadU32(node->position + 4) < 12) {
    throw EIFFError("IFF chunk is too small to contain a type ID that can be changed.");
  }
  WriteContainerType(node, type);
}

// ---------------------------------------------------------------------------------------------
// Helpers

uint32_t TIFFStream::ReadU32(int64_t position) {
  uint8_t bytes[4];
  stream_->SetPosition(position);
  stream_->ReadBuffer(bytes, sizeof bytes);
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

void TIFFStream::WriteU32(int64_t position, uint32_t value) {
  uint8_t bytes[4];
  StoreU32(bytes, value);
  stream_->SetPosition(position);
  stream_->WriteBuffer(bytes, sizeof bytes);
}

int64_t TIFFStream::DataStart(const TIFFChunk* node) const {
  return node == &root_ ? start_ : node->position + 8;
}

int64_t TIFFStream::PaddedEnd(TIFFChunk* node) {
  if (node != &root_) return node->position + Extent(ReadU32(node->position + 4));
  TIFFChunk* last = LastChild(node);
  return last ? PaddedEnd(last) : start_;
}

TIFFChunk* TIFFStream::LastChild(TIFFChunk* parent) const {
  TIFFChunk* child = parent->firstChild;
  while (child && child->next) child = child->next;
  return child;
}

bool TIFFStream::CanHoldChildren(TIFFChunk* node) {
  return node == &root_ || (IsContainerID(node->id) && ReadU32(node->position + 4) >= 4);
}

void TIFFStream::RefuseRoot(const TIFFChunk* node) const {
  // The root has no header in the stream: writing one would overwrite the first chunk.
  if (node == &root_) throw EIFFError("Virtual root chunk cannot be changed.");
}

void TIFFStream::MoveTail(int64_t position, int64_t length) {
  int64_t size = stream_->Size();
  if (position > size) {
    stream_->SetSize(position);
    size = position;
  }
  if (length == 0) return;
  const int64_t tail = size - position;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min(kMoveBlock, std::max<int64_t>(tail, 1))));
  const auto move = [&](int64_t from, int64_t count) {
    stream_->SetPosition(from);
    stream_->ReadBuffer(buffer.data(), static_cast<size_t>(count));
    stream_->SetPosition(from + length);
    stream_->WriteBuffer(buffer.data(), static_cast<size_t>(count));
  };
  if (length > 0) {
    if (size > std::numeric_limits<int64_t>::max() - length) throw EWriteError();
    stream_->SetSize(size + length);
    for (int64_t left = tail; left > 0;) {  // back to front
      const int64_t count = std::min<int64_t>(left, static_cast<int64_t>(buffer.size()));
      left -= count;
      move(position + left, count);
    }
    // The gap still holds the old bytes where the tail was; the rest is new and already zero.
    std::fill(buffer.begin(), buffer.end(), uint8_t{0});
    stream_->SetPosition(position);
    for (int64_t left = std::min(length, tail); left > 0;) {
      const int64_t count = std::min<int64_t>(left, static_cast<int64_t>(buffer.size()));
      stream_->WriteBuffer(buffer.data(), static_cast<size_t>(count));
      left -= count;
    }
  } else {
    for (int64_t done = 0; done < tail;) {  // front to back
      const int64_t count = std::min<int64_t>(tail - done, static_cast<int64_t>(buffer.size()));
      move(position + done, count);
      done += count;
    }
    stream_->SetSize(size + length);
  }
}

void TIFFStream::CoverLastPads(TIFFChunk* parent) {
  for (TIFFChunk* node = parent; node != &root_; node = node->parent) {
    TIFFChunk* last = LastChild(node);
    if (!last) continue;
    const int64_t dataStart = node->position + 8;
    const int64_t covered = PaddedEnd(last) - dataStart;
    if (covered <= int64_t{ReadU32(node->position + 4)}) continue;
    if (covered > int64_t{std::numeric_limits<uint32_t>::max()}) {
      throw EIFFError("IFF chunk cannot grow beyond 4 GiB.");
    }
    WriteU32(node->position + 4, static_cast<uint32_t>(covered));
    // The pad byte was the container's own; a stream that ended without it gets it now.
    if (stream_->Size() < dataStart + covered) stream_->SetSize(dataStart + covered);
  }
}

void TIFFStream::CheckGrowth(TIFFChunk* parent, int64_t delta) {
  for (TIFFChunk* node = parent; node != &root_; node = node->parent) {
    if (int64_t{ReadU32(node->position + 4)} + delta > int64_t{std::numeric_limits<uint32_t>::max()}) {
      throw EIFFError("IFF chunk cannot grow beyond 4 GiB.");
    }
  }
}

void TIFFStream::Relocate(TIFFChunk* parent, int64_t position, int64_t delta) {
  if (delta == 0) return;
  for (TIFFChunk* node = parent; node != &root_; node = node->parent) {
    WriteU32(node->position + 4, static_cast<uint32_t>(ReadU32(node->position + 4) + delta));
  }
  Walk(&root_, [&](TIFFChunk* node, int64_t) {
    if (node->position >= position) node->position += delta;
    return true;
  });
}

void TIFFStream::Resize(TIFFChunk* node, uint32_t size) {
  CoverLastPads(node->parent);
  const uint32_t oldSize = ReadU32(node->position + 4);
  const int64_t end = node->position + Extent(oldSize);
  const int64_t delta = Extent(size) - Extent(oldSize);
  if (delta > 0) CheckGrowth(node->parent, delta);
  if (size < oldSize) DropChildrenBeyond(node, node->position + 8 + size);
  MoveTail(end, delta);
  Relocate(node->parent, end, delta);
  WriteU32(node->position + 4, size);
  const uint8_t zero = 0;
  if (size > oldSize && (oldSize & 1)) {
    // The old pad byte becomes data: like the rest of the new space it reads zero, whatever a
    // writer left in it.
    stream_->SetPosition(node->position + 8 + oldSize);
    stream_->WriteBuffer(&zero, 1);
  }
  if (size & 1) {
    stream_->SetPosition(node->position + 8 + size);
    stream_->WriteBuffer(&zero, 1);
  }
}

TIFFChunk* TIFFStream::InsertAt(TIFFChunk* parent, TIFFChunk* after, int64_t position, TChunkID id,
                                uint32_t size) {
  auto node = std::make_unique<TIFFChunk>();
  const int64_t extent = Extent(size);
  CoverLastPads(parent);
  CheckGrowth(parent, extent);
  MoveTail(position, extent);
  Relocate(parent, position, extent);

  uint8_t header[12];
  StoreU32(header, id);
  StoreU32(header + 4, size);
  std::copy(std::begin(kSpaces), std::end(kSpaces), header + 8);
  stream_->SetPosition(position);
  stream_->WriteBuffer(header, size >= 4 ? 12 : 8);

  *node = TIFFChunk{position, id, IsContainerID(id) && size >= 4 ? ID_SPACES : 0, parent, nullptr,
                    after ? after->next : parent->firstChild};
  (after ? after->next : parent->firstChild) = node.get();
  return node.release();
}

void TIFFStream::WriteContainerType(TIFFChunk* container, TChunkID type) {
  WriteU32(container->position + 8, type);
  if (IsContainerID(container->id)) container->type = type;
}

void TIFFStream::KeepListType(TIFFChunk* parent, TChunkID addedType) {
  if (parent->id != ID_LIST && parent->id != ID_CAT) return;
  TChunkID type = parent->type;
  if (!parent->firstChild->next) {
    type = parent->firstChild->type;
  } else if (type != ID_SPACES && type != addedType) {
    type = ID_SPACES;  // children of different types
  }
  if (type != parent->type) WriteContainerType(parent, type);
}

void TIFFStream::DropChildren(TIFFChunk* node) {
  FreeChain(node->firstChild);
  node->firstChild = nullptr;
}

void TIFFStream::DropChildrenBeyond(TIFFChunk* node, int64_t dataEnd) {
  TIFFChunk** link = &node->firstChild;
  while (*link && (*link)->position + 8 + ReadU32((*link)->position + 4) <= dataEnd) link = &(*link)->next;
  FreeChain(*link);
  *link = nullptr;
}

}  // namespace veltra
