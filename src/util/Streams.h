#pragma once
// Seekable byte streams: the abstract TStream and its memory and file implementations.
//
// Positions and sizes are 64-bit everywhere. Read and Write move as many bytes as they can and
// answer the count; ReadBuffer and WriteBuffer move all or raise EReadError / EWriteError.
// Seeking past the end is allowed: a later write there fills the distance with zeros.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltra {

class EStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class EReadError : public EStreamError {
 public:
  EReadError() : EStreamError("Stream read error") {}
};
class EWriteError : public EStreamError {
 public:
  EWriteError() : EStreamError("Stream write error") {}
};
// Raised when a stream cannot be made from its source (a file that does not open, a byte source
// that is not in the expected format).
class EStreamCreateError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

enum class SeekOrigin { Begin, Current, End };

class TStream {
 public:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;
  virtual ~TStream() = default;

  virtual size_t Read(void* buffer, size_t count) = 0;
  virtual size_t Write(const void* buffer, size_t count) = 0;
  // Answers the new position; a position below 0 raises EStreamError.
  virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
  virtual int64_t Size() = 0;
  // Truncates or extends (with zeros); the position is left where it was.
  virtual void SetSize(int64_t size) = 0;

  int64_t Position() { return Seek(0, SeekOrigin::Current); }
  void SetPosition(int64_t position) { Seek(position, SeekOrigin::Begin); }
  void ReadBuffer(void* buffer, size_t count);
  void WriteBuffer(const void* buffer, size_t count);
  // Copies count bytes from the source's position to this stream's position.
  void CopyFrom(TStream& source, int64_t count);

 protected:
  // The position an origin-relative seek leads to; raises for a negative or overflowing result.
  static int64_t SeekTarget(int64_t offset, SeekOrigin origin, int64_t position, int64_t size);
};

class TMemoryStream final : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }
  void SetSize(int64_t size) override;

  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  int64_t position_ = 0;
};

class TFileStream final : public TStream {
 public:
  enum class Mode {
    Create,     // a new empty file (an existing one is emptied), read and write
    OpenRead,   // an existing file, read only
    OpenWrite,  // an existing file, read and write
  };
  // Raises EStreamCreateError when the file cannot be opened or created.
  TFileStream(std::string path, Mode mode);

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t size) override;

 private:
  void Open(std::ios::openmode mode);

  std::string path_;
  bool writable_;
  std::filebuf file_;
  int64_t position_ = 0;
};

}  // namespace veltra
