#include "TestDevices.h"

#include <cstring>
#include <mutex>
#include <stdexcept>

namespace veltra::test {

Guid TestClass(uint8_t n) {
  Guid g = Guid::Parse("{3A7C51E2-0D44-4B8E-A1F6-5C0D00000000}");
  g.data4[7] = n;
  return g;
}

// ---------------------------------------------------------------------------------------------
// TInfoDevice

struct TInfoDevice::Provider final : platform::DeviceProvider {
  class Session final : public platform::DeviceSession {
   public:
    explicit Session(std::shared_ptr<Provider> provider) : provider_(std::move(provider)) {
      ++provider_->openFiles;
    }
    ~Session() override { --provider_->openFiles; }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool IoControl(uint32_t code, const void*, uint32_t, void* out, uint32_t outSize,
                   uint32_t* returned) override {
      if (code == IOCTL_GET_VERSIONS) return true;
      if (code != IOCTL_GET_INFO || outSize < sizeof(DeviceInfoRecord)) return false;
      const DeviceInfoRecord record = provider_->Record();
      std::memcpy(out, &record, sizeof record);
      *returned = sizeof record;
      return true;
    }

   private:
    std::shared_ptr<Provider> provider_;
  };

  std::unique_ptr<platform::DeviceSession> Open() override {
    if (refuse) return nullptr;
    return std::make_unique<Session>(self.lock());
  }

  DeviceInfoRecord Record() {
    std::lock_guard lock(mutex);
    return record;
  }

  std::weak_ptr<Provider> self;
  std::atomic<bool> refuse{false};
  std::atomic<int> openFiles{0};
  std::mutex mutex;
  DeviceInfoRecord record = DefaultDeviceInfo();
};

TInfoDevice::TInfoDevice(const Guid& classGuid, std::string path, uint32_t serial, uint32_t subId)
    : provider_(std::make_shared<Provider>()), path_(std::move(path)) {
  provider_->self = provider_;
  provider_->record.serialNumber = serial;
  provider_->record.subId = subId;
  provider_->record.channelCount = 1;
  SetInfoName(provider_->record, "Test device " + std::to_string(serial));
  SetInfoShortName(provider_->record, "TD");
  SetInfoDevicePath(provider_->record, path_);
  id_ = platform::RegisterDevice(classGuid, path_, provider_);
  if (id_ == 0) throw std::logic_error("test device path registered twice: " + path_);
}

TInfoDevice::~TInfoDevice() { Unplug(); }

void TInfoDevice::Unplug() { platform::UnregisterDevice(std::exchange(id_, 0)); }

void TInfoDevice::Refuse(bool refuse) { provider_->refuse = refuse; }

void TInfoDevice::ReportPath(const std::string& path) {
  std::lock_guard lock(provider_->mutex);
  SetInfoDevicePath(provider_->record, path);
}

int TInfoDevice::OpenFiles() const { return provider_->openFiles; }

// ---------------------------------------------------------------------------------------------
// TRemovalWatch and TPathObject

namespace {

constexpr uint32_t kRemoved = platform::kWmUser + 1;

}  // namespace

TRemovalWatch::TRemovalWatch(const platform::DeviceFile& file, std::function<void()> onRemoved)
    : onRemoved_(std::move(onRemoved)),
      window_(std::make_unique<platform::MessageWindow>(
          [this](uint32_t message, uintptr_t wParam, intptr_t lParam) {
            return WindowProcedure(message, wParam, lParam);
          })),
      notification_(platform::RegisterHandleNotification(*window_, file)) {}

TRemovalWatch::~TRemovalWatch() {
  platform::UnregisterDeviceNotification(notification_);
  window_->Destroy();
}

intptr_t TRemovalWatch::WindowProcedure(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (message == platform::kWmDeviceChange && wParam == platform::kDbtDeviceRemoveComplete) {
    window_->Post(kRemoved);  // not inside the broadcast
    return 1;
  }
  if (message == kRemoved) {
    const std::function<void()> onRemoved = onRemoved_;  // the call may destroy this watch
    onRemoved();
    return 0;
  }
  return window_->Default(message, wParam, lParam);
}

platform::DeviceFile OpenDeviceFile(const std::string& path, DeviceInfoRecord& info) {
  platform::DeviceFile file = platform::DeviceFile::Open(path);
  if (!file.IsValid()) throw std::runtime_error("Could not open instrument.");
  info = DefaultDeviceInfo();
  IoCtl(file, IOCTL_GET_INFO, &info, sizeof info, &info, sizeof info);
  return file;
}

TPathObject::TPathObject(const std::string& path)
    : file_(OpenDeviceFile(path, info_)), removal_(file_, [this] { Hide(); }) {
  SetName(InfoName(info_));
  ++alive_;
}

TPathObject::~TPathObject() { --alive_; }

ComPtr<IInterface> TPathObject::Create(const std::string& path) {
  return Query<IInterface>(MakeObject<TPathObject>(path));
}

// ---------------------------------------------------------------------------------------------
// TNamedDevice

TNamedDevice::TNamedDevice(const std::string& name, const std::string& shortName, int32_t number) {
  SetName(name);
  SetShortName(shortName);
  SetNumber(number);
}

bool TNamedDevice::GetInterface(const Guid& iid, void** object) {
  return Answer<II2CHost>(this, iid, object) || TVTObject::GetInterface(iid, object);
}

}  // namespace veltra::test
