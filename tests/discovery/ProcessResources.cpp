#include "ProcessResources.h"

#ifdef _WIN32
#include <windows.h>
// windows.h first
#include <malloc.h>
#include <tlhelp32.h>
#else
#include <dirent.h>
#include <malloc.h>
#endif

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers' allocator knows exactly what is allocated; its runtime exports this.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#define VELTRA_SANITIZER_HEAP 1
#endif

namespace veltra::test {

namespace {

#ifdef _WIN32

int64_t CountThreads() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  int64_t count = 0;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

// The valid handle values of the process (multiples of 4, given out from the lowest free one); the
// system's own count is not offered everywhere. The search ends after a long run of free values.
int64_t CountHandles() {
  constexpr int kFreeRunEnd = 1024;
  int64_t count = 0;
  DWORD flags = 0;
  for (uintptr_t value = 4, free = 0; free < kFreeRunEnd; value += 4) {
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
      ++count;
      free = 0;
    } else {
      ++free;
    }
  }
  return count;
}

// The process's message-only windows (those the library makes).
int64_t CountWindows() {
  int64_t count = 0;
  for (HWND window = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); window;
       window = FindWindowExA(HWND_MESSAGE, window, nullptr, nullptr)) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) ++count;
  }
  return count;
}

int64_t HeapBytes() {
  int64_t bytes = 0;
  _HEAPINFO entry = {};
  while (_heapwalk(&entry) == _HEAPOK) {
    if (entry._useflag == _USEDENTRY) bytes += static_cast<int64_t>(entry._size);
  }
  return bytes;
}

#else

int64_t CountEntries(const char* directory) {
  DIR* dir = opendir(directory);
  if (!dir) return 0;
  int64_t count = 0;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count;
}

int64_t CountThreads() { return CountEntries("/proc/self/task"); }
int64_t CountHandles() { return CountEntries("/proc/self/fd") - 1; }  // less the listing's own
int64_t CountWindows() { return 0; }

int64_t HeapBytes() {
#ifdef VELTRA_SANITIZER_HEAP
  return static_cast<int64_t>(__sanitizer_get_current_allocated_bytes());
#else
  return static_cast<int64_t>(mallinfo2().uordblks);
#endif
}

#endif

}  // namespace

ProcessResources ProcessResources::Now() {
  return {CountThreads(), CountHandles(), CountWindows(), HeapBytes()};
}

std::string ProcessResources::ToString() const {
  return std::to_string(threads) + " threads, " + std::to_string(handles) + " handles, " +
         std::to_string(windows) + " windows, " + std::to_string(heapBytes) + " heap bytes";
}

}  // namespace veltra::test
