#pragma once
// The instrument information record: the driver's description of a device (its answer to the
// information request) and every instrument's own copy, with readers and writers of its text,
// stamp and count fields. Packed and little-endian, byte-exact on every platform.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Guid.h"
#include "util/Routines.h"

namespace veltra {

#pragma pack(push, 1)

// The information record: the driver's description of the device (IOCTL_GET_INFO, input and
// output), also the instrument's own information record.
struct DeviceInfoRecord {
  uint32_t size;              // the driver's answer must be at least sizeof(DeviceInfoRecord)
  uint32_t status;            // while non-zero the instrument reports serial number 0
  uint32_t word2;             // 1 in the default record
  Guid id;
  uint32_t typeCode;          // 17 and 18 select the instrument's bitmap
  uint32_t subId;             // matched by the sub-identifier opener
  uint32_t serialNumber;
  uint32_t reserved40;
  char name[64];              // Windows-1252 characters, up to the first NUL or the field's end
  char shortName[8];          // the same
  uint8_t devicePath[512];    // up to 256 UTF-16 characters, up to the first NUL
  uint16_t calibration[5];    // year, month, day, hour, minute
  uint8_t reserved638[2];
  uint32_t channelCount;
  uint8_t reserved644[32];
};
static_assert(sizeof(DeviceInfoRecord) == 676);
static_assert(offsetof(DeviceInfoRecord, status) == 4);
static_assert(offsetof(DeviceInfoRecord, word2) == 8);
static_assert(offsetof(DeviceInfoRecord, id) == 12);
static_assert(offsetof(DeviceInfoRecord, typeCode) == 28);
static_assert(offsetof(DeviceInfoRecord, subId) == 32);
static_assert(offsetof(DeviceInfoRecord, serialNumber) == 36);
static_assert(offsetof(DeviceInfoRecord, name) == 44);
static_assert(offsetof(DeviceInfoRecord, shortName) == 108);
static_assert(offsetof(DeviceInfoRecord, devicePath) == 116);
static_assert(offsetof(DeviceInfoRecord, calibration) == 628);
static_assert(offsetof(DeviceInfoRecord, channelCount) == 640);

#pragma pack(pop)

// The class identifier of the instrument base, which the default record carries.
inline constexpr Guid kDefaultInfoId = Guid::Parse("{97A833CD-9A43-451B-8AEF-A15DE5606AF0}");


// The library's record before any driver answer: size 676, word 2 = 1, the default GUID, the name
// "nothing" in both text fields, no channels.
DeviceInfoRecord DefaultDeviceInfo();

// The text fields, as UTF-8 (the name fields hold Windows-1252 characters).
std::string InfoName(const DeviceInfoRecord& info);
std::string InfoShortName(const DeviceInfoRecord& info);
std::string InfoDevicePath(const DeviceInfoRecord& info);
// Writers of the same fields: texts too long for their field are cut, shorter ones end with NUL.
void SetInfoName(DeviceInfoRecord& info, const std::string& name);
void SetInfoShortName(DeviceInfoRecord& info, const std::string& shortName);
void SetInfoDevicePath(DeviceInfoRecord& info, const std::string& path);

PackedStamp InfoCalibrationStamp(const DeviceInfoRecord& info);
void SetInfoCalibrationStamp(DeviceInfoRecord& info, const PackedStamp& stamp);
// The calibration stamp as a date-time; a stamp that names no valid date-time gives 1 January
// 1980, 00:00.
double InfoCalibrationDate(const DeviceInfoRecord& info);

inline uint32_t InfoChannelCount(const DeviceInfoRecord& info) { return info.channelCount; }

}  // namespace veltra
