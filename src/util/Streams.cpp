#include "util/Streams.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <limits>

namespace veltra {

namespace {

constexpr int64_t kMaxPosition = std::numeric_limits<int64_t>::max();

}  // namespace

void TStream::ReadBuffer(void* buffer, size_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, size_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError();
}

void TStream::CopyFrom(TStream& source, int64_t count) {
  std::array<uint8_t, 32768> buffer;
  while (count > 0) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(count, buffer.size()));
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    count -= static_cast<int64_t>(n);
  }
}

int64_t TStream::SeekTarget(int64_t offset, SeekOrigin origin, int64_t position, int64_t size) {
  int64_t base = 0;
  switch (origin) {
    case SeekOrigin::Begin: base = 0; break;
    case SeekOrigin::Current: base = position; break;
    case SeekOrigin::End: base = size; break;
  }
  if ((offset > 0 && base > kMaxPosition - offset) || base + offset < 0) {
    throw EStreamError("Invalid stream position");
  }
  return base + offset;
}

// ---------------------------------------------------------------------------------------------
// TMemoryStream

size_t TMemoryStream::Read(void* buffer, size_t count) {
  const int64_t size = Size();
  if (position_ >= size) return 0;
  const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), size - position_));
  std::memcpy(buffer, bytes_.data() + position_, n);
  position_ += static_cast<int64_t>(n);
  return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return 0;
  // The end of the write must be addressable in memory on this platform.
  const uint64_t end = static_cast<uint64_t>(position_) + count;
  if (end > bytes_.max_size() || end < count) return 0;
  if (end > bytes_.size()) bytes_.resize(static_cast<size_t>(end));
  std::memcpy(bytes_.data() + position_, buffer, count);
  position_ = static_cast<int64_t>(end);
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
  position_ = SeekTarget(offset, origin, position_, Size());
  return position_;
}

void TMemoryStream::SetSize(int64_t size) {
  if (size < 0 || static_cast<uint64_t>(size) > bytes_.max_size()) throw EWriteError();
  bytes_.resize(static_cast<size_t>(size));
}

// ---------------------------------------------------------------------------------------------
// TFileStream

TFileStream::TFileStream(std::string path, Mode mode)
    : path_(std::move(path)), writable_(mode != Mode::OpenRead) {
  std::ios::openmode openMode = std::ios::in | std::ios::binary;
  if (mode == Mode::Create) openMode |= std::ios::out | std::ios::trunc;
  if (mode == Mode::OpenWrite) openMode |= std::ios::out;
  Open(openMode);
}

void TFileStream::Open(std::ios::openmode mode) {
  if (!file_.open(path_, mode)) throw EStreamCreateError("Cannot open file \"" + path_ + "\"");
}

size_t TFileStream::Read(void* buffer, size_t count) {
  if (file_.pubseekpos(position_) != std::streampos(position_)) return 0;
  const std::streamsize n = file_.sgetn(static_cast<char*>(buffer), static_cast<std::streamsize>(count));
  if (n <= 0) return 0;
  position_ += n;
  return static_cast<size_t>(n);
}

size_t TFileStream::Write(const void* buffer, size_t count) {
  if (!writable_ || count == 0) return 0;
  // Bytes between the end of the file and a position beyond it are zeros.
  if (position_ > Size()) SetSize(position_);
  if (file_.pubseekpos(position_) != std::streampos(position_)) return 0;
  const std::streamsize n =
      file_.sputn(static_cast<const char*>(buffer), static_cast<std::streamsize>(count));
  if (n <= 0) return 0;
  position_ += n;
  return static_cast<size_t>(n);
}

int64_t TFileStream::Seek(int64_t offset, SeekOrigin origin) {
  position_ = SeekTarget(offset, origin, position_, origin == SeekOrigin::End ? Size() : 0);
  return position_;
}

int64_t TFileStream::Size() {
  const std::streampos end = file_.pubseekoff(0, std::ios::end);
  if (end == std::streampos(-1)) throw EReadError();
  return static_cast<int64_t>(end);
}

void TFileStream::SetSize(int64_t size) {
  if (!writable_ || size < 0) throw EWriteError();
  const int64_t current = Size();
  if (size > current) {
    std::array<char, 32768> zeros{};
    if (file_.pubseekpos(current) != std::streampos(current)) throw EWriteError();
    for (int64_t left = size - current; left > 0;) {
      const auto n = static_cast<std::streamsize>(std::min<int64_t>(left, zeros.size()));
      if (file_.sputn(zeros.data(), n) != n) throw EWriteError();
      left -= n;
    }
    if (file_.pubsync() != 0) throw EWriteError();
  } else if (size < current) {
    // Truncation needs the file closed on some systems; it is reopened as it was.
    file_.close();
    std::error_code error;
    std::filesystem::resize_file(path_, static_cast<uintmax_t>(size), error);
    Open(std::ios::in | std::ios::out | std::ios::binary);
    if (error) throw EWriteError();
  }
}

}  // namespace veltra
