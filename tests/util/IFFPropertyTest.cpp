// Random edit sequences on a chunk stream, checked after every step against a re-parse of the bytes
// and against a model of every data chunk's contents.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "IFFTestSupport.h"
#include "util/IFF.h"

namespace veltra {
namespace {

using test::Describe;

constexpr TChunkID kContainerIDs[] = {ID_FORM, ID_RIFF, ID_LIST, ID_CAT};
constexpr TChunkID kLeafIDs[] = {MakeChunkID("DATA"), MakeChunkID("TEXT"), ID_JUNK};
const TChunkID kTypes[] = {MakeChunkID("AAAA"), MakeChunkID("BBBB"), ID_SPACES};

int64_t Extent(uint32_t size) { return 8 + int64_t{size} + (size & 1); }

class EditRun {
 public:
  explicit EditRun(uint32_t seed) : random_(seed), prefix_(Pick(4), 'p') {
    stream_ = std::make_unique<TMemoryStream>(std::vector<uint8_t>(prefix_.begin(), prefix_.end()));
    stream_->SetPosition(static_cast<int64_t>(prefix_.size()));
    iff_ = std::make_unique<TIFFStream>(*stream_, true);
  }

  void Step() {
    std::vector<TIFFChunk*> nodes = AllNodes();
    TIFFChunk* node = nodes.empty() ? nullptr : nodes[Pick(nodes.size())];
    TIFFChunk* root = iff_->GetRoot();
    switch (Pick(11)) {
      case 0:
        iff_->AddContainer(RandomContainer(nodes), OneOf(kContainerIDs), OneOf(kTypes));
        break;
      case 1:
        if (node) iff_->AddContainerAfter(node, OneOf(kContainerIDs), OneOf(kTypes));
        break;
      case 2: {  // a data chunk as last child
        TIFFChunk* parent = RandomContainer(nodes);
        const auto [id, size] = LeafFor(parent);
        const std::string data = RandomData(size);
        TIFFChunk* added = iff_->AddChunk(parent, id, size);
        iff_->SeekData(added, 0);
        stream_->WriteBuffer(data.data(), data.size());
        model_[added] = data;
        break;
      }
      case 3:
        if (node) {
          const auto [id, size] = LeafFor(node->parent);
          const std::string data = RandomData(std::max<uint32_t>(size, 1));
          model_[iff_->AddChunkAfterWithData(node, id, static_cast<uint32_t>(data.size()), data.data())] = data;
        }
        break;
      case 4: {  // WriteChunk with replace below a container
        TIFFChunk* parent = RandomContainer(nodes);
        if (parent == root) break;
        const TChunkID id = OneOf(kLeafIDs);
        const std::string data = RandomData(static_cast<uint32_t>(Pick(34)));
        const TChunkID ids[] = {id};
        if (TIFFChunk* old = iff_->FindChunk(parent, ids, 0); old && data.empty()) model_.erase(old);
        if (TIFFChunk* written = iff_->WriteChunk(parent, id, true, static_cast<uint32_t>(data.size()), data.data())) {
          model_[written] = data;
        }
        break;
      }
      case 5:
        if (node && !IsContainerID(node->id)) {
          const uint32_t size = LeafFor(node->parent).second;
          iff_->SetChunkSize(node, size);
          model_[node].resize(size, '\0');
        }
        break;
      case 6:
        if (node && IsContainerID(node->id)) {
          iff_->SetChunkID(node, OneOf(kContainerIDs));
        } else if (node && node->parent != root) {
          iff_->SetChunkID(node, OneOf(kLeafIDs));
        }
        break;
      case 7:
        if (node && IsContainerID(node->id)) {
          const TChunkID type = OneOf(kTypes);
          const bool tooSmall = type != node->type && iff_->GetChunkSize(node) < 12;
          try {
            iff_->SetTypeID(node, type);
            EXPECT_FALSE(tooSmall);
          } catch (const EIFFError&) {
            EXPECT_TRUE(tooSmall);
          }
        }
        break;
      case 8:
        if (node && IsContainerID(node->id)) {
          ForgetSubtree(node, false);
          iff_->ResetChunk(node, OneOf(kContainerIDs), 4);
        } else if (node && node->parent != root) {
          const uint32_t size = LeafFor(node->parent).second;
          iff_->ResetChunk(node, OneOf(kLeafIDs), size);
          std::string& data = model_[node];
          data.resize(size, '\0');
          if (size >= 4) data.replace(0, 4, "    ");
        }
        break;
      case 9:
        if (node) {
          ForgetSubtree(node, true);
          iff_->RemoveChunk(node);
        }
        break;
      case 10: {
        const bool topLevelOnly = Pick(2) == 0;
        for (TIFFChunk* n : nodes) {
          if (n->id == ID_JUNK && (!topLevelOnly || n->parent == root)) model_.erase(n);
        }
        iff_->CompactJunk(topLevelOnly);
        break;
      }
    }
  }

