#include "install/installer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "report/progress.h"
#include "support/handheld_test.h"
#include "support/reg_text.h"

namespace zp {
namespace {

// Draws nothing; gives each window a platform window of its own, as the
// dialog renderer gives its HWND.
class OwnerRenderer : public ProgressRenderer {
 public:
  void Created(const ProgressWindow& window) override { windows_.push_back(&window); }
  void Repaint(const ProgressWindow&) override {}
  void Destroyed(const ProgressWindow&) override {}
  void* PlatformWindow(const ProgressWindow& window) const override {
    for (std::size_t i = 0; i < windows_.size(); ++i) {
      if (windows_[i] == &window) return &handles_[i];
    }
    return nullptr;
  }
  static void* HandleOf(std::size_t index) { return &handles_[index]; }

 private:
  std::vector<const ProgressWindow*> windows_;
  static inline int handles_[8] = {};
};

class Installer : public test::HandheldTest {
 protected:
  void SetUp() override {
    CreateProgress(nullptr, "", 0);
    desktop.Write("c/Setup/zamo.arm.cab", "cab bytes");
    desktop.Write("c/Setup/runinstarm.exe", "setup bytes");
  }
  void TearDown() override { DestroyProgress(); }
  void Settings(const std::string& install_id, const std::string& path = "c:\\Setup") {
    desktop.SetRegistry(test::RegText()
                            .Key(kSettings)
                            .String("InstallID", install_id)
                            .String("InstallPath", path)
                            .Sections());
  }
  std::string InstallId() const {
    const std::string reg = desktop.Read("registry.reg");
    const auto at = reg.find("\"InstallID\"=");
    return at == std::string::npos ? "<none>"
                                   : reg.substr(at + 12, reg.find_first_of("\r\n", at) - at - 12);
  }
  bool Run() {
    return CheckInstall(device(), 0x42,
                        [this](void* owner, const std::string& text, const std::string& caption) {
                          ++asked;
                          asked_owner = owner;
                          EXPECT_EQ(text, "Was installation successfull?");
                          EXPECT_EQ(caption, "Installation");
                          return reply;
                        });
  }
  std::string Started() const { return world.StartedLog(); }

  Answer reply = Answer::Yes;   ///< what the question gives
  int asked = 0;                ///< times the question was asked
  void* asked_owner = nullptr;  ///< the owner window it was last asked with

