#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "simulator/simulated_device.h"
#include "support/device_world.h"

namespace zp {
namespace {

TEST(SimProfiles, EnumeratesPartnersInKeyOrderSkippingOtherNames) {
  test::DeviceWorld world;
  world.AddProfile(0x0000000B, "Second");
  world.AddProfile(0x0000000A, "First");
  world.AddDesktopReg(
      "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows CE Services\\Partners\\Settings]\n"
      "\"DisplayName\"=\"not a profile\"\n");
  SimulatedDevice device("", world.desktop_registry());  // no device needed
  CeSvcHandle enumeration = kNoCeSvcHandle;
  std::vector<std::uint32_t> ids;
  std::uint32_t id = 0;
  for (std::uint32_t i = 0; device.CeSvcEnumProfiles(&enumeration, i, &id) == 0; ++i) {
    ids.push_back(id);
  }
  EXPECT_EQ(ids, (std::vector<std::uint32_t>{0xA, 0xB}));
  EXPECT_NE(enumeration, kNoCeSvcHandle);
  EXPECT_EQ(device.OpenHandles(), 1u);
  EXPECT_EQ(device.CeSvcClose(enumeration), 0);
  EXPECT_EQ(device.OpenHandles(), 0u);
}

TEST(SimProfiles, DisplayNameMustFitTheBuffer) {
  test::DeviceWorld world;
  world.AddProfile(0xB, "Pocket \"B\"");
  SimulatedDevice device(world.device_folder(), world.desktop_registry());
  CeSvcHandle profile = kNoCeSvcHandle;
  EXPECT_NE(device.CeSvcOpen(kCeSvcProfile, 0xC, false, &profile), 0);
  ASSERT_EQ(device.CeSvcOpen(kCeSvcProfile, 0xB, false, &profile), 0);
  char name[11];
  std::memset(name, 'x', sizeof name);
  EXPECT_NE(device.CeSvcGetString(profile, "DisplayName", name, 10), 0);
  EXPECT_EQ(name[0], 'x');  // untouched
  ASSERT_EQ(device.CeSvcGetString(profile, "displayname", name, 11), 0);
  EXPECT_STREQ(name, "Pocket \"B\"");
  EXPECT_NE(device.CeSvcGetString(profile, "Other", name, 11), 0);
  EXPECT_EQ(device.CeSvcClose(profile), 0);
  EXPECT_NE(device.CeSvcClose(profile), 0);
  EXPECT_EQ(device.OpenHandles(), 0u);
}

}  // namespace
}  // namespace zp