  void Close() {
    TIFFChunk* last = iff_->GetRoot();
    while (last->firstChild) {
      last = last->firstChild;
      while (last->next) last = last->next;
    }
    if (last->id == ID_JUNK) model_.erase(last);
    iff_->Close();
  }

  // The stream re-parses to the same tree; containers hold exactly their type and their children
  // with pad bytes; the top-level chunks end where the stream ends; every data chunk holds what
  // the model says; pad bytes are zero; the bytes before the start are untouched.
  void Verify() {
    TMemoryStream copy(stream_->Bytes());
    copy.SetPosition(static_cast<int64_t>(prefix_.size()));
    TIFFStream reread(copy, false);
    ASSERT_EQ(Describe(reread.GetRoot()), Describe(iff_->GetRoot()));

    const std::vector<uint8_t>& bytes = stream_->Bytes();
    ASSERT_EQ(std::string(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(prefix_.size())), prefix_);
    size_t leaves = 0;
    int64_t topLevelEnd = static_cast<int64_t>(prefix_.size());
    for (TIFFChunk* node : AllNodes()) {
      const uint32_t size = iff_->GetChunkSize(node);
      if (node->parent == iff_->GetRoot()) topLevelEnd += Extent(size);
      if (size & 1) {
        ASSERT_EQ(bytes[static_cast<size_t>(node->position + 8 + size)], 0);
      }
      if (IsContainerID(node->id)) {
        int64_t expected = 4;
        for (TIFFChunk* child = node->firstChild; child; child = child->next) {
          expected += Extent(iff_->GetChunkSize(child));
        }
        ASSERT_EQ(int64_t{size}, expected);
      } else {
        ++leaves;
        const auto it = model_.find(node);
        ASSERT_NE(it, model_.end());
        std::string data(size, '\0');
        iff_->ReadChunkData(node, data.data(), size);
        ASSERT_EQ(data, it->second);
      }
    }
    ASSERT_EQ(leaves, model_.size());
    ASSERT_EQ(stream_->Size(), topLevelEnd);
  }

 private:
  size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }
  template <class T, size_t N>
  T OneOf(const T (&values)[N]) {
    return values[Pick(N)];
  }

  std::vector<TIFFChunk*> AllNodes() {
    std::vector<TIFFChunk*> nodes;
    std::vector<TIFFChunk*> pending{iff_->GetRoot()};
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
    std::vector<TIFFChunk*> containers{iff_->GetRoot()};
    for (TIFFChunk* node : nodes) {
      if (IsContainerID(node->id)) containers.push_back(node);
    }
    return containers[Pick(containers.size())];
  }

  // A data chunk's ID and size for a parent: at top level only JUNK of at least 4 bytes is
  // re-parsed at the end of the stream.
  std::pair<TChunkID, uint32_t> LeafFor(TIFFChunk* parent) {
    if (parent == iff_->GetRoot()) return {ID_JUNK, static_cast<uint32_t>(4 + Pick(30))};
    return {OneOf(kLeafIDs), static_cast<uint32_t>(Pick(34))};
  }

  std::string RandomData(uint32_t size) {
    std::string data(size, '\0');
    for (char& c : data) c = static_cast<char>('a' + Pick(26));
    return data;
  }

  void ForgetSubtree(TIFFChunk* node, bool withNode) {
    if (withNode) model_.erase(node);
    std::vector<TIFFChunk*> pending{node};
    while (!pending.empty()) {
      TIFFChunk* current = pending.back();
      pending.pop_back();
      for (TIFFChunk* child = current->firstChild; child; child = child->next) {
        model_.erase(child);
        pending.push_back(child);
      }
    }
  }

  std::mt19937 random_;
  std::string prefix_;
  std::unique_ptr<TMemoryStream> stream_;
  std::unique_ptr<TIFFStream> iff_;
  std::unordered_map<const TIFFChunk*, std::string> model_;
};

TEST(IFFStreamProperty, RandomEditSequencesKeepTreeAndBytesConsistent) {
  constexpr uint32_t kSequences = 3000;
  constexpr int kSteps = 40;
  for (uint32_t seed = 1; seed <= kSequences; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    EditRun run(seed);
    for (int step = 0; step < kSteps; ++step) {
      run.Step();
      ASSERT_NO_FATAL_FAILURE(run.Verify()) << "after step " << step;
    }
    run.Close();
    ASSERT_NO_FATAL_FAILURE(run.Verify()) << "after closing";
  }
}

}  // namespace
}  // namespace veltra
