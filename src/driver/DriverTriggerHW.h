#pragma once
// TDriverTriggerHW: the instrument object of one physical device, driven through its driver.
//
// Made from the device's path (MakeObject<TDriverTriggerHW>(path)), it opens the device file,
// reads the driver's information and version records, and routes every settings read and write of
// the hardware model to the driver's set and get codes: Cur and Next of the instrument and its
// channels, the trigger's Cur and Next, the control settings and, where the driver offers it, the
// connection test. A hidden message window and an event thread (TEventThread) bring the driver's
// notifications to the window's thread, where ProcessNotifications passes the changed identifiers
// to the settings objects and moves each completed measurement's samples into the channels.
//
// Construction throws EDriverError with "Could not open instrument." (the path does not open),
// "TDeviceInstrument info structure from driver is too small." (the driver's information record is
// shorter than 676 bytes) or "Maximum number of connections to the driver reached." (the driver
// refuses the connection); nothing is left open then.
//
// Threads. The thread that makes the instrument owns its window: notifications and the device's
// removal are handled only while that thread processes its messages, and every call into the
// instrument must come from it. Only the event thread's wait runs elsewhere.
//
// Removal. When the device is removed, the window posts itself kRemovedMessage (never acting
// inside the broadcast); on it the instrument lets go of the device (file, event thread,
// registration) and hides itself, so every holder drops its reference and the instrument goes
// with the last one. Settings calls answer E_ACCESSDENIED from then on.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "driver/CTObjects.h"
#include "driver/DevIoCtl.h"
#include "driver/EventThread.h"
#include "hw/ControlObjects.h"
#include "hw/TrigHW.h"
#include "platform/Platform.h"

namespace veltra {

class TDriverTriggerChannel;

class TDriverTriggerHW : public TCustomTriggerHW, public IControlSettingsProvider {
 public:
  // Posted by the window to itself when the device file is removed.
  static constexpr uint32_t kRemovedMessage = platform::kWmUser + 1;
  // The most channels an instrument takes from the information record: a channel's number must
  // fit the 8 bits of the supported-identifiers selector.
  static constexpr uint32_t kMaxChannels = 254;

  explicit TDriverTriggerHW(const std::string& path);
  ~TDriverTriggerHW() override;

  // IInstrument: bytes 8-15 and 16-23 of the version record (zeros when the driver gave none).
  void GetDriverVersion(std::array<uint8_t, 8>& version) override;
  void GetFirmwareVersion(std::array<uint8_t, 8>& version) override;
  // The inherited load, with the driver told (control loading flag) while it runs.
  HResult LoadFromIFF(IIFFStream& iff, TIFFChunk* chunk, uint32_t flags) override;

  // IControlSettingsProvider
  ComPtr<IControlSettings> GetControlSettings() override;

  // The driver's defaults on the control settings (switch 0x8 := 0, switch 0x20 := 1, the frame
  // interval from MaxFrameRate), then the inherited defaults.
  void SetDefaults() override;
  // The driver's count of clients that have the device open (control identifier 0x10).
  int64_t GetOpenCount() override;

  // The accessor slots: the gate of the base, then the driver. For HW_MODE and HW_CLOCKSOURCE the
  // value 2 travels as 0 (ValueToDriver). A failed read leaves 0.
  HResult SetCurValue(uint32_t id, int32_t channel, int64_t value) override;
  HResult SetNextValue(uint32_t id, int32_t channel, int64_t value) override;
  HResult GetCurValue(uint32_t id, int32_t channel, int64_t& value) override;
  HResult GetNextValue(uint32_t id, int32_t channel, int64_t& value) override;
  HResult SetCurTriggerValue(uint32_t id, int32_t channel, int64_t value) override;
  HResult GetCurTriggerValue(uint32_t id, int32_t channel, int64_t& value) override;
  HResult SetNextTriggerValue(uint32_t id, int32_t channel, int64_t value) override;
  HResult GetNextTriggerValue(uint32_t id, int32_t channel, int64_t& value) override;

  // The control settings' accessors (the driver's control codes, instrument index -1):
  // E_ACCESSDENIED (and 0) once destruction began.
  virtual HResult SetControlValue(uint32_t id, int64_t value);
  virtual HResult GetControlValue(uint32_t id, int64_t& value);
  virtual int32_t GetControlInfo(int32_t index);

