#pragma once
// Runs veltra-scope as a user does, from a shell command line, and collects what it printed and
// its exit code. Under Wine the tests and the tool are both Windows programs.

#include <filesystem>
#include <string>

namespace veltra::scope::test {

struct ToolRun {
  int exitCode = -1;
  std::string out;  // standard output
  std::string err;  // standard error
  std::filesystem::path folder;  // where it ran; relative file names land here
};

// Runs the tool with the arguments (as one command-line text, quoted where needed) in a fresh
// folder of its own, with VELTRA_SIMULATE unset, so only --simulate can switch the simulated
// probe on.
ToolRun RunTool(const std::string& arguments);

// A fresh empty folder for the files a test lets the tool write.
std::filesystem::path ScratchFolder(const std::string& name);

// The text of a file, empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

}  // namespace veltra::scope::test
