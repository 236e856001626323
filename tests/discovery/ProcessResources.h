#pragma once
// What the process holds of the operating system right now, for tests that repeat something many
// times and check that nothing piles up: threads, handles (file descriptors on Linux: events are
// eventfds, device files and sockets count too), user-interface objects (windows; Windows only) and
// the bytes allocated on the heap (exact under the sanitizers, the allocator's own count otherwise).

#include <cstdint>
#include <string>

namespace veltra::test {

struct ProcessResources {
  int64_t threads = 0;
  int64_t handles = 0;
  int64_t windows = 0;    // 0 where the system has no such count
  int64_t heapBytes = 0;  // 0 where the system has no such count

  static ProcessResources Now();
  std::string ToString() const;
};

}  // namespace veltra::test
