#include "System.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace veltra::scope {
namespace {

std::atomic<bool> stopRequested{false};
constexpr auto kPause = std::chrono::milliseconds(2);

}  // namespace

bool StopRequested() { return stopRequested.load(); }

void PauseBriefly() { std::this_thread::sleep_for(kPause); }

#ifdef _WIN32

bool StdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }
bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
    return info.srWindow.Right - info.srWindow.Left + 1;
  }
  return 80;
}

bool RelaunchWithSimulation(const std::string& spec, char**, std::string& error) {
  const char* current = std::getenv("VELTRA_SIMULATE");
  if (current != nullptr && spec == current) return false;
  if (!SetEnvironmentVariableA("VELTRA_SIMULATE", spec.c_str())) {
    error = "could not set VELTRA_SIMULATE";
    return true;
  }
  wchar_t program[MAX_PATH];
  if (GetModuleFileNameW(nullptr, program, MAX_PATH) == 0) {
    error = "could not find this program's own file";
    return true;
  }
  // The command line as this run got it, so the new run parses the same arguments.
  std::wstring commandLine = GetCommandLineW();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    error = "could not start this program again (error " + std::to_string(GetLastError()) + ")";
    return true;
  }
  // Ctrl-C reaches both runs through the console; the new run ends its work, this one waits.
  SetConsoleCtrlHandler(nullptr, TRUE);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::exit(static_cast<int>(code));
}

namespace {
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  stopRequested = true;
  return TRUE;
}
}  // namespace

void CatchStopRequests() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

#else

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) != 0; }
bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

int TerminalColumns() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

bool RelaunchWithSimulation(const std::string& spec, char** argv, std::string& error) {
  const char* current = std::getenv("VELTRA_SIMULATE");
  if (current != nullptr && spec == current) return false;
  if (setenv("VELTRA_SIMULATE", spec.c_str(), 1) != 0) {
    error = "could not set VELTRA_SIMULATE";
    return true;
  }
  execv("/proc/self/exe", argv);
  error = "could not start this program again";
  return true;
}

namespace {
void OnStopSignal(int) { stopRequested = true; }
}  // namespace

void CatchStopRequests() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

#endif

}  // namespace veltra::scope
