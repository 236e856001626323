#pragma once
// The operating system, behind one small interface.
//
// Everything the library takes from the system (message windows and their thread's queue, events,
// device files and their control calls, device enumeration and device-change broadcasts, the
// performance counter, bitmap resources) goes through this header. Nothing else in src/ includes an
// OS header. There are two implementations with the same semantics:
//   win32/  the real Windows calls;
//   posix/  an emulation: per-thread message queues, eventfd events, a bitmap handle table.
// Both share the in-process device registry below (the only source of devices on POSIX) and the
// device files over it (DeviceRegistry, DeviceFile).
//
// Threads. A MessageWindow belongs to the thread that creates it; its procedure runs only on that
// thread, inside PumpMessages(), inside a Send() made on that thread, or while that thread is itself
// blocked in a Send() to another thread. Everything else here may be called from any thread unless
// its comment says otherwise.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/Guid.h"

namespace veltra::platform {

// ---------------------------------------------------------------------------------------------
// Window messages

inline constexpr uint32_t kWmTimer = 0x0113;
inline constexpr uint32_t kWmDeviceChange = 0x0219;
inline constexpr uint32_t kWmUser = 0x0400;

// wParam of kWmDeviceChange, and the device types of the broadcast header at lParam.
inline constexpr uint32_t kDbtDeviceArrival = 0x8000;
inline constexpr uint32_t kDbtDeviceRemoveComplete = 0x8004;
inline constexpr uint32_t kDbtDevTypDeviceInterface = 5;
inline constexpr uint32_t kDbtDevTypHandle = 6;

inline constexpr uint32_t kInfinite = 0xFFFFFFFF;

using WindowHandle = uintptr_t;  // identifies a window process-wide; 0 = none

// A hidden window that receives messages on its owning thread.
class MessageWindow {
 public:
  // The window procedure: (message, wParam, lParam) -> answer. It receives kWmTimer,
  // kWmDeviceChange and messages from kWmUser up (including registered ones); the system's own
  // window-management messages below kWmUser never reach it. Messages the owner does not handle go
  // to Default(), as a Windows procedure passes them to DefWindowProc.
  using Procedure = std::function<intptr_t(uint32_t message, uintptr_t wParam, intptr_t lParam)>;

  // Creates the window on, and binds it to, the calling thread.
  explicit MessageWindow(Procedure procedure);
  // Destroys the window (see Destroy).
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  // 0 once destroyed.
  WindowHandle Handle() const;

