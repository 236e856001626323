#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"

namespace veltra::platform {
namespace {

constexpr uint32_t kEchoCode = 0x00222400;
constexpr uint32_t kRefusedCode = 0x00222404;

// Echoes its input into the output, refuses kRefusedCode, and counts its open sessions.
class EchoProvider : public DeviceProvider {
 public:
  std::unique_ptr<DeviceSession> Open() override {
    if (refuse) {
      return nullptr;
    }
    return std::make_unique<Session>(openSessions);
  }

  std::atomic<int> openSessions{0};
  std::atomic<bool> refuse{false};

 private:
  class Session : public DeviceSession {
   public:
    explicit Session(std::atomic<int>& count) : count_(count) { ++count_; }
    ~Session() override { --count_; }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    bool IoControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                   uint32_t* returned) override {
      if (code != kEchoCode) {
        return false;
      }
      *returned = std::min(inSize, outSize);
      std::memcpy(out, in, *returned);
      return true;
    }

   private:
    std::atomic<int>& count_;
  };
};

// Each test uses its own class, since the registry is process-wide.
Guid TestClass(uint8_t n) {
  Guid g = Guid::Parse("{6D3E0A52-95C1-4E07-9B7A-3F2C00000000}");
  g.data4[7] = n;
  return g;
}

std::string Echo(DeviceFile& file, const std::string& text) {
  char out[64] = {};
  uint32_t returned = 0;
  if (!file.IoControl(kEchoCode, text.data(), static_cast<uint32_t>(text.size()), out, sizeof out,
                      &returned)) {
    return "<failed>";
  }
  return std::string(out, returned);
}

TEST(DeviceRegistry, FilesOpenSessionsOnRegisteredDevices) {
  auto provider = std::make_shared<EchoProvider>();
  const DeviceId device = RegisterDevice(TestClass(1), "\\\\?\\inproc#echo#1", provider);
  ASSERT_NE(device, 0u);
  EXPECT_EQ(RegisterDevice(TestClass(1), "\\\\?\\INPROC#ECHO#1", provider), 0u)
      << "one device per path, compared ignoring case";

  DeviceFile file = DeviceFile::Open("\\\\?\\INPROC#Echo#1");
  ASSERT_TRUE(file.IsValid());
  EXPECT_NE(file.Handle(), 0u);
  EXPECT_EQ(provider->openSessions, 1);
  EXPECT_EQ(Echo(file, "settings record"), "settings record");
  EXPECT_FALSE(file.IoControl(kRefusedCode, nullptr, 0, nullptr, 0));
  EXPECT_FALSE(file.IoControl(kEchoCode, nullptr, 4, nullptr, 0)) << "a missing buffer fails";

  DeviceFile second = DeviceFile::Open("\\\\?\\inproc#echo#1");
  EXPECT_EQ(provider->openSessions, 2);
  EXPECT_NE(second.Handle(), file.Handle());
  DeviceFile moved = std::move(second);
  EXPECT_EQ(Echo(moved, "x"), "x");
  moved.Close();
  EXPECT_FALSE(moved.IsValid());
  EXPECT_EQ(moved.Handle(), 0u);
  EXPECT_EQ(Echo(moved, "x"), "<failed>");
  EXPECT_EQ(provider->openSessions, 1) << "closing ends the session";

  provider->refuse = true;
  EXPECT_FALSE(DeviceFile::Open("\\\\?\\inproc#echo#1").IsValid()) << "the provider refused";
  EXPECT_FALSE(DeviceFile::Open("\\\\?\\inproc#echo#404").IsValid());
  EXPECT_FALSE(DeviceFile().IsValid());
  UnregisterDevice(device);
}

TEST(DeviceRegistry, RemovalFailsOpenFilesAndTheProviderLivesUntilTheyClose) {
  auto provider = std::make_shared<EchoProvider>();
  std::weak_ptr<EchoProvider> watch = provider;
  const DeviceId device = RegisterDevice(TestClass(2), "\\\\?\\inproc#echo#2", provider);
  DeviceFile file = DeviceFile::Open("\\\\?\\inproc#echo#2");
  ASSERT_EQ(Echo(file, "before"), "before");
  provider.reset();

  UnregisterDevice(device);
  EXPECT_EQ(Echo(file, "after"), "<failed>");
  EXPECT_FALSE(DeviceFile::Open("\\\\?\\inproc#echo#2").IsValid());
  EXPECT_FALSE(watch.expired()) << "an open session keeps its provider";
  file.Close();
  EXPECT_TRUE(watch.expired());
  UnregisterDevice(device);  // unknown by now: harmless
}

TEST(DeviceRegistry, EnumerationListsPresentDevicesOfTheClassInRegistrationOrder) {
  auto provider = std::make_shared<EchoProvider>();
  const Guid cls = TestClass(3);
  auto paths = [&] {
    std::vector<std::string> found;
    for (const DeviceInterfaceEntry& entry : EnumerateDeviceInterfaces(cls)) {
      found.push_back(entry.devicePath);
    }
    return found;
  };
  EXPECT_TRUE(paths().empty());
  const DeviceId b = RegisterDevice(cls, "\\\\?\\inproc#b", provider);
  const DeviceId other = RegisterDevice(TestClass(4), "\\\\?\\inproc#other", provider);
  EXPECT_EQ(paths(), std::vector<std::string>{"\\\\?\\inproc#b"});
  const DeviceId a = RegisterDevice(cls, "\\\\?\\inproc#a", provider);
  EXPECT_EQ(paths(), (std::vector<std::string>{"\\\\?\\inproc#b", "\\\\?\\inproc#a"}))
      << "a device registered after the first enumeration is seen, after the earlier one";
  const std::vector<DeviceInterfaceEntry> entries = EnumerateDeviceInterfaces(cls);
  EXPECT_NE(entries[0].instanceId, entries[1].instanceId);
  UnregisterDevice(b);
  EXPECT_EQ(paths(), std::vector<std::string>{"\\\\?\\inproc#a"});
  UnregisterDevice(a);
  UnregisterDevice(other);
  EXPECT_TRUE(paths().empty());
}

// What a window learnt from one device-change broadcast, copied while the procedure ran.
struct Received {
  uintptr_t event = 0;
  uint32_t size = 0;
  uint32_t deviceType = 0;
  Guid classGuid;
  std::u16string name;
  uintptr_t handle = 0;
  uintptr_t notification = 0;
  std::thread::id thread;
};

class BroadcastWindow {
 public:
  BroadcastWindow()
      : window_([this](uint32_t message, uintptr_t wParam, intptr_t lParam) -> intptr_t {
          if (message == kWmDeviceChange && lParam != 0) {
            received.push_back(Read(wParam, lParam));
          }
          return 0;
        }) {}
  MessageWindow& Window() { return window_; }
  std::vector<Received> received;

