// The information record: its default bytes and the readers and writers of its fields.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "hw/InstrumentInfo.h"

namespace veltra {
namespace {

TEST(DeviceInfo, DefaultRecordBytes) {
  const DeviceInfoRecord info = DefaultDeviceInfo();
  std::vector<uint8_t> bytes(sizeof info);
  std::memcpy(bytes.data(), &info, sizeof info);
  auto word = [&](size_t offset) {
    uint32_t w;
    std::memcpy(&w, bytes.data() + offset, 4);
    return w;
  };
  EXPECT_EQ(word(0), 676u);
  EXPECT_EQ(word(4), 0u);
  EXPECT_EQ(word(8), 1u);
  EXPECT_EQ(info.id.ToString(), "{97A833CD-9A43-451B-8AEF-A15DE5606AF0}");
  for (size_t offset = 28; offset < 44; offset += 4) EXPECT_EQ(word(offset), 0u) << offset;
  EXPECT_EQ(std::memcmp(bytes.data() + 44, "nothing\0", 8), 0);
  EXPECT_EQ(std::memcmp(bytes.data() + 108, "nothing\0", 8), 0);
  EXPECT_EQ(word(640), 0u);
  EXPECT_EQ(InfoName(info), "nothing");
  EXPECT_EQ(InfoShortName(info), "nothing");
  EXPECT_EQ(InfoDevicePath(info), "");
}

TEST(DeviceInfo, TextFieldsEndAtNulOrFieldEnd) {
  DeviceInfoRecord info = DefaultDeviceInfo();
  std::memset(info.name, 'N', sizeof info.name);  // 64 characters, no NUL
  std::memcpy(info.shortName, "PROBE\0XY", 8);    // text ends at the NUL
  EXPECT_EQ(InfoName(info), std::string(64, 'N'));
  EXPECT_EQ(InfoShortName(info), "PROBE");

  info.shortName[0] = '\xB5';  // 8-bit characters are Windows-1252
  EXPECT_EQ(InfoShortName(info), "\xC2\xB5ROBE");
  info.shortName[0] = '\x80';
  EXPECT_EQ(InfoShortName(info), "\xE2\x82\xAC" "ROBE");  // the euro sign

  SetInfoShortName(info, "TOO LONG NAME");
  EXPECT_EQ(InfoShortName(info), "TOO LONG");
  SetInfoName(info, "Probe \xC2\xB5 \xE2\x80\x93 \xE2\x82\xAC");  // micro, en dash, euro
  EXPECT_EQ(std::memcmp(info.name, "Probe \xB5 \x96 \x80\0", 12), 0);
  EXPECT_EQ(InfoName(info), "Probe \xC2\xB5 \xE2\x80\x93 \xE2\x82\xAC");
}

TEST(DeviceInfo, DevicePathOfUpTo256Utf16Characters) {
  DeviceInfoRecord info = DefaultDeviceInfo();
  const std::u16string full(256, u'p');
  std::memcpy(info.devicePath, full.data(), 512);  // all 256 without a terminating NUL
  EXPECT_EQ(InfoDevicePath(info), std::string(256, 'p'));

  const char16_t shorter[] = u"\\\\?\\sim#probe#\u00E9{4b29}";
  std::memcpy(info.devicePath, shorter, sizeof shorter);
  EXPECT_EQ(InfoDevicePath(info), "\\\\?\\sim#probe#\xC3\xA9{4b29}");

  SetInfoDevicePath(info, std::string(300, 'q'));
  EXPECT_EQ(InfoDevicePath(info), std::string(256, 'q'));
  SetInfoDevicePath(info, "\\\\?\\x");
  EXPECT_EQ(InfoDevicePath(info), "\\\\?\\x");
}

TEST(DeviceInfo, CalibrationDateAndChannelCount) {
  DeviceInfoRecord info = DefaultDeviceInfo();
  SetInfoCalibrationStamp(info, {2009, 3, 15, 18, 0});
  uint16_t words[5];
  std::memcpy(words, reinterpret_cast<const uint8_t*>(&info) + 628, sizeof words);
  EXPECT_EQ(words[0], 2009);
  EXPECT_EQ(words[4], 0);
  EXPECT_DOUBLE_EQ(InfoCalibrationDate(info), 39887.75);  // 15 March 2009, 18:00

  SetInfoCalibrationStamp(info, {2009, 2, 29, 0, 0});    // no such day
  EXPECT_DOUBLE_EQ(InfoCalibrationDate(info), 29221.0);  // 1 January 1980
  SetInfoCalibrationStamp(info, {});
  EXPECT_DOUBLE_EQ(InfoCalibrationDate(info), 29221.0);

  info.channelCount = 2;
  EXPECT_EQ(InfoChannelCount(info), 2u);
}

}  // namespace
}  // namespace veltra