  static constexpr char kSettings[] = "HKEY_CURRENT_USER\\Software\\Brenok\\ZAMO\\PocketPC";
  static constexpr char kCabLine[] =
      "Copying installation cab-file from 'c:\\Setup\\zamo.arm.cab' to "
      "'\\Program files\\ZAMO\\zamo.arm.cab'\r\n";
  static constexpr char kCopyLines[] =
      "Copying installation cab-file from 'c:\\Setup\\zamo.arm.cab' to "
      "'\\Program files\\ZAMO\\zamo.arm.cab'\r\n"
      "Copying installation file from 'c:\\Setup\\runinstarm.exe' to "
      "'\\Program files\\ZAMO\\runinst.exe'\r\n";
};

TEST_F(Installer, AConfirmedInstallationTakesOnlyTheDevicesEntryOff) {
  Settings("0000000a,00000042,0000000c");
  StartLog();
  ASSERT_TRUE(Run());
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(Log(), std::string(kCopyLines) + "Application successfully installed\r\n\r\n");
  EXPECT_EQ(InstallId(), "\"0000000a,0000000c\"");
  EXPECT_EQ(DeviceFile("\\Program files\\ZAMO\\zamo.arm.cab"), "cab bytes");
  EXPECT_FALSE(DeviceHas("\\Program files\\ZAMO\\runinst.exe"));  // removed after the yes
  EXPECT_EQ(Started(), "\\Program files\\ZAMO\\runinst.exe\t\\Program files\\ZAMO\\zamo.arm.cab\n");
  // The installer's own window is current and its bar is hidden.
  ProgressWindow* window = CurrentProgress();
  EXPECT_EQ(window->status(), "Running installation...");
  EXPECT_EQ(window->total(), 9 + 11);
  EXPECT_FALSE(window->bar_visible());
  EXPECT_EQ(device().OpenHandles(), 0u);
}

TEST_F(Installer, TheQuestionIsOwnedByThePlatformWindowOfTheInstallersWindow) {
  Settings("00000042");
  DestroyProgress();
  auto previous = SetProgressRenderer(std::make_unique<OwnerRenderer>());
  CreateProgress(nullptr, "", 0);  // the driver's window: index 0
  StartLog();
  EXPECT_TRUE(Run());
  EXPECT_EQ(asked_owner, OwnerRenderer::HandleOf(1));  // the installer's window, not the driver's
  DestroyProgress();
  SetProgressRenderer(std::move(previous));
  // Without a renderer there is no platform window: the question has no owner.
  Settings("00000042");
  CreateProgress(nullptr, "", 0);
  EXPECT_TRUE(Run());
  EXPECT_EQ(asked_owner, nullptr);
}

TEST_F(Installer, NoOrAQuestionThatCannotBeAskedKeepsTheEntryPending) {
  for (Answer answer : {Answer::No, Answer::Failed}) {
    Settings("00000042");
    reply = answer;
    StartLog();
    EXPECT_FALSE(Run());
    EXPECT_EQ(Log(),
              std::string(kCopyLines) +
                  (answer == Answer::Failed ? "Could not ask whether the installation succeeded\r\n"
                                            : "") +
                  "Application was not successfully installed\r\n\r\n");
    EXPECT_EQ(InstallId(), "\"00000042\"");
    EXPECT_TRUE(DeviceHas("\\Program files\\ZAMO\\runinst.exe"));
  }
}

TEST_F(Installer, NothingPendingForThisDeviceInstallsNothing) {
  for (const char* list : {"", "0000000a", "0000000a,0000000b", "0000000a,0000000b,"}) {
    Settings(list);
    StartLog();
    EXPECT_TRUE(Run()) << list;
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(InstallId(), std::string("\"") + list + "\"");
  }
  desktop.SetRegistry("[HKEY_CURRENT_USER\\Software\\Brenok\\ZAMO\\PocketPC]\r\n");
  EXPECT_TRUE(Run());  // no InstallID at all
  EXPECT_EQ(asked, 0);
  EXPECT_FALSE(DeviceHas("\\Program files\\ZAMO"));
  EXPECT_EQ(CurrentProgress()->total(), 0);  // no window of its own
}

TEST_F(Installer, AnUnsupportedProcessorFailsEvenWithNothingPending) {
  SetDeviceRegistry(test::DeviceWorld::IdentReg(0x42, 0x820));
  Settings("");
  StartLog();
  EXPECT_FALSE(Run());
  EXPECT_EQ(Log(), "Unsupported processor: 2080\r\n");
  EXPECT_FALSE(DeviceHas("\\Program files\\ZAMO"));
}

TEST_F(Installer, NoSettingsKeyFailsWithoutALogLine) {
  desktop.SetRegistry("");
  StartLog();
  EXPECT_FALSE(Run());
  EXPECT_EQ(Log(), "");
  EXPECT_FALSE(DeviceHas("\\Program files\\ZAMO"));
}

TEST_F(Installer, NoInstallPathWhileAnEntryIsPendingIsLoggedAndTheSessionGoesOn) {
  desktop.SetRegistry(test::RegText().Key(kSettings).String("InstallID", "42").Sections());
  StartLog();
  EXPECT_TRUE(Run());
  EXPECT_EQ(Log(), "Cannot read registry value InstallPath\r\n");
  EXPECT_FALSE(DeviceHas("\\Program files\\ZAMO"));
  EXPECT_EQ(InstallId(), "\"42\"");
}

// The sources are looked for after the device's folder is made and before
// anything is copied; the entry stays pending.
TEST_F(Installer, AMissingCabFileIsFoundBeforeAnyCopy) {
  Settings("42", "c:\\Setup\\");
  std::filesystem::remove(desktop.dir().path() / "c/Setup/zamo.arm.cab");
  StartLog();
  EXPECT_FALSE(Run());
  EXPECT_EQ(Log(), "Cannot find source cab-file: c:\\Setup\\zamo.arm.cab\r\n");
  EXPECT_TRUE(DeviceHas("\\Program files\\ZAMO"));
  EXPECT_FALSE(DeviceHas("\\Program files\\ZAMO\\zamo.arm.cab"));
  EXPECT_EQ(InstallId(), "\"42\"");
}

TEST_F(Installer, AMissingSetupProgramIsFoundBeforeAnyCopy) {
  Settings("42");
  std::filesystem::remove(desktop.dir().path() / "c/Setup/runinstarm.exe");
  StartLog();
  EXPECT_FALSE(Run());
  EXPECT_EQ(Log(), "Cannot find RunInst file: c:\\Setup\\runinstarm.exe\r\n");
  EXPECT_FALSE(DeviceHas("\\Program files\\ZAMO\\zamo.arm.cab"));
  EXPECT_EQ(InstallId(), "\"42\"");
}

TEST_F(Installer, AFolderThatCannotBeMadeOnTheDeviceLetsTheSessionGoOn) {
  Settings("00000042");
  device().faults().Fail("CeCreateDirectory");
  StartLog();
  EXPECT_TRUE(Run());
  EXPECT_EQ(Log(), "Cannot create remote path: \\Program files\\ZAMO\r\n");
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(InstallId(), "\"00000042\"");
}

TEST_F(Installer, AFailedCabCopyLetsTheSessionGoOnAndSendsNoSetupProgram) {
  Settings("00000042");
  device().faults().Fail("CeCreateFile", "*.cab");
  StartLog();
  EXPECT_TRUE(Run());
  EXPECT_EQ(Log(), std::string(kCabLine) + "Error copying installation cab-file\r\n");
  EXPECT_FALSE(DeviceHas("\\Program files\\ZAMO\\runinst.exe"));
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(InstallId(), "\"00000042\"");
}

TEST_F(Installer, AFailedSetupProgramCopyFailsTheSession) {
  Settings("00000042");
  device().faults().Fail("CeCreateFile", "*runinst.exe");
  StartLog();
  EXPECT_FALSE(Run());
  EXPECT_EQ(Log(), std::string(kCopyLines) + "Error copying installation file\r\n");
  EXPECT_EQ(Started(), "");
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(InstallId(), "\"00000042\"");
}

TEST_F(Installer, ASetupProgramThatCannotStartFailsWithoutAsking) {
  Settings("00000042");
  device().faults().Fail("CeCreateProcess", "", 1, false);
  StartLog();
  EXPECT_FALSE(Run());
  const std::string log = Log();
  EXPECT_TRUE(log.starts_with(kCopyLines)) << log;
  EXPECT_NE(log.find("Could not run installation file: 0x"), std::string::npos) << log;
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(InstallId(), "\"00000042\"");
  EXPECT_EQ(device().OpenHandles(), 0u);
}

// The user confirmed the installation: it counts as done, and an InstallID
// that cannot be written back only leaves the entry pending (the next
// session asks again).
TEST_F(Installer, AnInstallIdThatCannotBeWrittenBackLeavesTheEntryPending) {
  Settings("0000000a,00000042");
  // A line the registry cannot read: it is never written over.
  desktop.Write("registry.reg", desktop.Read("registry.reg") + "a line that is not a value\n");
  StartLog();
  EXPECT_TRUE(Run());
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(Log(), std::string(kCopyLines) + "Application successfully installed\r\n\r\n");
  EXPECT_EQ(InstallId(), "\"0000000a,00000042\"");
  EXPECT_NE(desktop.Read("registry.reg").find("a line that is not a value"), std::string::npos);
}

TEST_F(Installer, AnInstallFolderTooLongForItsNamesIsRefused) {
  Settings("00000042", "c:\\" + std::string(245, 'p'));
  StartLog();
  EXPECT_FALSE(Run());
  EXPECT_EQ(Log(), "Path too long: c:\\" + std::string(245, 'p') + "\\zamo.arm.cab\r\n");
}

}  // namespace
}  // namespace zp