 private:
  static Received Read(uintptr_t event, intptr_t lParam) {
    Received r;
    r.event = event;
    r.thread = std::this_thread::get_id();
    const auto* header = reinterpret_cast<const DevBroadcastHeader*>(lParam);
    r.size = header->size;
    r.deviceType = header->deviceType;
    if (header->deviceType == kDbtDevTypDeviceInterface) {
      const auto* bytes = reinterpret_cast<const uint8_t*>(lParam);
      std::memcpy(&r.classGuid, bytes + 12, sizeof r.classGuid);
      for (size_t at = 28;; at += 2) {  // the UTF-16 name at offset 28, read byte-wise
        const char16_t unit = static_cast<char16_t>(bytes[at] | (bytes[at + 1] << 8));
        if (unit == 0) {
          break;
        }
        r.name += unit;
      }
    } else if (header->deviceType == kDbtDevTypHandle) {
      const auto* handle = reinterpret_cast<const DevBroadcastHandle*>(lParam);
      r.handle = handle->handle;
      r.notification = handle->notification;
    }
    return r;
  }

  MessageWindow window_;
};

TEST(DeviceRegistry, ArrivalAndRemovalReachClassAndHandleRegistrationsThroughTheQueue) {
  auto provider = std::make_shared<EchoProvider>();
  const Guid cls = TestClass(5);
  const std::string path = "\\\\?\\inproc#scope#5";
  BroadcastWindow classWindow;
  BroadcastWindow handleWindow;
  BroadcastWindow otherClass;
  const DeviceNotification classRegistration =
      RegisterInterfaceNotification(classWindow.Window(), cls);
  ASSERT_NE(classRegistration, 0u);
  ASSERT_NE(RegisterInterfaceNotification(otherClass.Window(), TestClass(6)), 0u);

  // Registered on another thread: the broadcast still reaches the window on its own thread.
  DeviceId device = 0;
  std::thread([&] { device = RegisterDevice(cls, path, provider); }).join();
  EXPECT_TRUE(classWindow.received.empty()) << "broadcasts are posted, not sent";
  PumpMessages();
  ASSERT_EQ(classWindow.received.size(), 1u);
  const Received& arrival = classWindow.received[0];
  EXPECT_EQ(arrival.event, kDbtDeviceArrival);
  EXPECT_EQ(arrival.deviceType, kDbtDevTypDeviceInterface);
  EXPECT_EQ(arrival.size, 28u + 2 * (path.size() + 1));
  EXPECT_EQ(arrival.classGuid, cls);
  EXPECT_EQ(arrival.name, u"\\\\?\\inproc#scope#5");
  EXPECT_EQ(arrival.thread, std::this_thread::get_id());

  DeviceFile file = DeviceFile::Open(path);
  DeviceFile closedFirst = DeviceFile::Open(path);
  const DeviceNotification handleRegistration =
      RegisterHandleNotification(handleWindow.Window(), file);
  ASSERT_NE(handleRegistration, 0u);
  ASSERT_NE(RegisterHandleNotification(handleWindow.Window(), closedFirst), 0u);
  closedFirst.Close();  // no broadcast for a file that is no longer open
  EXPECT_EQ(RegisterHandleNotification(handleWindow.Window(), DeviceFile()), 0u);

  std::thread([&] { UnregisterDevice(device); }).join();
  EXPECT_EQ(Echo(file, "gone"), "<failed>") << "removal fails the open file at once";
  PumpMessages();
  ASSERT_EQ(classWindow.received.size(), 2u);
  EXPECT_EQ(classWindow.received[1].event, kDbtDeviceRemoveComplete);
  EXPECT_EQ(classWindow.received[1].deviceType, kDbtDevTypDeviceInterface);
  EXPECT_EQ(classWindow.received[1].name, u"\\\\?\\inproc#scope#5");
  ASSERT_EQ(handleWindow.received.size(), 1u);
  const Received& removal = handleWindow.received[0];
  EXPECT_EQ(removal.event, kDbtDeviceRemoveComplete);
  EXPECT_EQ(removal.deviceType, kDbtDevTypHandle);
  EXPECT_EQ(removal.size, sizeof(DevBroadcastHandle));
  EXPECT_EQ(removal.handle, file.Handle());
  EXPECT_EQ(removal.notification, handleRegistration);
  EXPECT_TRUE(otherClass.received.empty());

  // After unregistering, and for a window destroyed with a broadcast queued, nothing arrives.
  UnregisterDeviceNotification(classRegistration);
  auto doomed = std::make_unique<BroadcastWindow>();
  const DeviceNotification doomedRegistration = RegisterInterfaceNotification(doomed->Window(), cls);
  device = RegisterDevice(cls, path, provider);
  doomed.reset();
  PumpMessages();
  EXPECT_EQ(classWindow.received.size(), 2u);
  UnregisterDevice(device);
  PumpMessages();
  EXPECT_EQ(classWindow.received.size(), 2u);
  UnregisterDeviceNotification(doomedRegistration);
  UnregisterDeviceNotification(handleRegistration);
}

#ifdef _WIN32
TEST(DeviceRegistry, PathsTheRegistryDoesNotKnowOpenTheSystemsDevices) {
  DeviceFile nul = DeviceFile::Open("NUL");
  ASSERT_TRUE(nul.IsValid());
  EXPECT_EQ(nul.Handle() % 4, 0u) << "a system handle";
  BroadcastWindow window;
  const DeviceNotification registration = RegisterHandleNotification(window.Window(), nul);
  EXPECT_NE(registration, 0u);
  UnregisterDeviceNotification(registration);
  EXPECT_FALSE(DeviceFile::Open("\\\\.\\no-such-device-here").IsValid());
}
#endif

}  // namespace
}  // namespace veltra::platform
