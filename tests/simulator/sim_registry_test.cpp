#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "simulator/simulated_device.h"
#include "support/device_world.h"

namespace zp {
namespace {

constexpr char16_t kZamo[] = u"Software\\Brenok\\ZAMO";

class SimRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    world.SetDeviceReg(test::DeviceWorld::IdentReg(0x42, 0xA11) +
                       "[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO]\n"
                       "\"DBState\"=dword:00000003\n"
                       "\"RunImport\"=\"\\\\Program Files\\\\ZAMO\\\\import.exe\"\n");
    ASSERT_EQ(device.CeRapiInit(), 0);
  }
  void TearDown() override { EXPECT_EQ(device.OpenKeys(), 0u); }

  test::DeviceWorld world;
  SimulatedDevice device{world.device_folder(), world.desktop_registry()};
};

TEST_F(SimRegistry, OpensKeysWithoutRegardToCaseAndReadsValues) {
  CeKey key = kNoCeKey;
  ASSERT_EQ(device.CeRegOpenKeyEx(kCeHkeyLocalMachine, u"software\\BRENOK\\zamo", &key), 0);
  std::uint32_t type = 0, size = 4;
  std::uint8_t dword[4] = {};
  ASSERT_EQ(device.CeRegQueryValueEx(key, u"dbstate", &type, dword, &size), 0);
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(dword[0], 3);

  const std::u16string import = u"\\Program Files\\ZAMO\\import.exe";
  std::vector<std::uint8_t> text(10);
  size = 10;
  EXPECT_EQ(device.CeRegQueryValueEx(key, u"RunImport", &type, text.data(), &size),
            static_cast<std::int32_t>(kErrorMoreData));
  EXPECT_EQ(size, (import.size() + 1) * 2);
  text.resize(size);
  ASSERT_EQ(device.CeRegQueryValueEx(key, u"RunImport", &type, text.data(), &size), 0);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(text.data())), import);

  EXPECT_EQ(device.CeRegQueryValueEx(key, u"Missing", &type, text.data(), &size),
            static_cast<std::int32_t>(kErrorFileNotFound));
  EXPECT_EQ(device.CeRegCloseKey(key), 0);
  EXPECT_NE(device.CeRegCloseKey(key), 0);

  // A parent that only exists through its subkeys opens too; a missing key does not.
  ASSERT_EQ(device.CeRegOpenKeyEx(kCeHkeyLocalMachine, u"Software", &key), 0);
  EXPECT_EQ(device.CeRegCloseKey(key), 0);
  EXPECT_EQ(device.CeRegOpenKeyEx(kCeHkeyLocalMachine, u"Software\\Other", &key),
            static_cast<std::int32_t>(kErrorFileNotFound));
}

TEST_F(SimRegistry, CreateAndSetAreWrittenThroughToDeviceReg) {
  CeKey key = kNoCeKey;
  std::uint32_t disposition = 0;
  ASSERT_EQ(device.CeRegCreateKeyEx(kCeHkeyLocalMachine, kZamo, &key, &disposition), 0);
  EXPECT_EQ(disposition, 2u);
  const std::uint8_t four[4] = {4, 0, 0, 0};
  ASSERT_EQ(device.CeRegSetValueEx(key, u"DBState", kRegDword, four, 4), 0);
  EXPECT_EQ(device.CeRegCloseKey(key), 0);
  ASSERT_EQ(device.CeRegCreateKeyEx(kCeHkeyLocalMachine, u"Software\\New", &key, &disposition), 0);
  EXPECT_EQ(disposition, 1u);
  EXPECT_EQ(device.CeRegCloseKey(key), 0);

  const std::string reg = world.DeviceReg();
  EXPECT_NE(reg.find("\"DBState\"=dword:00000004"), std::string::npos) << reg;
  EXPECT_NE(reg.find("[HKEY_LOCAL_MACHINE\\Software\\New]"), std::string::npos) << reg;
  EXPECT_NE(reg.find("import.exe"), std::string::npos) << reg;

  // A new connection reads what was written.
  SimulatedDevice again(world.device_folder(), world.desktop_registry());
  ASSERT_EQ(again.CeRapiInit(), 0);
  ASSERT_EQ(again.CeRegOpenKeyEx(kCeHkeyLocalMachine, kZamo, &key), 0);
  std::uint8_t dword[4] = {};
  std::uint32_t size = 4;
  ASSERT_EQ(again.CeRegQueryValueEx(key, u"DBState", nullptr, dword, &size), 0);
  EXPECT_EQ(dword[0], 4);
  EXPECT_EQ(again.CeRegCloseKey(key), 0);
}

TEST_F(SimRegistry, IdentityAndProcessorComeFromIdent) {
  EXPECT_EQ(device.CeGetDeviceId(), 0x42u);
  CeSystemInfo info;
  device.CeGetSystemInfo(&info);
  EXPECT_EQ(info.dwProcessorType, 0xA11u);
}

}  // namespace
}  // namespace zp
