// The device info packet: what a handheld claims, read strictly.
#include "link/device_info.h"

#include <gtest/gtest.h>

namespace zp::link {
namespace {

DeviceInfo Sample() {
  DeviceInfo info;
  info.guid = {0x78, 0x56, 0x34, 0x12, 0xBC, 0x9A, 0xF0, 0xDE, 1, 2, 3, 4, 5, 6, 7, 8};
  info.os_major = 5;
  info.os_minor = 2;
  info.name = u"Field";
  info.build = 15000;
  info.processor_type = 2577;
  info.partner_id = 0x42;
  info.platform = std::string("PocketPC\0\0", 10);
  info.model = "HX4700";
  info.components.resize(2);
  info.lock_key = kLockOnDevice;
  return info;
}

TEST(DeviceInfo, ARealPacketReadsBackFieldForFieldAndTrailingDataIsIgnored) {
  std::vector<std::uint8_t> bytes = BuildDeviceInfo(Sample());
  bytes.insert(bytes.end(), {4, 0, 0, 0, 9, 9, 9, 9});  // the extra size and data
  std::string problem;
  const auto info = ParseDeviceInfo(bytes, problem);
  ASSERT_TRUE(info) << problem;
  EXPECT_EQ(info->name, u"Field");
  EXPECT_EQ(FormatGuid(info->guid), "{12345678-9ABC-DEF0-0102-030405060708}");
  EXPECT_EQ(info->partner_id, 0x42u);
  EXPECT_EQ(info->processor_type, 2577u);
  EXPECT_EQ(info->model, "HX4700");
  EXPECT_EQ(info->components.size(), 2u);
  EXPECT_EQ(info->lock_key, kLockOnDevice);
  EXPECT_EQ(ParseGuid(FormatGuid(info->guid)), info->guid);
}

TEST(DeviceInfo, EveryCutOfAPacketIsRefusedNeverReadPast) {
  const std::vector<std::uint8_t> bytes = BuildDeviceInfo(Sample());
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    std::string problem;
    EXPECT_FALSE(ParseDeviceInfo(std::span(bytes).first(size), problem)) << size;
    EXPECT_FALSE(problem.empty()) << size;
  }
}

TEST(DeviceInfo, LengthsThatDoNotAddUpAreRefused) {
  const std::vector<std::uint8_t> good = BuildDeviceInfo(Sample());
  std::string problem;
  // The name's length says one character more: its terminator is not where
  // the field ends, so the name is longer than its field.
  std::vector<std::uint8_t> longer = good;
  longer[24] = 6;
  EXPECT_FALSE(ParseDeviceInfo(longer, problem));
  // A name length far past the packet.
  std::vector<std::uint8_t> huge = good;
  huge[27] = 0x7F;
  EXPECT_FALSE(ParseDeviceInfo(huge, problem));
  EXPECT_EQ(problem, "the name is longer than any device name");
  // A platform size past the packet.
  std::vector<std::uint8_t> platform = good;
  const std::size_t platform_at = 28 + 12 + 20;
  platform[platform_at] = 0xF0;
  EXPECT_FALSE(ParseDeviceInfo(platform, problem));
  // A name with a NUL inside its field.
  DeviceInfo with_nul = Sample();
  with_nul.name = std::u16string(u"Fi\0ld", 5);
  EXPECT_FALSE(ParseDeviceInfo(BuildDeviceInfo(with_nul), problem));
  // A longer name than observed devices send is no reason to refuse.
  DeviceInfo long_name = Sample();
  long_name.name = std::u16string(100, u'x');
  EXPECT_TRUE(ParseDeviceInfo(BuildDeviceInfo(long_name), problem)) << problem;
}

TEST(DeviceInfo, TheDeviceIdIsThePartnerIdOrAStableNumberFromTheGuid) {
  DeviceInfo info = Sample();
  EXPECT_EQ(LinkDeviceId(info), 0x42u);
  for (const std::uint32_t none : {0u, 0xFFFFFFFFu}) {
    info.partner_id = none;
    const std::uint32_t id = LinkDeviceId(info);
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, 0xFFFFFFFFu);
    EXPECT_EQ(id, LinkDeviceId(info));
    DeviceInfo other = info;
    other.guid[15] ^= 1;
    EXPECT_NE(LinkDeviceId(other), id);
  }
  EXPECT_FALSE(ParseGuid("{12345678-9ABC-DEF0-0102-03040506070}"));
  EXPECT_FALSE(ParseGuid("{12345678-9ABC-DEF0-0102-0304050607G8}"));
}

}  // namespace
}  // namespace zp::link
