#pragma once
// The failures the tool reports: the message says what went wrong and what to do about it, the
// exit code tells scripts which kind of failure it was.

#include <stdexcept>
#include <string>

namespace veltra::scope {

enum ExitCode : int {
  kExitOk = 0,
  kExitFailure = 1,    // the probe refused a value, a measurement failed, a file could not be written
  kExitUsage = 2,      // the command line is wrong
  kExitNoProbe = 3,    // no probe was found
};

class ToolError : public std::runtime_error {
 public:
  ToolError(ExitCode code, const std::string& message) : std::runtime_error(message), code_(code) {}
  ExitCode Code() const { return code_; }

 private:
  ExitCode code_;
};

}  // namespace veltra::scope
