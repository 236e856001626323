#pragma once
// A stream that reports sizes of many gibibytes without holding them: bytes never written (or
// written as the fill byte where nothing was held) read as the fill byte, 0 unless given, and take
// no memory. It lets the chunk stream's size arithmetic near 2^32 run in tests and fuzz targets. A
// fill other than 0 breaks the promise that SetSize extends with zeros; fuzz targets use 0xFF so
// that unwritten space never parses as chunks (8 zero bytes are an empty chunk, 0xFF bytes a chunk
// too large for anything), and check the chunk structure only.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "util/Streams.h"

namespace veltra::test {

class TSparseStream final : public TStream {
 public:
  explicit TSparseStream(uint8_t fill = 0) : fill_(fill) {}

  size_t Read(void* buffer, size_t count) override {
    if (position_ >= size_) return 0;
    const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), size_ - position_));
    auto* out = static_cast<uint8_t*>(buffer);
    for (size_t done = 0; done < n;) {
      const int64_t at = position_ + static_cast<int64_t>(done);
      const size_t inPage = static_cast<size_t>(at % kPage);
      const size_t piece = std::min(n - done, static_cast<size_t>(kPage) - inPage);
      const auto page = pages_.find(at / kPage);
      if (page == pages_.end()) {
        std::memset(out + done, fill_, piece);
      } else {
        std::memcpy(out + done, page->second.data() + inPage, piece);
      }
      done += piece;
    }
    position_ += static_cast<int64_t>(n);
    return n;
  }

  size_t Write(const void* buffer, size_t count) override {
    const auto* in = static_cast<const uint8_t*>(buffer);
    for (size_t done = 0; done < count;) {
      const int64_t at = position_ + static_cast<int64_t>(done);
      const size_t inPage = static_cast<size_t>(at % kPage);
      const size_t piece = std::min(count - done, static_cast<size_t>(kPage) - inPage);
      auto page = pages_.find(at / kPage);
      if (page == pages_.end() && std::any_of(in + done, in + done + piece, [&](uint8_t b) { return b != fill_; })) {
        page = pages_.emplace(at / kPage, std::vector<uint8_t>(kPage, fill_)).first;
      }
      if (page != pages_.end()) std::memcpy(page->second.data() + inPage, in + done, piece);
      done += piece;
    }
    position_ += static_cast<int64_t>(count);
    size_ = std::max(size_, position_);
    return count;
  }

  int64_t Seek(int64_t offset, SeekOrigin origin) override {
    position_ = SeekTarget(offset, origin, position_, size_);
    return position_;
  }
  int64_t Size() override { return size_; }

  void SetSize(int64_t size) override {
    if (size < 0) throw EWriteError();
    if (size < size_) {
      pages_.erase(pages_.lower_bound((size + kPage - 1) / kPage), pages_.end());
      if (const auto last = pages_.find(size / kPage); last != pages_.end()) {
        std::fill(last->second.begin() + static_cast<ptrdiff_t>(size % kPage), last->second.end(), fill_);
      }
    }
    size_ = size;
  }

  // Pages that hold bytes, for tests that the stream stays sparse.
  size_t HeldPages() const { return pages_.size(); }

 private:
  static constexpr int64_t kPage = 4096;
  uint8_t fill_;
  std::map<int64_t, std::vector<uint8_t>> pages_;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

}  // namespace veltra::test
