#include "hw/InstrumentInfo.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "util/TextCodec.h"

namespace veltra {

namespace {

constexpr size_t kDevicePathChars = sizeof(DeviceInfoRecord::devicePath) / sizeof(char16_t);

std::string ReadText(const char* field, size_t size) {
  return AnsiToUtf8(std::string_view(field, strnlen(field, size)));
}

void WriteText(char* field, size_t size, const std::string& text) {
  const std::string bytes = Utf8ToAnsi(text);
  std::memset(field, 0, size);
  std::memcpy(field, bytes.data(), std::min(size, bytes.size()));
}

}  // namespace

DeviceInfoRecord DefaultDeviceInfo() {
  DeviceInfoRecord info{};
  info.size = sizeof(DeviceInfoRecord);
  info.word2 = 1;
  info.id = kDefaultInfoId;
  SetInfoName(info, "nothing");
  SetInfoShortName(info, "nothing");
  return info;
}

std::string InfoName(const DeviceInfoRecord& info) { return ReadText(info.name, sizeof info.name); }

std::string InfoShortName(const DeviceInfoRecord& info) {
  return ReadText(info.shortName, sizeof info.shortName);
}

void SetInfoName(DeviceInfoRecord& info, const std::string& name) {
  WriteText(info.name, sizeof info.name, name);
}

void SetInfoShortName(DeviceInfoRecord& info, const std::string& shortName) {
  WriteText(info.shortName, sizeof info.shortName, shortName);
}

std::string InfoDevicePath(const DeviceInfoRecord& info) {
  std::u16string path(kDevicePathChars, u'\0');
  std::memcpy(path.data(), info.devicePath, sizeof info.devicePath);
  if (const size_t end = path.find(u'\0'); end != std::u16string::npos) path.resize(end);
  return Utf16ToUtf8(path);
}

void SetInfoDevicePath(DeviceInfoRecord& info, const std::string& path) {
  std::u16string wide = Utf8ToUtf16(path);
  wide.resize(kDevicePathChars, u'\0');
  std::memcpy(info.devicePath, wide.data(), sizeof info.devicePath);
}

PackedStamp InfoCalibrationStamp(const DeviceInfoRecord& info) {
  return {info.calibration[0], info.calibration[1], info.calibration[2], info.calibration[3],
          info.calibration[4]};
}

void SetInfoCalibrationStamp(DeviceInfoRecord& info, const PackedStamp& stamp) {
  info.calibration[0] = stamp.year;
  info.calibration[1] = stamp.month;
  info.calibration[2] = stamp.day;
  info.calibration[3] = stamp.hour;
  info.calibration[4] = stamp.minute;
}

double InfoCalibrationDate(const DeviceInfoRecord& info) {
  static const double kFallback = *PackedStampToDateTime({1980, 1, 1, 0, 0});
  return PackedStampToDateTime(InfoCalibrationStamp(info)).value_or(kFallback);
}

}  // namespace veltra
