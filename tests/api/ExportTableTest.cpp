// The exported surface: the library exports exactly the names of exports.txt, the header, the
// .def file and the version script declare exactly those, and calls through function pointers of
// the header's types keep the stack intact (on 32-bit Windows: the callee pops its arguments).

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "LibraryLoader.h"
#include "veltra/veltra.h"

namespace veltra::test {
namespace {

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// The names that stand alone on their lines (exports.txt, the EXPORTS part of the .def file) or
// end with ';' (the global part of the version script).
std::set<std::string> LineNames(const std::string& text, bool withSemicolon) {
  std::set<std::string> names;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    size_t last = first;
    while (last < line.size() && IsNameChar(line[last])) ++last;
    const std::string rest = line.substr(last, line.find_last_not_of(" \t\r") + 1 - last);
    if (last > first && rest == (withSemicolon ? ";" : "")) names.insert(line.substr(first, last - first));
  }
  return names;
}

// The functions the header declares: "VELTRA_CALL Name(".
std::set<std::string> DeclaredNames(const std::string& header) {
  std::set<std::string> names;
  const std::string marker = "VELTRA_CALL ";
  for (size_t at = header.find(marker); at != std::string::npos; at = header.find(marker, at + 1)) {
    size_t end = at + marker.size();
    while (end < header.size() && IsNameChar(header[end])) ++end;
    if (end < header.size() && header[end] == '(') {
      names.insert(header.substr(at + marker.size(), end - at - marker.size()));
    }
  }
  return names;
}

std::string Between(const std::string& text, const std::string& from, const std::string& to) {
  const size_t begin = text.find(from);
  if (begin == std::string::npos) return {};
  const size_t end = to.empty() ? std::string::npos : text.find(to, begin);
  return text.substr(begin + from.size(), end == std::string::npos ? end : end - begin - from.size());
}

const std::set<std::string>& ExpectedNames() {
  static const std::set<std::string> names = LineNames(ReadFile(VELTRA_EXPORTS_FILE), false);
  return names;
}

TEST(ExportTable, DeclaringFilesHoldExactlyTheExportList) {
  ASSERT_EQ(ExpectedNames().size(), 146u);
  EXPECT_EQ(LineNames(Between(ReadFile(VELTRA_DEF_FILE), "EXPORTS", ""), false), ExpectedNames());
  EXPECT_EQ(LineNames(Between(ReadFile(VELTRA_MAP_FILE), "global:", "local:"), true),
            ExpectedNames());
  EXPECT_EQ(DeclaredNames(ReadFile(VELTRA_HEADER_FILE)), ExpectedNames());
}

TEST(ExportTable, LibraryExportsExactlyTheListedNames) {
  LoadedLibrary library(VELTRA_LIBRARY_FILE);
  ASSERT_TRUE(library.IsLoaded()) << VELTRA_LIBRARY_FILE;
  for (const std::string& name : ExpectedNames()) {
    EXPECT_NE(library.Resolve(name.c_str()), nullptr) << "missing: " << name;
  }
  const std::set<std::string> exported = library.ExportedNames();
  for (const std::string& name : exported) {
    EXPECT_TRUE(ExpectedNames().count(name)) << "extra: " << name;
  }
  EXPECT_EQ(exported.size(), ExpectedNames().size());
}

template <class F>
F Bind(const LoadedLibrary& library, const char* name, F /*declared*/) {
  return reinterpret_cast<F>(library.Resolve(name));
}

// A caller and callee that disagree on who pops the arguments shift the stack pointer on every
// call; many calls in one frame turn that into a crash or wrong results.
TEST(ExportTable, CallsThroughHeaderTypesKeepTheStack) {
  LoadedLibrary library(VELTRA_LIBRARY_FILE);
  ASSERT_TRUE(library.IsLoaded());
  auto setDcLevel = Bind(library, "SetDcLevel", &::SetDcLevel);
  auto getOne = Bind(library, "GetOneMeasurementCh", &::GetOneMeasurementCh);
  auto setOr = Bind(library, "SetTriggerSourceOR", &::SetTriggerSourceOR);
  auto i2cWrite = Bind(library, "I2CWriteCh", &::I2CWriteCh);
  auto maxFrequency = Bind(library, "GetMaxSampleFrequencyF", &::GetMaxSampleFrequencyF);
  ASSERT_TRUE(setDcLevel && getOne && setOr && i2cWrite && maxFrequency);
  double volts = 7.0;
  const uint8_t bytes[2] = {1, 2};
  uint64_t mismatches = 0;
  for (uint32_t i = 0; i < 200000; ++i) {
    mismatches += setDcLevel(static_cast<uint8_t>(i), 1.5) != STATUS_NOT_SUPPORTED;
    mismatches += getOne(1, i, &volts) != STATUS_NO_INSTRUMENT;
    mismatches += setOr(0x8000000000000001ULL + i) != STATUS_NO_INSTRUMENT;
    mismatches += i2cWrite(1, 0x27, bytes, 2) != STATUS_INVALID_CHANNEL;
    mismatches += maxFrequency() != 0.0;
  }
  EXPECT_EQ(mismatches, 0u);
  EXPECT_EQ(volts, 7.0);
}

}  // namespace
}  // namespace veltra::test