  // The connection test's accessors, for the instrument (channel -1) and the channels; `index` of
  // the info carries the channel number in bits 16-23 like every selector.
  HResult SetConTestValue(uint32_t id, int32_t channel, int64_t value);
  HResult GetConTestValue(uint32_t id, int32_t channel, int64_t& value);
  int32_t GetConTestInfo(int32_t index);
  // Whether the driver offers the connection test for a channel (-1: the instrument): a driver
  // from version 6.1.4.0 on that reports a readable or writable identifier for it.
  bool OffersConnectionTest(int32_t channel);

  // The driver's sample buffer of a measurement for a channel (null when it has none), and its
  // release; the channels use them in their measurement-ready step.
  const std::byte* AcquireDataBuffer(uint32_t measurement, uint32_t dataId);
  void ReleaseDataBuffer(const std::byte* buffer, uint32_t dataId);

  // One control call on the device file: E_ACCESSDENIED once the file is closed (destruction or
  // removal), E_INVALIDARG when the driver refuses it.
  HResult IoCtl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize);

  // Reads the notification block, when it holds news and nobody is reading it, and passes what
  // changed to the settings objects and the channels; answers whether it read the block. Runs on
  // the window's thread, from the window procedure or from a set the driver answered pending;
  // not again while it runs, and not once destruction began.
  bool ProcessNotifications(std::span<std::byte> block);

  // The number of the last measurement processed in transfer mode 1.
  uint32_t LastMeasurement() const { return lastMeasurement_; }
  // The hidden window.
  platform::WindowHandle Window() const;

 protected:
  bool GetInterface(const Guid& iid, void** object) override;
  // The inherited settings, then the control settings and one channel per device channel.
  void CreateSettings() override;
  // IOCTL_GET_SUPPORTED: Cur (which = 0) or Next (which = 1) of the instrument family.
  int32_t GetSettingsInfo(int32_t index, int32_t which) override;
  // The trigger family's selectors, which is what the driver answers for trigger settings.
  int32_t GetTriggerSettingsInfo(int32_t index, int32_t which) override;

 private:
  intptr_t WindowProcedure(uint32_t message, uintptr_t wParam, intptr_t lParam);
  // On the removal message: let go of the device, then hide.
  void DeviceRemoved();
  // Closes the device file and stops the event thread; unregisters the removal notification.
  void ReleaseDevice();

  // Sends a set record with the wait flag, processing at once what the driver answers pending.
  HResult SendSet(uint32_t code, uint32_t id, int32_t channel, int64_t value);
  HResult SendGet(uint32_t code, uint32_t id, int32_t channel, int64_t& value);
  int32_t Supported(uint32_t selector);

  // The notification records by kind.
  void ProcessCurrent(NotificationRecord& record, const NotificationBlock& block);
  void ProcessStreaming(NotificationRecord& record, const NotificationBlock& block);
  void ProcessNext(const NotificationRecord& record);
  void ProcessTrigger(const NotificationRecord& record, int32_t curOrNext);
  void ProcessConnectionTest(const NotificationRecord& record);
  // One measurement of every channel, inside the update brackets of Cur and the channels.
  void MeasurementReady(NotificationRecord& record, uint32_t& instrumentMask, uint32_t measurement,
                        bool streaming);

  ComPtr<TDriverTriggerChannel> DriverChannel(int32_t index);

  HResult SetConTestOfInstrument(uint32_t id, int64_t value) {
    return SetConTestValue(id, -1, value);
  }
  HResult GetConTestOfInstrument(uint32_t id, int64_t& value) {
    return GetConTestValue(id, -1, value);
  }

  platform::DeviceFile file_;
  VersionRecord versions_{};
  std::unique_ptr<platform::MessageWindow> window_;
  std::unique_ptr<TEventThread> eventThread_;
  platform::DeviceNotification notification_ = 0;
  uint32_t lastMeasurement_ = 0;
  bool processing_ = false;
  bool stopRequest_ = false;
  Owned<TControlSettings> controlSettings_;
  Owned<TConTestIns> conTest_;
};

// The instrument on `path` as a device-list item's object: MakeObject<TDriverTriggerHW>(path) as
// its base interface. Throws as the constructor does.
ComPtr<IInterface> CreateDriverTriggerHW(const std::string& path);

}  // namespace veltra
