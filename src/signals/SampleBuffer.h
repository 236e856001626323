#pragma once
// TSampleBuffer: the samples of a signal source, typed by a sample array code of util/DataTypes.h.
//
// The buffer has a shape, a data type and a count. Storage is allocated only when the shape
// changes, so a measurement of the same length and type reuses it; new storage holds the zero level
// of its type (mid-scale for unsigned codes, 0 for signed codes and floats). Storage is aligned for
// every element type.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "signals/SignalBaseInterfaces.h"

namespace veltra {

class TSampleBuffer {
 public:
  // The largest buffer a source holds (1 GiB); a shape beyond it is refused.
  static constexpr size_t kMaxBytes = size_t{1} << 30;

  TSampleBuffer() = default;
  TSampleBuffer(const TSampleBuffer&) = delete;
  TSampleBuffer& operator=(const TSampleBuffer&) = delete;

  // A sample array code, or 0 (no samples, no storage).
  uint32_t DataType() const { return dataType_; }
  size_t Count() const { return count_; }
  size_t SizeInBytes() const { return bytes_; }
  bool Empty() const { return bytes_ == 0; }

  // Gives the buffer `count` samples of `dataType` (0 allowed: no storage). Nothing happens when
  // it has that shape; otherwise new storage at the zero level replaces the old. Answers false, and
  // keeps the old shape and samples, for a code that is no sample array, a buffer beyond kMaxBytes,
  // or memory that cannot be had.
  bool Reshape(uint32_t dataType, size_t count);

  std::span<std::byte> Bytes() { return {storage_.get(), bytes_}; }
  std::span<const std::byte> Bytes() const { return {storage_.get(), bytes_}; }

  // The samples as T; empty when the data type is not the array of T.
  template <class T>
  std::span<T> As() {
    static_assert(kArrayTypeOf<T> != 0, "no sample array of this element type");
    if (dataType_ != kArrayTypeOf<T>) return {};
    return {reinterpret_cast<T*>(storage_.get()), count_};
  }
  template <class T>
  std::span<const T> As() const {
    static_assert(kArrayTypeOf<T> != 0, "no sample array of this element type");
    if (dataType_ != kArrayTypeOf<T>) return {};
    return {reinterpret_cast<const T*>(storage_.get()), count_};
  }

  // Writes the zero level into samples `from` to the end.
  void FillZeroLevel(size_t from = 0);

 private:
  struct AlignedDelete {
    void operator()(std::byte* p) const;
  };

  uint32_t dataType_ = 0;
  size_t count_ = 0;
  size_t bytes_ = 0;
  std::unique_ptr<std::byte[], AlignedDelete> storage_;
};

}  // namespace veltra
