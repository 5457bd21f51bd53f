#include <gtest/gtest.h>

#include "platform/platform.h"
#include "simulator/simulated_device.h"
#include "support/device_world.h"

namespace zp {
namespace {

TEST(SimProcess, StartsAreLoggedAndGiveTwoHandles) {
  test::DeviceWorld world;
  world.AddDeviceFile("\\Program Files\\ZAMO\\setup.exe", "MZ");
  SimulatedDevice device(world.device_folder(), world.desktop_registry());
  ASSERT_EQ(device.CeRapiInit(), 0);
  CeProcessInfo info;
  ASSERT_TRUE(device.CeCreateProcess(u"\\program files\\zamo\\SETUP.EXE",
                                     u"\\Program Files\\ZAMO\\zamo.cab", &info));
  EXPECT_NE(info.hProcess, info.hThread);
  EXPECT_NE(info.dwProcessId, info.dwThreadId);
  EXPECT_EQ(device.OpenHandles(), 2u);
  EXPECT_TRUE(device.CeCloseHandle(info.hProcess));
  EXPECT_TRUE(device.CeCloseHandle(info.hThread));
  EXPECT_EQ(device.OpenHandles(), 0u);

  EXPECT_FALSE(device.CeCreateProcess(u"\\Program Files\\ZAMO\\import.exe", u"", &info));
  EXPECT_EQ(device.CeGetLastError(), kErrorFileNotFound);
  EXPECT_EQ(device.CeRapiGetError(), 0);
  EXPECT_EQ(world.StartedLog(),
            "\\program files\\zamo\\SETUP.EXE\t\\Program Files\\ZAMO\\zamo.cab\n");
}

}  // namespace
}  // namespace zp
