// Whole sync sessions: arrays in, classifiers and templates out, state 4,
// the import program started, ToPocket cleared.
#include <chrono>
#include <filesystem>
#include <thread>

#include "e2e/session_world.h"
#include "session/session.h"

namespace zp::test {
namespace {

class SyncSession : public SessionWorld {
 protected:
  SyncSession() {
    world.AddDeviceFile(kSync + "A.ARR", "array a");
    world.AddDeviceFile(kSync + "b.arr", std::string(40000, 'b'));
    world.AddDeviceFile(kSync + "OLD.TMT", "old template");
    world.AddDeviceFile(kSync + "OLD.CLS", "old classifier");
    PutDesktopFile("c/ZAMO/Field/FromPocket/ARR00001.ARR", "an earlier array");
    PutDesktopFile("c/ZAMO/Field/ToPocket/R.CLS", "regions");
    PutDesktopFile("c/ZAMO/Field/ToPocket/S.TMT", "survey");
  }
  const std::string arrays =
      "Copying file \\My Documents\\Personal\\ZAMO\\Sync\\A.ARR to "
      "c:\\ZAMO\\Field\\FromPocket\\ARR00002.ARR\r\n"
      "Copying file \\My Documents\\Personal\\ZAMO\\Sync\\b.arr to "
      "c:\\ZAMO\\Field\\FromPocket\\ARR00003.ARR\r\n";
  const std::string delivery =
      "Copying classifier 'c:\\ZAMO\\Field\\ToPocket\\R.CLS' to "
      "'\\My Documents\\Personal\\ZAMO\\Sync\\R.CLS'\r\n"
      "Copied successfully\r\n\r\n"
      "Copying template 'c:\\ZAMO\\Field\\ToPocket\\S.TMT' to "
      "'\\My Documents\\Personal\\ZAMO\\Sync\\S.TMT'\r\n"
      "Copied successfully\r\n\r\n";
};

TEST_F(SyncSession, ACompleteSessionMovesEverythingAndStartsTheImport) {
  const RunResult run = Run();
  EXPECT_EQ(run.exit_code, kExitDone) << run.output;
  EXPECT_EQ(Log(),
            kStart + kConnected + arrays + delivery + "Finished successfully\r\n\r\n" + kStop);
  EXPECT_EQ(DesktopListing("c/ZAMO/Field/FromPocket"), "ARR00001.ARR ARR00002.ARR ARR00003.ARR");
  EXPECT_EQ(DesktopFile("c/ZAMO/Field/FromPocket/ARR00002.ARR"), "array a");
  EXPECT_EQ(DesktopFile("c/ZAMO/Field/FromPocket/ARR00003.ARR"), std::string(40000, 'b'));
  EXPECT_EQ(DeviceListing(kSync), "R.CLS S.TMT");
  EXPECT_EQ(world.DeviceFile(kSync + "R.CLS"), "regions");
  EXPECT_EQ(DeviceState(), "dword:00000004");
  EXPECT_EQ(world.StartedLog(), "\\Program Files\\ZAMO\\import.exe\t\n");
  EXPECT_EQ(DesktopListing("c/ZAMO/Field/ToPocket"), "");
  EXPECT_EQ(run.output, "");  // no terminal: nothing drawn

  // The next session finds nothing to do.
  EXPECT_EQ(Run().exit_code, kExitDone);
  EXPECT_TRUE(Log().ends_with(kConnected + "No need to synchronize\r\n" + kStop));
}

TEST_F(SyncSession, AFailedArrayPassSkipsDeliveryAndKeepsTheState) {
  world.SetFaults("fail CeDeleteFile path=*b.arr\n");
  EXPECT_EQ(Run().exit_code, kExitDone);
  EXPECT_EQ(Log(), kStart + kConnected + arrays +
                       "Cannot delete remote file \\My Documents\\Personal\\ZAMO\\Sync\\b.arr\r\n"
                       "Finished unsuccessfully\r\n\r\n" +
                       kStop);
  EXPECT_EQ(DesktopListing("c/ZAMO/Field/FromPocket"), "ARR00001.ARR ARR00002.ARR");
  EXPECT_EQ(DeviceListing(kSync), "OLD.CLS OLD.TMT b.arr");
  EXPECT_EQ(DeviceState(), "dword:00000003");
  EXPECT_EQ(world.StartedLog(), "");
  EXPECT_EQ(DesktopListing("c/ZAMO/Field/ToPocket"), "R.CLS S.TMT");
}

TEST_F(SyncSession, AFailedDeliveryKeepsTheStateAndToPocket) {
  world.SetFaults("fail CeWriteFile path=*S.TMT\n");
  EXPECT_EQ(Run().exit_code, kExitDone);
  EXPECT_EQ(Log(), kStart + kConnected + arrays +
                       "Copying classifier 'c:\\ZAMO\\Field\\ToPocket\\R.CLS' to "
                       "'\\My Documents\\Personal\\ZAMO\\Sync\\R.CLS'\r\n"
                       "Copied successfully\r\n\r\n"
                       "Copying template 'c:\\ZAMO\\Field\\ToPocket\\S.TMT' to "
                       "'\\My Documents\\Personal\\ZAMO\\Sync\\S.TMT'\r\n"
                       "Failed to copy\r\n\r\n"
                       "Finished unsuccessfully\r\n\r\n" +
                       kStop);
  EXPECT_EQ(DeviceState(), "dword:00000003");
  EXPECT_EQ(DesktopListing("c/ZAMO/Field/ToPocket"), "R.CLS S.TMT");
  EXPECT_EQ(world.StartedLog(), "");
}

TEST_F(SyncSession, AStateThatCannotBeWrittenFailsTheSessionAndTheNextCompletesIt) {
  world.SetFaults("fail CeRegSetValueEx\n");
  EXPECT_EQ(Run().exit_code, kExitDone);
  EXPECT_EQ(Log(), kStart + kConnected + arrays + delivery +
                       "Cannot write registry value DBState\r\n"
                       "Finished unsuccessfully\r\n\r\n" +
                       kStop);
  EXPECT_EQ(DeviceState(), "dword:00000003");
  EXPECT_EQ(world.StartedLog(), "");  // the import program is not started on a 3
  EXPECT_EQ(DesktopListing("c/ZAMO/Field/ToPocket"), "R.CLS S.TMT");

  world.SetFaults("");
  EXPECT_EQ(Run().exit_code, kExitDone);
  EXPECT_TRUE(Log().ends_with("Finished successfully\r\n\r\n" + kStop));
  EXPECT_EQ(DeviceState(), "dword:00000004");
  EXPECT_EQ(world.StartedLog(), "\\Program Files\\ZAMO\\import.exe\t\n");
  EXPECT_EQ(DesktopListing("c/ZAMO/Field/ToPocket"), "");
  EXPECT_EQ(DesktopListing("c/ZAMO/Field/FromPocket"), "ARR00001.ARR ARR00002.ARR ARR00003.ARR");
}

TEST_F(SyncSession, ASecondSessionWhileOneRunsLeavesTheLogWholeAndTouchesNothing) {
  world.SetFaults("slow CeReadFile ms=300\n");  // the first session takes a while
  RunResult first;
  std::thread first_session([&] { first = Run(); });
  // The first holds the lock once it has connected.
  for (int i = 0; i < 400 && Log().find("Successfully connected") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  alongside = true;
  const RunResult second = Run();
  first_session.join();
  EXPECT_EQ(second.exit_code, kExitNotConnected) << second.output;
  EXPECT_EQ(first.exit_code, kExitDone) << first.output;
  const std::string log = Log();
  // The log is the first session's, whole: nothing of the second in its middle.
  const auto count = [&](const std::string& what) {
    std::size_t n = 0;
    for (auto at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count(kStart), 1u) << log;
  EXPECT_EQ(count(kStop), 1u) << log;
  EXPECT_TRUE(log.starts_with(kStart + kConnected)) << log;
  EXPECT_TRUE(log.ends_with("Finished successfully\r\n\r\n" + kStop)) << log;
  EXPECT_EQ(DesktopListing("c/ZAMO/Field/FromPocket"), "ARR00001.ARR ARR00002.ARR ARR00003.ARR");
  EXPECT_EQ(DeviceListing(kSync), "R.CLS S.TMT");
  EXPECT_EQ(DeviceState(), "dword:00000004");
}

TEST_F(SyncSession, AnImportProgramThatCannotStartIsLoggedAndToPocketStays) {
  std::filesystem::remove(world.dir.path() /
                          world.FilesRelative("\\Program Files\\ZAMO\\import.exe"));
  EXPECT_EQ(Run().exit_code, kExitDone);
  const std::string log = Log();
  EXPECT_TRUE(log.starts_with(kStart + kConnected + arrays + delivery +
                              "Could not run import program \\Program Files\\ZAMO\\import.exe: "
                              "0x00000000 0x00000002\r\n"))
      << log;
  EXPECT_TRUE(log.ends_with("0x00000002\r\n" + kStop));
  EXPECT_EQ(log.find("Finished"), std::string::npos);
  EXPECT_EQ(DeviceState(), "dword:00000004");
  EXPECT_EQ(DesktopListing("c/ZAMO/Field/ToPocket"), "R.CLS S.TMT");
}

TEST_F(SyncSession, ALostConnectionAtAnyPointLosesNoArrayAndLeavesNoPartOfOne) {
  // The connection is cut after 1, 2, ... operations, one session each, until
  // a session completes. Every array stays exactly once: on the handheld or
  // whole in FromPocket.
  const std::string b(40000, 'b');
  for (int after = 1; DeviceState() != "dword:00000004"; ++after) {
    ASSERT_LT(after, 200);
    SCOPED_TRACE("disconnect after " + std::to_string(after));
    world.SetFaults("disconnect after=" + std::to_string(after) + "\n");
    Run();
    int a_count = world.DeviceHas(kSync + "A.ARR");
    int b_count = world.DeviceHas(kSync + "b.arr");
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(world.desktop_root()) / "c/ZAMO/Field/FromPocket")) {
      const std::string name = entry.path().filename().string();
      const std::string bytes = DesktopFile("c/ZAMO/Field/FromPocket/" + name);
      // A copy whose removal from the handheld is unconfirmed is whole, and
      // no array yet: the next session settles it.
      if (name.starts_with("~zp.")) {
        EXPECT_TRUE(name.ends_with(".done")) << name;
        EXPECT_TRUE(bytes == "array a" || bytes == b) << name;
        continue;
      }
      a_count += bytes == "array a";
      b_count += bytes == b;
      EXPECT_TRUE(bytes == "an earlier array" || bytes == "array a" || bytes == b)
          << entry.path() << " holds " << bytes.size() << " bytes";
    }
    EXPECT_EQ(a_count, 1);
    EXPECT_EQ(b_count, 1);
  }
  EXPECT_EQ(DesktopListing("c/ZAMO/Field/FromPocket"), "ARR00001.ARR ARR00002.ARR ARR00003.ARR");
}

}  // namespace
}  // namespace zp::test
