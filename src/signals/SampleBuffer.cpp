#include "signals/SampleBuffer.h"

#include <new>

namespace veltra {
namespace {

// Enough for every element type, and for vector loads of the conversion loops.
constexpr std::align_val_t kAlignment{16};

bool IsSampleArray(uint32_t dataType) {
  return dataType >= DT_ARRAY_INT8 && DataTypeSize(dataType) > 0;
}

}  // namespace

void TSampleBuffer::AlignedDelete::operator()(std::byte* p) const {
  ::operator delete[](p, kAlignment);
}

bool TSampleBuffer::Reshape(uint32_t dataType, size_t count) {
  if (dataType != 0 && !IsSampleArray(dataType)) return false;
  if (dataType == 0) count = 0;
  if (dataType == dataType_ && count == count_) return true;
  const auto size = static_cast<size_t>(DataTypeSize(dataType));
  if (size > 0 && count > kMaxBytes / size) return false;
  const size_t bytes = size * count;
  std::unique_ptr<std::byte[], AlignedDelete> storage;
  if (bytes > 0) {
    storage.reset(static_cast<std::byte*>(::operator new[](bytes, kAlignment, std::nothrow)));
    if (!storage) return false;
  }
  storage_ = std::move(storage);
  dataType_ = dataType;
  count_ = count;
  bytes_ = bytes;
  FillZeroLevel();
  return true;
}

void TSampleBuffer::FillZeroLevel(size_t from) {
  if (from >= count_) return;
  const auto size = static_cast<size_t>(DataTypeSize(dataType_));
  veltra::FillZeroLevel(storage_.get() + from * size, dataType_, count_ - from);
}

}  // namespace veltra
