#include "session/session.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/posix/posix_faults.h"
#include "report/progress.h"
#include "support/handheld_test.h"
#include "support/reg_text.h"

namespace zp {
namespace {

// Whoever starts the program reads these numbers: they never change, whatever
// the names the tests compare with.
static_assert(kExitDone == 0 && kExitNotConnected == 1 && kExitNoSettings == 2 &&
              kExitNoFolder == 3 && kExitNoImportProgram == 4);

// A handheld that counts its disconnects and can fail in the middle of a
// session by throwing, as an allocation failure would.
class CountingDevice : public SimulatedDevice {
 public:
  using SimulatedDevice::SimulatedDevice;
  std::int32_t CeRapiUninit() override {
    ++uninits;
    return SimulatedDevice::CeRapiUninit();
  }
  std::int32_t CeRegOpenKeyEx(CeKey root, const std::u16string& key, CeKey* opened) override {
    if (throw_in_registry) throw std::runtime_error("out of memory");
    return SimulatedDevice::CeRegOpenKeyEx(root, key, opened);
  }
  int uninits = 0;
  bool throw_in_registry = false;
};

class Session : public test::HandheldTest {
 protected:
  void SetUp() override {
    test::RegText settings;
    settings.Key("HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO\\PocketPC").String("PathSync", "c:\\");
    settings.Key("HKEY_CURRENT_USER\\Software\\Brenok\\ZAMO\\PocketPC");
    desktop.SetRegistry(test::AddProfile(settings, 0x42, "Field").Sections());
    SetDeviceRegistry(world.IdentReg(0x42) + test::RegText(regfile::Strings::Wide)
                                                 .Key("HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO")
                                                 .Dword("DBState", 1)
                                                 .Sections());
  }
  CountingDevice Device() {
    return CountingDevice(handheld, (desktop.dir().path() / "registry.reg").string());
  }
  std::string SessionLog() const { return desktop.Read("c/zamopocket.log"); }
};

TEST_F(Session, AnExceptionStillClosesWindowConnectionAndLogOnce) {
  CountingDevice device = Device();
  device.throw_in_registry = true;
  EXPECT_EQ(RunSession(device), kExitNotConnected);
  EXPECT_EQ(device.uninits, 1);
  EXPECT_EQ(CurrentProgress(), nullptr);
  const std::string log = SessionLog();
  EXPECT_NE(log.find("Successfully connected to Field\r\n"
                     "Session stopped by an unexpected error: out of memory\r\n"
                     "\nStopping logging at"),
            std::string::npos)
      << log;
}

TEST_F(Session, TheConnectionIsClosedOnlyWhenItWasOpened) {
  CountingDevice failing = Device();
  failing.faults().Fail("CeRapiInit");
  EXPECT_EQ(RunSession(failing), kExitNotConnected);
  EXPECT_EQ(failing.uninits, 0);

  CountingDevice working = Device();
  EXPECT_EQ(RunSession(working), kExitDone);
  EXPECT_EQ(working.uninits, 1);
  EXPECT_EQ(CurrentProgress(), nullptr);
}

// A handheld's first session creates its folders: should their names not
// be made to last, nothing may leave the handheld, or a power cut could
// take the folder and every array moved into it.
TEST_F(Session, FoldersWhoseNamesCannotBeFlushedMoveNothing) {
  SetDeviceRegistry(world.IdentReg(0x42) + test::RegText(regfile::Strings::Wide)
                                               .Key("HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO")
                                               .Dword("DBState", 3)
                                               .String("RunImport", "\\import.exe")
                                               .Sections());
  PutDeviceFile(test::kSync + std::string("A.ARR"), "array");
  ASSERT_TRUE(posix::SetDesktopFaults("fail FlushFileBuffers\n"));
  CountingDevice device = Device();
  EXPECT_EQ(RunSession(device), kExitDone);
  posix::SetDesktopFaults("");
  EXPECT_TRUE(DeviceHas(test::kSync + std::string("A.ARR")));
  EXPECT_FALSE(desktop.Exists("c/Field/FromPocket/ARR00001.ARR"));
  EXPECT_NE(SessionLog().find("Cannot flush c:\\: "), std::string::npos) << SessionLog();
  EXPECT_NE(SessionLog().find("Finished unsuccessfully"), std::string::npos);
}

}  // namespace
}  // namespace zp
