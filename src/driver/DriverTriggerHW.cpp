#include "driver/DriverTriggerHW.h"

#include <algorithm>
#include <cstring>

#include "driver/DriverTriggerChannel.h"

namespace veltra {

namespace {

constexpr const char* kCouldNotOpen = "Could not open instrument.";
constexpr const char* kInfoTooSmall = "TDeviceInstrument info structure from driver is too small.";

constexpr uint32_t kLow32 = 0xFFFFFFFF;
// The bits of a measurement in a change mask: ready, and the first of a streaming run.
constexpr uint64_t kMeasurementBits = HW_MREADY | HW_START;

uint32_t Low(uint64_t mask) { return static_cast<uint32_t>(mask & kLow32); }

void CopyVersion(uint64_t value, std::array<uint8_t, 8>& version) {
  std::memcpy(version.data(), &value, version.size());
}

// Runs `leave` when the scope ends, also by an exception.
template <class Leave>
class ScopeExit {
 public:
  explicit ScopeExit(Leave leave) : leave_(leave) {}
  ~ScopeExit() { leave_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  Leave leave_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction and destruction

TDriverTriggerHW::TDriverTriggerHW(const std::string& path) {
  file_ = platform::DeviceFile::Open(path);
  if (!file_.IsValid()) throw EDriverError(kCouldNotOpen);

  // The result is not looked at: a driver that does not answer leaves the default record.
  DeviceInfoRecord& info = InfoRecord();
  IoCtl(IOCTL_GET_INFO, &info, sizeof info, &info, sizeof info);
  if (info.size < sizeof(DeviceInfoRecord)) throw EDriverError(kInfoTooSmall);
  if (IoCtl(IOCTL_GET_VERSIONS, nullptr, 0, &versions_, sizeof versions_) != S_OK) versions_ = {};

  if (OffersConnectionTest(kInstrumentIndex)) {
    conTest_ = MakeSettings<TConTestIns>(
        static_cast<IInstrument*>(this),
        {TSettingsSetValueMethod::Bind<&TDriverTriggerHW::SetConTestOfInstrument>(this),
         TSettingsGetValueMethod::Bind<&TDriverTriggerHW::GetConTestOfInstrument>(this),
         TSettingsInfoMethod::Bind<&TDriverTriggerHW::GetConTestInfo>(this)},
        kConTestInstrumentCachable, 0);
  }

  window_ = std::make_unique<platform::MessageWindow>(
      [this](uint32_t message, uintptr_t wParam, intptr_t lParam) {
        return WindowProcedure(message, wParam, lParam);
      });
  eventThread_ = std::make_unique<TEventThread>(file_, window_->Handle());
  notification_ = platform::RegisterHandleNotification(*window_, file_);

  SetName(InfoName(info));
  SetShortName(InfoShortName(info));
  SetCalibrationDate(InfoCalibrationDate(info));
  if (info.typeCode == 17) SetBitmapName("INSTRUMENT_QM8");
  if (info.typeCode == 18) SetBitmapName("INSTRUMENT_QM1");
}

ComPtr<IInterface> CreateDriverTriggerHW(const std::string& path) {
  return ComPtr<IInterface>(static_cast<IInstrument*>(MakeObject<TDriverTriggerHW>(path).Get()));
}

TDriverTriggerHW::~TDriverTriggerHW() {
  controlSettings_.Reset();
  ReleaseDevice();
  window_.reset();
  conTest_.Reset();
}

void TDriverTriggerHW::ReleaseDevice() {
  file_.Close();  // the driver lets go of the events and the block with the file
  if (eventThread_) eventThread_->Stop();
  eventThread_.reset();
  if (notification_ != 0 && platform::PlatformId() != 1) {
    platform::UnregisterDeviceNotification(notification_);
  }
  notification_ = 0;
}

void TDriverTriggerHW::CreateSettings() {
  TCustomTriggerHW::CreateSettings();
  controlSettings_ = MakeSettings<TControlSettings>(
      static_cast<IInstrument*>(this),
      {TSettingsSetValueMethod::Bind<&TDriverTriggerHW::SetControlValue>(this),
       TSettingsGetValueMethod::Bind<&TDriverTriggerHW::GetControlValue>(this),
       TSettingsInfoMethod::Bind<&TDriverTriggerHW::GetControlInfo>(this)},
      kControlCachable, 0);
  const uint32_t channels = std::min(InfoChannelCount(InfoRecord()), kMaxChannels);
  for (uint32_t index = 0; index < channels; ++index) {
    GrowChannelArrays();
    MakeDriverTriggerChannel(*this, static_cast<int32_t>(index));
  }
}

bool TDriverTriggerHW::GetInterface(const Guid& iid, void** object) {
  if (iid == IInstrumentConnectionTest::IID) {
    if (!conTest_) return false;
    *object = static_cast<IInstrumentConnectionTest*>(conTest_.Get());
    return true;
  }
  return Answer<IControlSettingsProvider>(this, iid, object) ||
         TCustomTriggerHW::GetInterface(iid, object);
}

// ---------------------------------------------------------------------------------------------
// Window and removal

platform::WindowHandle TDriverTriggerHW::Window() const { return window_ ? window_->Handle() : 0; }

intptr_t TDriverTriggerHW::WindowProcedure(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case platform::kWmDeviceChange: {
      if (wParam != platform::kDbtDeviceRemoveComplete) return 0;
      const auto* header = reinterpret_cast<const platform::DevBroadcastHeader*>(lParam);
      // Acting inside the broadcast would destroy the window while the system delivers it.
      if (header != nullptr && header->deviceType == platform::kDbtDevTypHandle && window_) {
        window_->Post(kRemovedMessage);
      }
      return 1;
    }
    case kRemovedMessage: DeviceRemoved(); return 0;
    case TEventThread::kNewsMessage: {
      if (!eventThread_ || !ProcessNotifications(eventThread_->NotificationBlock())) return 0;
      eventThread_->SignalDone();
      return 1;
    }
    default: return window_ ? window_->Default(message, wParam, lParam) : 0;
  }
}

void TDriverTriggerHW::DeviceRemoved() {
  const ComPtr<IInterface> hold(static_cast<IInstrument*>(this));
  ReleaseDevice();
  Hide();
}

// ---------------------------------------------------------------------------------------------
// Identity, defaults, loading

void TDriverTriggerHW::GetDriverVersion(std::array<uint8_t, 8>& version) {
  CopyVersion(versions_.driverVersion, version);
}

void TDriverTriggerHW::GetFirmwareVersion(std::array<uint8_t, 8>& version) {
  CopyVersion(versions_.firmwareVersion, version);
}

ComPtr<IControlSettings> TDriverTriggerHW::GetControlSettings() {
  return ComPtr<IControlSettings>(controlSettings_.Get());
}

void TDriverTriggerHW::SetDefaults() {
  if (controlSettings_) {
    TControlSettings& control = *controlSettings_.Get();
    control.BeginUpdate();
    control.SetControl8(0);
    control.SetControl32(1);
    control.SetFrameInterval(FrameIntervalFromRate(ControlDefaultSettings().MaxFrameRate));
    control.EndUpdate();
  }
  TCustomTriggerHW::SetDefaults();
}

int64_t TDriverTriggerHW::GetOpenCount() {
  return controlSettings_ ? controlSettings_->GetOpenCount() : 0;
}

HResult TDriverTriggerHW::LoadFromIFF(IIFFStream& iff, TIFFChunk* chunk, uint32_t flags) {
  TControlSettings* const control = controlSettings_.Get();
  if (control) control->SetLoading(1);
  // The driver hears of the end of the load also when the load throws.
  const ScopeExit loaded([control] {
    if (control) control->SetLoading(0);
  });
  return TCustomTriggerHW::LoadFromIFF(iff, chunk, flags);
}

// ---------------------------------------------------------------------------------------------
// Driver calls

HResult TDriverTriggerHW::IoCtl(uint32_t code, const void* in, uint32_t inSize, void* out,
                                uint32_t outSize) {
  return veltra::IoCtl(file_, code, in, inSize, out, outSize);
}

HResult TDriverTriggerHW::SendSet(uint32_t code, uint32_t id, int32_t channel, int64_t value) {
  const bool wait = !processing_;
  const SetRecord record{id, value, channel, wait ? kWaitForNews : 0};
  uint32_t pending = 0;
  const HResult result = IoCtl(code, &record, sizeof record, &pending, sizeof pending);
  if (result == S_OK && wait && pending != 0 && eventThread_ &&
      ProcessNotifications(eventThread_->NotificationBlock())) {
    eventThread_->SignalDone();
  }
  return result;
}

HResult TDriverTriggerHW::SendGet(uint32_t code, uint32_t id, int32_t channel, int64_t& value) {
  const GetRecord record{id, value, channel};
  int64_t answer = 0;
  const HResult result = IoCtl(code, &record, sizeof record, &answer, sizeof answer);
  value = result == S_OK ? answer : 0;
  return result;
}

int32_t TDriverTriggerHW::Supported(uint32_t selector) {
  return static_cast<int32_t>(GetSupportedMask(file_, selector));
}

int32_t TDriverTriggerHW::GetSettingsInfo(int32_t index, int32_t which) {
  const auto set = which == 1 ? SettingsSet::kNext : SettingsSet::kCurrent;
  return Supported(static_cast<uint32_t>(index) | static_cast<uint32_t>(set));
}

int32_t TDriverTriggerHW::GetTriggerSettingsInfo(int32_t index, int32_t which) {
  const auto set = which == 1 ? SettingsSet::kTriggerNext : SettingsSet::kTriggerCurrent;
  return Supported(static_cast<uint32_t>(index) | static_cast<uint32_t>(set));
}

const std::byte* TDriverTriggerHW::AcquireDataBuffer(uint32_t measurement, uint32_t dataId) {
  return veltra::AcquireDataBuffer(file_, measurement, dataId);
}

void TDriverTriggerHW::ReleaseDataBuffer(const std::byte* buffer, uint32_t dataId) {
  veltra::ReleaseDataBuffer(file_, buffer, dataId);
}

// ---------------------------------------------------------------------------------------------
// Accessor slots

HResult TDriverTriggerHW::SetCurValue(uint32_t id, int32_t channel, int64_t value) {
  const HResult gate = TCustomTriggerHW::SetCurValue(id, channel, value);
  if (gate != E_NOTIMPL) return gate;
  return SendSet(IOCTL_SET_CURRENT, id, channel, ValueToDriver(SettingsSet::kCurrent, id, value));
}

HResult TDriverTriggerHW::SetNextValue(uint32_t id, int32_t channel, int64_t value) {
  const HResult gate = TCustomTriggerHW::SetNextValue(id, channel, value);
  if (gate != E_NOTIMPL) return gate;
  return SendSet(IOCTL_SET_NEXT, id, channel, ValueToDriver(SettingsSet::kNext, id, value));
}

HResult TDriverTriggerHW::GetCurValue(uint32_t id, int32_t channel, int64_t& value) {
  const HResult gate = TCustomTriggerHW::GetCurValue(id, channel, value);
  if (gate != E_NOTIMPL) return gate;
  const HResult result = SendGet(IOCTL_GET_CURRENT, id, channel, value);
  if (result == S_OK) value = ValueFromDriver(SettingsSet::kCurrent, id, value);
  return result;
}

HResult TDriverTriggerHW::GetNextValue(uint32_t id, int32_t channel, int64_t& value) {
  const HResult gate = TCustomTriggerHW::GetNextValue(id, channel, value);
  if (gate != E_NOTIMPL) return gate;
  const HResult result = SendGet(IOCTL_GET_NEXT, id, channel, value);
  if (result == S_OK) value = ValueFromDriver(SettingsSet::kNext, id, value);
  return result;
}

HResult TDriverTriggerHW::SetCurTriggerValue(uint32_t id, int32_t channel, int64_t value) {
  const HResult gate = TCustomTriggerHW::SetCurTriggerValue(id, channel, value);
  return gate != E_NOTIMPL ? gate : SendSet(IOCTL_SET_TRIGGER_CURRENT, id, channel, value);
}

HResult TDriverTriggerHW::GetCurTriggerValue(uint32_t id, int32_t channel, int64_t& value) {
  const HResult gate = TCustomTriggerHW::GetCurTriggerValue(id, channel, value);
  return gate != E_NOTIMPL ? gate : SendGet(IOCTL_GET_TRIGGER_CURRENT, id, channel, value);
}

HResult TDriverTriggerHW::SetNextTriggerValue(uint32_t id, int32_t channel, int64_t value) {
  const HResult gate = TCustomTriggerHW::SetNextTriggerValue(id, channel, value);
  return gate != E_NOTIMPL ? gate : SendSet(IOCTL_SET_TRIGGER_NEXT, id, channel, value);
}

HResult TDriverTriggerHW::GetNextTriggerValue(uint32_t id, int32_t channel, int64_t& value) {
  const HResult gate = TCustomTriggerHW::GetNextTriggerValue(id, channel, value);
  return gate != E_NOTIMPL ? gate : SendGet(IOCTL_GET_TRIGGER_NEXT, id, channel, value);
}

HResult TDriverTriggerHW::SetControlValue(uint32_t id, int64_t value) {
  if (Destroying()) return E_ACCESSDENIED;
  return SendSet(IOCTL_SET_CONTROL, id, kInstrumentIndex, value);
}

HResult TDriverTriggerHW::GetControlValue(uint32_t id, int64_t& value) {
  if (Destroying()) {
    value = 0;
    return E_ACCESSDENIED;
  }
  return SendGet(IOCTL_GET_CONTROL, id, kInstrumentIndex, value);
}

int32_t TDriverTriggerHW::GetControlInfo(int32_t index) {
  return Supported(static_cast<uint32_t>(index) | static_cast<uint32_t>(SettingsSet::kControl));
}

HResult TDriverTriggerHW::SetConTestValue(uint32_t id, int32_t channel, int64_t value) {
  const HResult gate = AccessGate(channel);
  return gate != E_NOTIMPL ? gate : SendSet(IOCTL_SET_CONNECTION_TEST, id, channel, value);
}

HResult TDriverTriggerHW::GetConTestValue(uint32_t id, int32_t channel, int64_t& value) {
  const HResult gate = AccessGate(channel);
  if (gate != E_NOTIMPL) {
    value = 0;
    return gate;
  }
  return SendGet(IOCTL_GET_CONNECTION_TEST, id, channel, value);
}

int32_t TDriverTriggerHW::GetConTestInfo(int32_t index) {
  return Supported(static_cast<uint32_t>(index) |
                   static_cast<uint32_t>(SettingsSet::kConnectionTest));
}

bool TDriverTriggerHW::OffersConnectionTest(int32_t channel) {
  // Older drivers have no connection test, whatever masks they report, for the instrument and
  // for its channels alike.
  if (versions_.driverVersion < kConnectionTestDriverVersion) return false;
  return Supported(SupportedSelector(kSupportsGet, SettingsSet::kConnectionTest, channel)) != 0 ||
         Supported(SupportedSelector(kSupportsSet, SettingsSet::kConnectionTest, channel)) != 0;
}

// ---------------------------------------------------------------------------------------------
// Notifications

ComPtr<TDriverTriggerChannel> TDriverTriggerHW::DriverChannel(int32_t index) {
  // Every channel of this instrument is one of its own kind.
  return ComPtr<TDriverTriggerChannel>(
      static_cast<TDriverTriggerChannel*>(ChannelObject(index).Get()));
}

bool TDriverTriggerHW::ProcessNotifications(std::span<std::byte> blockBytes) {
  if (Destroying() || processing_ || !file_.IsValid()) return false;
  const ComPtr<IInterface> hold(static_cast<IInstrument*>(this));  // a listener may let go of us
  processing_ = true;
  const ScopeExit processed([this] { processing_ = false; });
  stopRequest_ = false;
  NotificationBlock block(blockBytes);
  if (block.Busy() != 0 || block.RecordCount() == 0) return false;
  block.SetBusy(1);
  NotificationBlock::Cursor cursor = block.Records();
  while (std::optional<NotificationRecord> record = cursor.Next()) {
    if (!record->Valid()) continue;
    switch (static_cast<NotificationKind>(record->Kind())) {
      case NotificationKind::kCurrent: ProcessCurrent(*record, block); break;
      case NotificationKind::kNext: ProcessNext(*record); break;
      case NotificationKind::kTriggerCurrent: ProcessTrigger(*record, 0); break;
      case NotificationKind::kTriggerNext: ProcessTrigger(*record, 1); break;
      case NotificationKind::kConnectionTest: ProcessConnectionTest(*record); break;
      default: break;  // other kinds are not the library's
    }
  }
  return true;
}

void TDriverTriggerHW::MeasurementReady(NotificationRecord& record, uint32_t& instrumentMask,
                                        uint32_t measurement, bool streaming) {
  CurSettings().BeginUpdate();
  BeginChannelUpdates();
  CurSettings().Changed(instrumentMask);
  if (streaming) {
    instrumentMask &= HW_MREADY;
    record.SetMask(kInstrumentIndex, instrumentMask);
  }
  const int32_t channels = GetChannelCount();
  for (int32_t index = 0; index < channels; ++index) {
    const ComPtr<TDriverTriggerChannel> channel = DriverChannel(index);
    const uint32_t mask = Low(record.Mask(index));
    const bool stop = channel && channel->MeasurementReady(mask, measurement);
    if (!streaming) continue;
    if (stop) stopRequest_ = true;
    record.SetMask(index, stop ? 0 : mask & HW_MREADY);
  }
  CurSettings().EndUpdate();
  EndChannelUpdates();
}

void TDriverTriggerHW::ProcessCurrent(NotificationRecord& record, const NotificationBlock& block) {
  if ((record.Mask(kInstrumentIndex) & HW_MREADY) != 0) UpdateStartTime();
  if (NextSettings().GetMode() == 1) {
    ProcessStreaming(record, block);
    return;
  }
  uint32_t instrumentMask = Low(record.Mask(kInstrumentIndex));
  MeasurementReady(record, instrumentMask, block.NewestMeasurement(), false);
  // Block measurements keep the count too, so that a streaming run that follows starts from here
  // and not from before them.
  lastMeasurement_ = block.NewestMeasurement();
}

void TDriverTriggerHW::ProcessStreaming(NotificationRecord& record,
                                        const NotificationBlock& block) {
  const uint32_t newest = block.NewestMeasurement();
  uint32_t instrumentMask = Low(record.Mask(kInstrumentIndex));
  if ((instrumentMask & HW_MREADY) != 0) {
    ++lastMeasurement_;
    if ((instrumentMask & HW_START) != 0) {
      lastMeasurement_ = block.RestartMeasurement();
    } else if (block.CompareMeasurement() > lastMeasurement_) {
      // The driver no longer holds the next measurement: the run cannot go on without a gap.
      lastMeasurement_ = block.RestartMeasurement();
      for (int32_t index = kInstrumentIndex; index < GetChannelCount(); ++index) {
        record.SetMask(index, record.Mask(index) & ~kMeasurementBits);
      }
      instrumentMask = Low(record.Mask(kInstrumentIndex));
      stopRequest_ = true;
    }
  }
  // Only measurements the driver still holds can be read: after a long pause (block measurements
  // in between) the count would otherwise walk through every number since.
  const uint32_t first = std::max(lastMeasurement_, block.CompareMeasurement());
  for (uint32_t measurement = first; measurement <= newest; ++measurement) {
    MeasurementReady(record, instrumentMask, measurement, true);
    if (stopRequest_) {
      SetCurValue(HW_STOP, kInstrumentIndex, 0);
      break;
    }
    if (measurement == newest) break;  // newest may be the largest number
  }
  lastMeasurement_ = newest;
}

void TDriverTriggerHW::ProcessNext(const NotificationRecord& record) {
  NextSettings().Changed(Low(record.Mask(kInstrumentIndex)));
  const int32_t channels = GetChannelCount();
  for (int32_t index = 0; index < channels; ++index) {
    if (const ComPtr<TDriverTriggerChannel> channel = DriverChannel(index)) {
      channel->NextSettingsChanged(Low(record.Mask(index)));
    }
  }
}

void TDriverTriggerHW::ProcessTrigger(const NotificationRecord& record, int32_t curOrNext) {
  Trigger().Changed(curOrNext, Low(record.Mask(kInstrumentIndex)));
  const bool current = curOrNext == 0;
  if (current) BeginChannelUpdates();
  const int32_t channels = GetChannelCount();
  for (int32_t index = 0; index < channels; ++index) {
    if (const ComPtr<TDriverTriggerChannel> channel = DriverChannel(index)) {
      channel->TriggerChanged(curOrNext, Low(record.Mask(index)));
    }
  }
  if (current) EndChannelUpdates();
}

void TDriverTriggerHW::ProcessConnectionTest(const NotificationRecord& record) {
  if (conTest_) conTest_->Changed(Low(record.Mask(kInstrumentIndex)));
  BeginChannelUpdates();
  const int32_t channels = GetChannelCount();
  for (int32_t index = 0; index < channels; ++index) {
    if (const ComPtr<TDriverTriggerChannel> channel = DriverChannel(index)) {
      channel->ConnectionTestChanged(Low(record.Mask(index)));
    }
  }
  EndChannelUpdates();
}

}  // namespace veltra
