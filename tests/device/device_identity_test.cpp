#include "device/device_identity.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/handheld_test.h"
#include "support/reg_text.h"

namespace zp {
namespace {

using DeviceIdentity = test::HandheldTest;

// The desktop's profiles: another device's (7) and this one's (0x42).
std::string Profiles() {
  test::RegText text;
  test::AddProfile(text, 7, "Other");
  return test::AddProfile(text, 0x42, "Field").Sections();
}

TEST_F(DeviceIdentity, FindsTheConnectedDevicesProfileAndClosesEverything) {
  desktop.SetRegistry(Profiles());
  std::string name = "untouched";
  std::uint32_t id = 0;
  ASSERT_TRUE(GetDeviceInfo(device(), name, id));
  EXPECT_EQ(name, "Field");
  EXPECT_EQ(id, 0x42u);
  EXPECT_EQ(device().OpenHandles(), 0u);
}

TEST_F(DeviceIdentity, NoProfileOfTheDevicesIdLeavesTheOutputsAlone) {
  test::RegText other;
  desktop.SetRegistry(test::AddProfile(other, 7, "Other").Sections());
  std::string name = "untouched";
  std::uint32_t id = 9;
  EXPECT_FALSE(GetDeviceInfo(device(), name, id));
  EXPECT_EQ(name, "untouched");
  EXPECT_EQ(id, 9u);
  EXPECT_EQ(device().OpenHandles(), 0u);
}

TEST_F(DeviceIdentity, ADeviceWithoutAnIdIsNotIdentified) {
  desktop.SetRegistry(Profiles());
  for (std::uint32_t no_id : {0u, 0xFFFFFFFFu}) {
    SetDeviceRegistry(test::DeviceWorld::IdentReg(no_id));
    std::string name = "untouched";
    std::uint32_t id = 9;
    EXPECT_FALSE(GetDeviceInfo(device(), name, id)) << no_id;
    EXPECT_EQ(name, "untouched") << no_id;
    EXPECT_EQ(id, 9u) << no_id;
  }
}

// Two profiles carry the device's id: the first whose name can be read wins.
class TwinProfiles : public SimulatedDevice {
 public:
  using SimulatedDevice::SimulatedDevice;
  bool first_readable = true;
  std::int32_t CeSvcEnumProfiles(CeSvcHandle* e, std::uint32_t index, std::uint32_t* p) override {
    if (index > 2) return 259;
    *e = static_cast<CeSvcHandle>(1);
    *p = index == 0 ? 7 : 0x42;
    return 0;
  }
  std::int32_t CeSvcOpen(std::uint32_t, std::uint32_t, bool, CeSvcHandle* h) override {
    *h = static_cast<CeSvcHandle>(100 + opened++);
    return 0;
  }
  std::int32_t CeSvcGetString(CeSvcHandle h, const char*, char* buffer,
                              std::uint32_t size) override {
    if (h == static_cast<CeSvcHandle>(100) && !first_readable) return 1;
    std::snprintf(buffer, size, "profile %d", static_cast<int>(h));
    return 0;
  }
  std::int32_t CeSvcClose(CeSvcHandle) override { return ++closed, 0; }
  int opened = 0;
  int closed = 0;
};

TEST_F(DeviceIdentity, TheFirstReadableProfileOfTheIdWins) {
  for (bool first_readable : {true, false}) {
    TwinProfiles twins(handheld, (desktop.dir().path() / "registry.reg").string());
    twins.first_readable = first_readable;
    std::string name;
    std::uint32_t id = 0;
    ASSERT_TRUE(GetDeviceInfo(twins, name, id));
    EXPECT_EQ(name, first_readable ? "profile 100" : "profile 101");
    EXPECT_EQ(twins.closed, twins.opened + 1);  // every profile and the enumeration
  }
}

TEST_F(DeviceIdentity, StateReadsOnlyZeroToFourAsStoredDwords) {
  struct {
    const char* value;
    std::uint32_t state;
  } cases[] = {{"dword:00000000", 0}, {"dword:00000003", 3}, {"dword:00000004", 4},
               {"dword:00000005", 1}, {"dword:ffffffff", 1}, {"hex:03,00,00,00", 1},
               {"\"3\"", 1}};
  for (const auto& c : cases) {
    SetDeviceRegistry(std::string("[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO]\n\"DBState\"=") +
                      c.value + "\n");
    EXPECT_EQ(GetRegState(device()), c.state) << c.value;
  }
  SetDeviceRegistry("[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO]\n");
  StartLog();
  EXPECT_EQ(GetRegState(device()), kSyncStateIdle);
  EXPECT_EQ(Log(), "");  // a missing value is not an error of its own
  EXPECT_EQ(device().OpenKeys(), 0u);
}

TEST_F(DeviceIdentity, MissingKeyIsLoggedWithTheCodeTheHandheldReturnedAndSetCreatesIt) {
  SetDeviceRegistry("[HKEY_LOCAL_MACHINE\\Ident]\n\"DeviceId\"=dword:00000042\n");
  device();
  StartLog();
  // Whatever the desktop's last error says, the handheld said "not found".
  SetLastErrorCode(5);
  EXPECT_EQ(GetRegState(device()), kSyncStateIdle);
  SetLastErrorCode(5);
  std::u16string path = u"stale";
  EXPECT_FALSE(GetRunImport(device(), path));
  EXPECT_EQ(path, u"");
  EXPECT_TRUE(SetRegState(device(), kSyncStateDelivered));
  EXPECT_EQ(GetRegState(device()), kSyncStateDelivered);
  EXPECT_EQ(Log(),
            "GetRegState: Error accessing remote registry: "
            "The system cannot find the file specified.\r\n\r\n"
            "GetRunImport: Error accessing remote registry: "
            "The system cannot find the file specified.\r\n\r\n");
  EXPECT_NE(DeviceRegistry().find("\"DBState\"=dword:00000004"), std::string::npos);
}

TEST_F(DeviceIdentity, AKeyThatCannotBeMadeFailsTheStateWithTheCodeTheHandheldReturned) {
  device().faults() = FaultRules::Parse("fail CeRegCreateKeyEx error=112\n", nullptr);
  StartLog();
  SetLastErrorCode(2);
  EXPECT_FALSE(SetRegState(device(), kSyncStateDelivered));
  EXPECT_EQ(Log(),
            "SetRegState: Error accessing remote registry: "
            "There is not enough space on the disk.\r\n\r\n");
  EXPECT_EQ(GetRegState(device()), kSyncStateRequested);
  EXPECT_EQ(device().OpenKeys(), 0u);
}

// A value that cannot be written is a failure too; the caller says so.
TEST_F(DeviceIdentity, AStateThatCannotBeWrittenIsAFailureLoggedByTheCaller) {
  device().faults().Fail("CeRegSetValueEx");
  StartLog();
  EXPECT_FALSE(SetRegState(device(), kSyncStateDelivered));
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(GetRegState(device()), kSyncStateRequested);
  EXPECT_EQ(device().OpenKeys(), 0u);
}

TEST_F(DeviceIdentity, RunImportOfAtMost260CharactersAsAString) {
  auto run_import = [&](const std::string& value) {
    SetDeviceRegistry("[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO]\n\"RunImport\"=" + value +
                      "\n");
    std::u16string path;
    const bool ok = GetRunImport(device(), path);
    return ok ? path : (path.empty() ? u"<false>" : u"<false, not empty>");
  };
  EXPECT_EQ(run_import("\"\\\\Windows\\\\imp.exe\""), u"\\Windows\\imp.exe");
  EXPECT_EQ(run_import("\"\""), u"<false>");
  EXPECT_EQ(run_import("hex(2):41,00,00,00"), u"<false>");  // REG_EXPAND_SZ is refused
  EXPECT_EQ(run_import("\"" + std::string(260, 'a') + "\""), std::u16string(260, u'a'));
  EXPECT_EQ(run_import("\"" + std::string(261, 'a') + "\""), u"<false>");
  // 261 units stored without a terminator fill the buffer: no room to end it.
  std::string unterminated = "hex(1):";
  for (int i = 0; i < 261; ++i) unterminated += i ? ",61,00" : "61,00";
  EXPECT_EQ(run_import(unterminated), u"<false>");
  EXPECT_EQ(run_import("hex(1):41,00"), u"A");  // no terminator stored, room for one
}

}  // namespace
}  // namespace zp
