#include "util/Streams.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace veltra {
namespace {

// Runs the same checks on a memory stream and a file stream.
void ExerciseStream(TStream& stream) {
  const char hello[] = "hello";
  stream.WriteBuffer(hello, 5);
  EXPECT_EQ(stream.Size(), 5);
  // A write behind the end fills the distance with zeros.
  stream.Seek(3, SeekOrigin::End);
  stream.WriteBuffer("!", 1);
  EXPECT_EQ(stream.Size(), 9);
  char buffer[16] = {};
  stream.SetPosition(0);
  EXPECT_EQ(stream.Read(buffer, sizeof buffer), 9u);
  EXPECT_EQ(std::string(buffer, 9), std::string("hello\0\0\0!", 9));
  EXPECT_EQ(stream.Read(buffer, 1), 0u);
  EXPECT_THROW(stream.ReadBuffer(buffer, 1), EReadError);

  stream.SetSize(4);
  EXPECT_EQ(stream.Size(), 4);
  stream.SetSize(6);
  stream.SetPosition(0);
  stream.ReadBuffer(buffer, 6);
  EXPECT_EQ(std::string(buffer, 6), std::string("hell\0\0", 6));
  EXPECT_EQ(stream.Seek(-2, SeekOrigin::Current), 4);
  EXPECT_THROW(stream.Seek(-1, SeekOrigin::Begin), EStreamError);

  TMemoryStream copy;
  stream.SetPosition(1);
  copy.CopyFrom(stream, 3);
  EXPECT_EQ(copy.Bytes(), (std::vector<uint8_t>{'e', 'l', 'l'}));
  EXPECT_THROW(copy.CopyFrom(stream, 10), EReadError);
}

TEST(Streams, MemoryStream) {
  TMemoryStream stream;
  ExerciseStream(stream);
}

TEST(Streams, FileStream) {
  const std::string path = (std::filesystem::temp_directory_path() / "veltra-streams-test.bin").string();
  {
    TFileStream stream(path, TFileStream::Mode::Create);
    ExerciseStream(stream);
  }
  {
    TFileStream stream(path, TFileStream::Mode::OpenRead);
    EXPECT_EQ(stream.Size(), 6);
    EXPECT_EQ(stream.Write("x", 1), 0u);
  }
  std::filesystem::remove(path);
  EXPECT_THROW(TFileStream(path, TFileStream::Mode::OpenRead), EStreamCreateError);
}

}  // namespace
}  // namespace veltra
