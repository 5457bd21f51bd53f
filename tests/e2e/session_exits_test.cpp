// The exits of a session before any file moves, run as a user would.
#include <filesystem>

#include "e2e/link_launcher.h"
#include "e2e/session_world.h"
#include "e2e/wine_launcher.h"
#include "session/session.h"

namespace zp::test {
namespace {

using SessionExits = SessionWorld;

TEST_F(SessionExits, NoDesktopKeyEndsWithTwoAndWritesNothing) {
  SetDesktopRegistry("[HKEY_CURRENT_USER\\Software\\Brenok\\ZAMO\\PocketPC]\r\n");
  const RunResult run = Run();
  EXPECT_EQ(run.exit_code, kExitNoSettings);
  EXPECT_FALSE(DesktopHas("c/ZAMO/zamopocket.log"));
  EXPECT_FALSE(DesktopHas("c/zamopocket.log"));
}

TEST_F(SessionExits, NoHandheldIsAnUnknownDevice) {
  device_folder = "";
  EXPECT_EQ(Run().exit_code, kExitNotConnected);
  EXPECT_EQ(Log(), kStart + "Unknown device\r\n" + kStop);
  device_folder = world.dir.path() / "nowhere";
  EXPECT_EQ(Run().exit_code, kExitNotConnected);
  EXPECT_EQ(Log(), kStart + "Unknown device\r\n" + kStop + kStart + "Unknown device\r\n" + kStop);
}

// "/dock": the scheduled task's start at every network connection, on a PC
// without WMDC. Where ActiveSync's or WMDC's DLLs load, AutoStartOnConnect
// runs the session: the dock run ends at once, writing nothing, with or
// without a handheld the DLLs see, even with a link it could take.
TEST_F(SessionExits, ADockRunWhereTheDllsAreEndsAtOnceAndWritesNothing) {
  if (!UnderWine() || OverLink()) GTEST_SKIP() << "zamopocket.exe with the DLLs beside it";
  argument = "/dock";
  environment = {"ZAMOPOCKET_LINK=127.0.0.1,127.0.0.2", "ZAMOPOCKET_LINK_TIMEOUTS=connect=500"};
  for (const std::string& docked : {device_folder, std::string()}) {
    device_folder = docked;
    const RunResult run = Run();
    EXPECT_EQ(run.exit_code, kExitDone) << docked;
    EXPECT_FALSE(DesktopHas("c/ZAMO/zamopocket.log")) << docked;
    EXPECT_EQ(DesktopListing("c/ZAMO"), "") << docked;
    EXPECT_EQ(DeviceState(), "dword:00000003") << docked;
  }
}

// Without the DLLs a dock run is the link's: any other network that
// connects ends it at once, writing nothing; the handheld's runs the session
// as a start with no command line does.
TEST_F(SessionExits, ADockRunWithoutTheDllsRunsASessionOnlyForAHandheldsLink) {
  if (!UnderWine() || !OverLink()) GTEST_SKIP() << "zamopocket.exe alone, over the link";
  argument = "/dock";
  const std::string docked = device_folder;
  device_folder = "";  // no ZAMOPOCKET_LINK, and no adapter of the machine is a handheld's
  const RunResult other = Run();
  EXPECT_EQ(other.exit_code, kExitDone);
  EXPECT_FALSE(DesktopHas("c/ZAMO/zamopocket.log"));
  device_folder = docked;
  const RunResult run = Run();
  EXPECT_EQ(run.exit_code, kExitDone);
  EXPECT_TRUE(Log().starts_with(kStart + kConnected)) << Log();
  EXPECT_TRUE(Log().ends_with("Finished successfully\r\n\r\n" + kStop)) << Log();
  EXPECT_EQ(DeviceState(), "dword:00000004");
}

TEST_F(SessionExits, TheSyncRootFallsBackToDriveCAndGetsItsBackslash) {
  device_folder = "";
  const std::string head = "[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO\\PocketPC]\r\n";
  for (const std::string& value : {std::string(), std::string("\"PathSync\"=\"\"\r\n"),
                                   "\"PathSync\"=\"c:\\\\" + std::string(258, 'x') + "\"\r\n"}) {
    SetDesktopRegistry(head + value);
    EXPECT_EQ(Run().exit_code, kExitNotConnected);
    EXPECT_EQ(DesktopFile("c/zamopocket.log"), kStart + "Unknown device\r\n" + kStop);
    std::filesystem::remove(std::filesystem::path(world.desktop_root()) / "c/zamopocket.log");
  }
  for (const char* value : {"d:\\\\data", "d:\\\\data\\\\"}) {
    std::filesystem::create_directories(std::filesystem::path(world.desktop_root()) / "d/data");
    SetDesktopRegistry(head + "\"PathSync\"=\"" + value + "\"\r\n");
    EXPECT_EQ(Run().exit_code, kExitNotConnected);
  }
  EXPECT_EQ(DesktopFile("d/data/zamopocket.log"),
            kStart + "Unknown device\r\n" + kStop + kStart + "Unknown device\r\n" + kStop);
}

TEST_F(SessionExits, ADisplayNameThatIsNoFolderNameIsRefused) {
  SetDesktopRegistry(
      "[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO\\PocketPC]\r\n"
      "\"PathSync\"=\"c:\\\\ZAMO\"\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows CE Services\\Partners\\"
      "00000042]\r\n\"DisplayName\"=\"..\\\\..\\\\Windows\"\r\n");
  EXPECT_EQ(Run().exit_code, kExitNotConnected);
  // Over the link the name is the device's own, and shown escaped.
  const std::string name = OverLink() ? "..\\\\..\\\\Windows" : "..\\..\\Windows";
  EXPECT_EQ(Log(), kStart + "Device name cannot be used as a folder name: " + name +
                       "\r\nUnknown device\r\n" + kStop);
  EXPECT_EQ(DesktopListing("c"), "ZAMO/");
}

TEST_F(SessionExits, AFailedConnectionEndsWithOne) {
  world.SetFaults("fail CeRapiInit\n");
  EXPECT_EQ(Run().exit_code, kExitNotConnected);
  // Over the link, a handheld that will not open the remote API opens no
  // session connection, and the log says so.
  // An older handheld's session port refuses the desktop's dial.
  const std::string why = OverLegacyLink() ? "Cannot open a session on " + LinkHandheldAddress() +
                                                 ":990: Connection refused\r\n"
                          : OverLink() ? "The handheld opened no session within 2 s\r\n"
                                       : "";
  EXPECT_EQ(Log(),
            kStart + "Connecting to PocketPC...\r\n" + why + "Failed to connect\r\n" + kStop);
}

TEST_F(SessionExits, NoSyncWantedEndsWithZeroAndCreatesNoFolder) {
  for (std::uint32_t state : {0u, 1u, 2u, 4u, 7u}) {
    SetDeviceState(state);
    EXPECT_EQ(Run().exit_code, kExitDone) << state;
  }
  std::string expected;
  for (int i = 0; i < 5; ++i)
    expected += kStart + kConnected + "No need to synchronize\r\n" + kStop;
  EXPECT_EQ(Log(), expected);
  EXPECT_EQ(DesktopListing("c/ZAMO"), "zamopocket.log");
}

TEST_F(SessionExits, AMissingImportProgramValueEndsWithFour) {
  world.SetDeviceReg(
      world.IdentReg(0x42) +
      "\n[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO]\n\"DBState\"=dword:00000003\n");
  EXPECT_EQ(Run().exit_code, kExitNoImportProgram);
  EXPECT_EQ(Log(), kStart + kConnected + "Cannot find registry value RunImport\r\n" + kStop);
}

TEST_F(SessionExits, AFolderThatCannotBeMadeEndsWithThree) {
  PutDesktopFile("c/ZAMO/Field", "a file where the device folder belongs");
  EXPECT_EQ(Run().exit_code, kExitNoFolder);
  EXPECT_EQ(Log(), kStart + kConnected + "Could not create directory c:\\ZAMO\\Field\r\n" + kStop);

  std::filesystem::remove(std::filesystem::path(world.desktop_root()) / "c/ZAMO/Field");
  PutDesktopFile("c/ZAMO/Field/ToPocket", "a file where ToPocket belongs");
  std::filesystem::remove(std::filesystem::path(world.desktop_root()) / "c/ZAMO/zamopocket.log");
  EXPECT_EQ(Run().exit_code, kExitNoFolder);
  EXPECT_EQ(Log(), kStart + kConnected +
                       "Could not create directory c:\\ZAMO\\Field\\ToPocket\r\n" + kStop);
  EXPECT_EQ(DeviceState(), "dword:00000003");
}

}  // namespace
}  // namespace zp::test
