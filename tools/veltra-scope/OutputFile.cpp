#include "OutputFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ToolError.h"

namespace veltra::scope {
namespace {

[[noreturn]] void CannotWrite(const std::string& path, const std::string& reason) {
  throw ToolError(kExitFailure, "cannot write " + path + ": " + reason +
                                    "; check the folder exists and is writable, or choose another file");
}

}  // namespace

OutputFile::OutputFile(const std::string& path) : path_(path) {
  errno = 0;
  stream_.open(path, std::ios::binary | std::ios::trunc);
  if (!stream_) CannotWrite(path, errno != 0 ? std::strerror(errno) : "it cannot be opened");
}

OutputFile::~OutputFile() {
  if (finished_) return;
  stream_.close();
  std::remove(path_.c_str());
}

void OutputFile::Finish() {
  stream_.flush();
  stream_.close();
  if (!stream_) CannotWrite(path_, "not every byte reached it (is the disk full?)");
  finished_ = true;
}

std::string ExtensionOf(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  const size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

}  // namespace veltra::scope
