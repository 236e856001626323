// Small services of the POSIX build: the monotonic clock, the version answer, registered message
// numbers and the bitmap handle table.

#include <array>
#include <chrono>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Platform.h"
#include "platform/TextCodec.h"

namespace veltra::platform {

double HighResSeconds() {
  using Seconds = std::chrono::duration<double>;
  return std::chrono::duration_cast<Seconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

uint32_t PlatformId() { return 2; }

namespace {

constexpr uint32_t kFirstRegisteredMessage = 0xC000;
constexpr uint32_t kLastRegisteredMessage = 0xFFFF;

// Registered names compare ignoring case, as the system's atom table does.
struct MessageNames {
  std::mutex mutex;
  std::vector<std::string> names;  // names[i] has number kFirstRegisteredMessage + i
};

MessageNames& Messages() {
  static auto* const table = new MessageNames;  // outlives static destruction
  return *table;
}

}  // namespace

uint32_t RegisterMessage(const std::string& name) {
  if (name.empty()) {
    return 0;
  }
  MessageNames& table = Messages();
  std::lock_guard lock(table.mutex);
  for (size_t i = 0; i < table.names.size(); ++i) {
    if (EqualIgnoringCase(table.names[i], name)) {
      return kFirstRegisteredMessage + static_cast<uint32_t>(i);
    }
  }
  const uint32_t number = kFirstRegisteredMessage + static_cast<uint32_t>(table.names.size());
  if (number > kLastRegisteredMessage) {
    return 0;
  }
  table.names.push_back(name);
  return number;
}

namespace {

constexpr std::array<std::string_view, 5> kBitmapNames = {
    "INSTRUMENT", "INSTRUMENT_QM1", "INSTRUMENT_QM8", "CHANNEL", "CHANNEL_BAN"};

// Loaded bitmaps: each load gives a new handle, as a loaded image is a new object that its
// holder deletes.
struct BitmapTable {
  std::mutex mutex;
  uintptr_t nextHandle = 1;
  std::unordered_map<uintptr_t, std::string_view> loaded;
};

BitmapTable& Bitmaps() {
  static auto* const table = new BitmapTable;  // outlives static destruction
  return *table;
}

}  // namespace

uintptr_t LoadBitmapResource(const std::string& name) {
  for (std::string_view known : kBitmapNames) {
    if (EqualIgnoringCase(known, name)) {
      BitmapTable& table = Bitmaps();
      std::lock_guard lock(table.mutex);
      const uintptr_t handle = table.nextHandle++;
      table.loaded.emplace(handle, known);
      return handle;
    }
  }
  return 0;
}

void DeleteBitmap(uintptr_t bitmap) {
  BitmapTable& table = Bitmaps();
  std::lock_guard lock(table.mutex);
  table.loaded.erase(bitmap);
}

}  // namespace veltra::platform
