#pragma once
// A file the tool writes its results to. It is opened before the probe is touched, so that a path
// that cannot be written is reported before a measurement is taken, and it is removed again
// when the command fails before the file was finished.

#include <fstream>
#include <string>

namespace veltra::scope {

class OutputFile {
 public:
  // Opens (creates or empties) the file, or throws a ToolError that names it and says why.
  explicit OutputFile(const std::string& path);
  // Removes the file unless Finish succeeded.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  std::ostream& Stream() { return stream_; }
  const std::string& Path() const { return path_; }
  // Flushes and closes the file; throws a ToolError when the bytes did not all reach it.
  void Finish();

 private:
  std::string path_;
  std::ofstream stream_;
  bool finished_ = false;
};

// The lower-case extension of path with its dot (".csv"), or empty.
std::string ExtensionOf(const std::string& path);

}  // namespace veltra::scope
