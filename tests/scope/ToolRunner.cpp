#include "ToolRunner.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace veltra::scope::test {
namespace {

std::string Quoted(const std::filesystem::path& path) {
  std::string text = path.string();
  text.insert(text.begin(), '"');
  text.push_back('"');
  return text;
}

}  // namespace

std::filesystem::path ScratchFolder(const std::string& name) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("veltra-scope-tests-" + name);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

ToolRun RunTool(const std::string& arguments) {
  const std::filesystem::path folder = ScratchFolder("run");
  const std::filesystem::path out = folder / "stdout.txt";
  const std::filesystem::path err = folder / "stderr.txt";
  const std::filesystem::path tool = std::filesystem::path(VELTRA_SCOPE_FILE).make_preferred();
  std::string command = Quoted(tool) + " " + arguments + " >" + Quoted(out) + " 2>" + Quoted(err);
#ifdef _WIN32
  command = "cd /d " + Quoted(folder) + " && " + command;
  _putenv("VELTRA_SIMULATE=");
  // cmd.exe drops the first and the last quote of a command that starts with one.
  command.insert(command.begin(), '"');
  command.push_back('"');
  const int status = std::system(command.c_str());
  const int exitCode = status;
#else
  command = "cd " + Quoted(folder) + " && " + command;
  unsetenv("VELTRA_SIMULATE");
  const int status = std::system(command.c_str());
  const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  return {exitCode, ReadFile(out), ReadFile(err), folder};
}

}  // namespace veltra::scope::test