  // On the owning thread: calls the procedure directly. From another thread: queues the message
  // for the owner and blocks until the owner has processed it, answering the procedure's result;
  // while blocked, the sender still processes messages sent to its own thread's windows, so two
  // threads sending to each other do not deadlock. Answers 0 when the window is destroyed first.
  intptr_t Send(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
  // Queues the message for the owning thread and returns at once; false when the window is gone.
  // Posts to one window arrive in the order they were posted.
  bool Post(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);

  // On the owning thread: delivers kWmTimer with wParam = id through the owner's queue, once or
  // every intervalMs (at least 10 ms). Arming an armed id restarts it; nothing arrives after
  // KillTimer. False on another thread or for a destroyed window.
  bool SetTimer(uintptr_t id, uint32_t intervalMs, bool periodic);
  bool KillTimer(uintptr_t id);

  // The default processing of a message the procedure does not handle (DefWindowProc).
  intptr_t Default(uint32_t message, uintptr_t wParam, intptr_t lParam);

  // Destroys the window: nothing is delivered to the procedure afterwards, queued posts and timers
  // are dropped, and senders still waiting are answered 0 (at the latest when the owning thread
  // next processes messages). Safe inside the window's own procedure, which finishes normally even
  // when its owner (and this object) is deleted on the way, and safe more than once. Meant for the
  // owning thread; from another thread it takes effect at once and the owning thread releases the
  // system window later. A window also goes when its owning thread ends.
  void Destroy();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Send and Post to a window known only by its handle, from any thread, with the semantics of the
// members above. A thread that may outlive the window (an event thread) uses these: the handle
// stays safe to use after the window is gone (Send answers 0, Post fails).
intptr_t SendMessageTo(WindowHandle window, uint32_t message, uintptr_t wParam = 0,
                       intptr_t lParam = 0);
bool PostMessageTo(WindowHandle window, uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);

// Processes everything queued for the calling thread's windows, sent messages before posted ones
// and posted ones before due timers, then returns.
void PumpMessages();

// Processes what is pending for the calling thread's MessageWindows (sent messages, then their
// posted messages and due timers) and leaves every other message of the thread queued, then
// returns; nothing at all on a thread that owns no MessageWindow. Made for a library that needs
// its own notifications delivered while the application polls it from a thread whose message loop
// is the application's business (or that has none). On POSIX every window is a MessageWindow, so
// this is PumpMessages. On Windows the posted messages of the application's own windows and its
// thread messages (WM_QUIT among them) stay queued for its loop; messages other threads *send*
// are delivered by the system to whichever window of the thread they address during any message
// check, as they are while the thread waits in a send of its own.
void PumpOwnMessages();

// Blocks, without spinning, until something is queued for the calling thread (a sent or posted
// message, or a due timer) or the time-out (ms, kInfinite for none) passes. True when something is
// queued. It processes nothing itself.
bool WaitMessage(uint32_t timeoutMs);

// The process-wide number of a named message: the same name (ignoring case) always gives the same
// number, in the range 0xC000-0xFFFF; 0 for an empty name.
uint32_t RegisterMessage(const std::string& name);

// ---------------------------------------------------------------------------------------------
// Events

// The 32-bit value through which an event travels in driver records and through the public API:
// a HANDLE on Windows, an eventfd descriptor on POSIX (setting it adds 1 to the counter, so a
// Linux application can poll it).
using EventHandle = uint32_t;

class Event {
 public:
  Event(bool manualReset, bool initiallySet);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  EventHandle Handle() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

inline constexpr int kWaitTimeout = -1;
inline constexpr int kWaitFailed = -2;

// Waits until one of the events is set and answers its index (the first of several set ones;
// consuming it when it is an auto-reset event), kWaitTimeout when the time-out passes first,
// kWaitFailed for an empty list or an invalid handle (on POSIX: one not of an Event alive here).
int WaitAny(std::span<Event* const> events, uint32_t timeoutMs);
int WaitAny(std::span<const EventHandle> events, uint32_t timeoutMs);

// Sets an event known only by its handle (one handed over in a driver record, or the application's
// data-ready event: on POSIX any eventfd). False on an invalid handle.
bool SetEventHandle(EventHandle handle);

// ---------------------------------------------------------------------------------------------
// Device files

// An open device file: a driver's device on Windows, or a device of the registry below.
class DeviceFile {
 public:
  DeviceFile();
  ~DeviceFile();  // closes
  DeviceFile(DeviceFile&& other) noexcept;
  DeviceFile& operator=(DeviceFile&& other) noexcept;

  // Opens for reading and writing, shared, existing devices only: a path of the registry below
  // (compared ignoring case) opens a session on that device; any other path the system's device
  // (Windows only). Failure, also a provider's refusal, gives an invalid file.
  static DeviceFile Open(const std::string& path);

  bool IsValid() const;
  // 0 for an invalid file; otherwise the value a handle notification refers to.
  uintptr_t Handle() const;

  // The device's control call. True when the device accepted it; `returned` (optional) receives
  // the number of output bytes written (0 on failure). Fails on an invalid file, for a null buffer
  // with a non-zero size, and after the device was removed.
  bool IoControl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                 uint32_t* returned = nullptr);

  // Ends the session (or closes the system's handle); the file becomes invalid.
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

struct DeviceInterfaceEntry {
  uint32_t instanceHandle = 0;
  std::string instanceId;
  std::string devicePath;
};

// The present devices of a device-interface class, in a stable order (registry devices in the
// order they were registered; on Windows after those the system's setup API finds). A registry
// device's instance handle is its DeviceId, its instance identifier "INPROC\DEVICE\<id>".
std::vector<DeviceInterfaceEntry> EnumerateDeviceInterfaces(const Guid& classGuid);

// ---------------------------------------------------------------------------------------------
// Device-change broadcasts: kWmDeviceChange with wParam kDbtDeviceArrival or
// kDbtDeviceRemoveComplete and lParam pointing at one of these layouts (valid until the procedure
// returns). Registry devices post them to the window's queue; the system sends its own.

struct DevBroadcastHeader {
  uint32_t size;
  uint32_t deviceType;
  uint32_t reserved;
};

struct DevBroadcastDeviceInterface {  // device type 5
  uint32_t size;
  uint32_t deviceType;
  uint32_t reserved;
  Guid classGuid;
  char16_t name[1];  // NUL-terminated UTF-16 device path, at offset 28; size covers it
};
static_assert(offsetof(DevBroadcastDeviceInterface, name) == 28);
static_assert(sizeof(DevBroadcastDeviceInterface) == 32, "the 32-byte interface filter");

struct DevBroadcastHandle {  // device type 6
  uint32_t size;
  uint32_t deviceType;
  uint32_t reserved;
  uintptr_t handle;
  uintptr_t notification;
  Guid eventGuid;
  int32_t nameOffset;
  uint8_t data[1];
};
static_assert(sizeof(void*) != 4 || sizeof(DevBroadcastHandle) == 44, "the 44-byte handle filter");

using DeviceNotification = uintptr_t;  // 0 = registration failed

// Arrival and removal of devices of a device-interface class reach `window` (type 5).
DeviceNotification RegisterInterfaceNotification(const MessageWindow& window, const Guid& classGuid);
// Removal of the device behind `file` reaches `window` while the file is open (type 6, with the
// file's Handle() and this registration in `handle` and `notification`).
DeviceNotification RegisterHandleNotification(const MessageWindow& window, const DeviceFile& file);
// Nothing reaches the window through this registration afterwards (broadcasts already queued
// may still arrive). Unknown values are ignored.
void UnregisterDeviceNotification(DeviceNotification notification);

// ---------------------------------------------------------------------------------------------
// Device registry: devices that live inside the process and behave like driver devices.
//
// A provider registers a device under a device-interface class and a path; enumeration lists it,
// DeviceFile::Open of its path (compared ignoring case) opens a session on it, and registering or
// unregistering broadcasts arrival or removal (to class registrations; on removal also to handle
// registrations of files open on it). After removal every IoControl on its files fails. Safe to call
// from any thread; broadcasts reach each window on its own thread through its queue.

// One client's connection to a registered device, made by DeviceFile::Open, destroyed when that
// file closes (on the closing thread). It keeps the provider alive until then.
class DeviceSession {
 public:
  virtual ~DeviceSession() = default;
  // The driver's dispatch of a control code, called on the thread that calls DeviceFile::IoControl
  // (several threads may call at once). `returned` is never null; a buffer is null only when its
  // size is 0. No call starts after the device is unregistered.
  virtual bool IoControl(uint32_t code, const void* in, uint32_t inSize, void* out,
                         uint32_t outSize, uint32_t* returned) = 0;
};

class DeviceProvider {
 public:
  virtual ~DeviceProvider() = default;
  // A client opens the device (on the opening thread); null refuses the connection (the open
  // fails). Counting the live sessions gives the number of clients.
  virtual std::unique_ptr<DeviceSession> Open() = 0;
};

using DeviceId = uint64_t;  // 0 = none

// Publishes a device and posts its arrival. 0 when the path is empty or already registered
// (ignoring case), or the provider is null.
DeviceId RegisterDevice(const Guid& classGuid, const std::string& path,
                        std::shared_ptr<DeviceProvider> provider);
// Withdraws the device: its open files fail from now on, and its removal is posted. Unknown ids
// are ignored.
void UnregisterDevice(DeviceId device);

// ---------------------------------------------------------------------------------------------
// Small services

// Seconds from an arbitrary origin, from the high-resolution counter.
double HighResSeconds();

// The platform identifier of the version query: 2 for the NT family (always, on every platform we
// run on), 1 for the Windows 95 family.
uint32_t PlatformId();

// The library's bitmap resources ("INSTRUMENT", "INSTRUMENT_QM1", "INSTRUMENT_QM8", "CHANNEL",
// "CHANNEL_BAN", names ignoring case); every load gives a new bitmap, which its holder deletes.
// 0 for an unknown name.
uintptr_t LoadBitmapResource(const std::string& name);
void DeleteBitmap(uintptr_t bitmap);

}  // namespace veltra::platform
