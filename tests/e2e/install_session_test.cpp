// Sessions with a pending installation, the question answered on a terminal.
#include <filesystem>

#include "e2e/session_world.h"
#include "e2e/wine_launcher.h"
#include "session/session.h"

namespace zp::test {
namespace {

// The handheld's names match case-insensitively: the install files land in
// the "Program Files" folder the import program already lives in.
class InstallSession : public SessionWorld {
 protected:
  InstallSession() {
    PutDesktopFile("c/Install/zamo.arm.cab", "cab");
    PutDesktopFile("c/Install/runinstarm.exe", "setup");
    SetDeviceState(1);  // no sync: the installation alone
  }
  void Pending(const std::string& list) {
    SetDesktopRegistry(
        "[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO\\PocketPC]\r\n\"PathSync\"=\"c:"
        "\\\\ZAMO\"\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Brenok\\ZAMO\\PocketPC]\r\n\"InstallID\"=\"" +
        list + "\"\r\n\"InstallPath\"=\"c:\\\\Install\"\r\n\r\n");
    world.AddProfile(0x42, "Field");
  }
  std::string InstallId() const {
    const std::string reg = DesktopFile("registry.reg");
    const auto at = reg.find("\"InstallID\"=");
    return reg.substr(at + 12, reg.find_first_of("\r\n", at) - at - 12);
  }
  const std::string copies =
      "Copying installation cab-file from 'c:\\Install\\zamo.arm.cab' to "
      "'\\Program files\\ZAMO\\zamo.arm.cab'\r\n"
      "Copying installation file from 'c:\\Install\\runinstarm.exe' to "
      "'\\Program files\\ZAMO\\runinst.exe'\r\n";
  const std::string started =
      "\\Program files\\ZAMO\\runinst.exe\t\\Program files\\ZAMO\\zamo.arm.cab\n";
};

TEST_F(InstallSession, NothingPendingGoesStraightOn) {
  Pending("0000000a");
  EXPECT_EQ(Run().exit_code, kExitDone);
  EXPECT_EQ(Log(), kStart + kConnected + "No need to synchronize\r\n" + kStop);
  EXPECT_EQ(world.StartedLog(), "");
  EXPECT_EQ(InstallId(), "\"0000000a\"");
}

TEST_F(InstallSession, YesOnTheTerminalTakesTheEntryOff) {
  Pending("0000000a,00000042");
  const RunResult run = RunAnswering("y");
  EXPECT_EQ(run.exit_code, kExitDone) << run.output;
  if (!UnderWine()) {  // on a terminal; under Windows a message box
    EXPECT_NE(run.output.find("\nWas installation successfull? [y/n] "), std::string::npos)
        << run.output;
  }
  EXPECT_EQ(Log(), kStart + kConnected + copies + "Application successfully installed\r\n\r\n" +
                       "No need to synchronize\r\n" + kStop);
  EXPECT_EQ(InstallId(), "\"0000000a\"");
  EXPECT_EQ(world.StartedLog(), started);
  EXPECT_EQ(world.DeviceFile("\\Program Files\\ZAMO\\zamo.arm.cab"), "cab");
  EXPECT_FALSE(world.DeviceHas("\\Program Files\\ZAMO\\runinst.exe"));
}

TEST_F(InstallSession, NoOnTheTerminalEndsWithOneAndKeepsItPending) {
  Pending("00000042");
  const RunResult run = RunAnswering("n");
  EXPECT_EQ(run.exit_code, kExitNotConnected) << run.output;
  EXPECT_EQ(Log(), kStart + kConnected + copies +
                       "Application was not successfully installed\r\n\r\n"
                       "Cannot install application\r\n" +
                       kStop);
  EXPECT_EQ(InstallId(), "\"00000042\"");
  EXPECT_TRUE(world.DeviceHas("\\Program Files\\ZAMO\\runinst.exe"));
}

// Under Windows a message box that cannot be shown is not a yes. On Linux a
// session without a terminal (a dock: started at docking by the system)
// cannot ask at all: it does not start the installation, keeps it pending
// and syncs.
TEST_F(InstallSession, WithoutATerminalTheQuestionIsNotAYes) {
  headless = true;  // under Windows: no display, so the message box cannot be shown
  Pending("00000042");
  SetDeviceState(3);
  const RunResult run = Run();
  EXPECT_EQ(InstallId(), "\"00000042\"");
  if (UnderWine()) {
    EXPECT_EQ(run.exit_code, kExitNotConnected);
    EXPECT_EQ(Log(), kStart + kConnected + copies +
                         "Could not ask whether the installation succeeded\r\n"
                         "Application was not successfully installed\r\n\r\n"
                         "Cannot install application\r\n" +
                         kStop);
    EXPECT_EQ(world.StartedLog(), started);
    EXPECT_EQ(DeviceState(), "dword:00000003");
    return;
  }
  EXPECT_EQ(run.exit_code, kExitDone) << run.output;
  const std::string log = Log();
  EXPECT_TRUE(log.starts_with(
      kStart + kConnected +
      "Installation pending for this handheld, not started: nobody here can confirm it. It "
      "stays pending: run zamopocket in a terminal with the handheld docked to install it\r\n"))
      << log;
  EXPECT_TRUE(log.ends_with("Finished successfully\r\n\r\n" + kStop)) << log;
  EXPECT_FALSE(world.DeviceHas("\\Program Files\\ZAMO\\runinst.exe"));
  EXPECT_EQ(world.StartedLog(), "\\Program Files\\ZAMO\\import.exe\t\n");
  EXPECT_EQ(DeviceState(), "dword:00000004");
}

TEST_F(InstallSession, AnUnsupportedProcessorFailsEverySession) {
  Pending("");
  world.SetDeviceReg(
      world.IdentReg(0x42, 0x820) +
      "\n[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO]\n\"DBState\"=dword:00000003\n");
  EXPECT_EQ(Run().exit_code, kExitNotConnected);
  EXPECT_EQ(Log(), kStart + kConnected + "Unsupported processor: 2080\r\n" +
                       "Cannot install application\r\n" + kStop);
}

TEST_F(InstallSession, AMissingCabFileIsFoundBeforeAnyCopy) {
  Pending("00000042");
  std::filesystem::remove(std::filesystem::path(world.desktop_root()) / "c/Install/zamo.arm.cab");
  EXPECT_EQ(Run().exit_code, kExitNotConnected);
  EXPECT_EQ(Log(), kStart + kConnected +
                       "Cannot find source cab-file: c:\\Install\\zamo.arm.cab\r\n" +
                       "Cannot install application\r\n" + kStop);
  EXPECT_FALSE(world.DeviceHas("\\Program Files\\ZAMO\\runinst.exe"));
  EXPECT_EQ(world.StartedLog(), "");
}

}  // namespace
}  // namespace zp::test
