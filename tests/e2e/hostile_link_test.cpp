// What a broken or hostile handheld can no longer do to the desktop over
// the link: break its settings with a name, hold a session with a trickle,
// cost memory with a listing, take another handheld's device id or its
// pending installation, flood the log, or end the wait with a bad first
// connection.
#include <chrono>
#include <filesystem>

#include "e2e/link_session.h"

namespace zp::test {
namespace {

class HostileLink : public LinkSession {
 protected:
  // The installation files, and the world's handheld (0x42) pending.
  void PendForField() {
    PutDesktopFile("c/Install/zamo.arm.cab", "cab");
    PutDesktopFile("c/Install/runinstarm.exe", "setup");
    std::string registry = DesktopFile("registry.reg");
    registry.replace(registry.find("\"InstallID\"=\"\""), 14, "\"InstallID\"=\"00000042\"");
    PutDesktopFile("registry.reg", registry);
  }
};

TEST_F(HostileLink, ANameThatWouldBreakTheSettingsIsRefusedBeforeAnythingIsWritten) {
  const RunResult run =
      RunLinked({"--name", "Evil\n[HKEY_CURRENT_USER]\n@=dword:00000001\n", "--partner", "0x77"});
  EXPECT_EQ(run.exit_code, kExitNotConnected);
  EXPECT_EQ(Log(), kStart +
                       "Device name cannot be used as a folder name: "
                       "Evil\\x0A[HKEY_CURRENT_USER]\\x0A@=dword:00000001\\x0A\r\n"
                       "Unknown device\r\n" +
                       kStop);
  EXPECT_EQ(DesktopFile("registry.reg").find("Evil"), std::string::npos);
  EXPECT_EQ(DeviceListing(kSync), "A.ARR b.arr");
  // The settings still work: the real handheld syncs.
  ExpectTheNextSessionCompletes();
}

TEST_F(HostileLink, ATrickleHoldsNoWaitPastItsDeadline) {
  // One byte every 0.8 x the wait: each byte comes in time, the message never does.
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--hostile", "trickle-info", "--trickle-ms", "1200"},
       "The handheld did not complete its handshake\r\n"},
      {{"--hostile", "trickle-reply", "--hostile-at", "3", "--trickle-ms", "1200"},
       "Lost the link to the handheld: a reply did not come whole in time\r\n"},
  };
  for (const auto& [options, line] : cases) {
    SCOPED_TRACE(options[1]);
    Reset();
    const std::size_t before = Log().size();
    const auto began = std::chrono::steady_clock::now();
    const RunResult run = RunLinked(options, kShortWaits);
    const auto took = std::chrono::steady_clock::now() - began;
    EXPECT_NE(run.exit_code, -1) << run.output;
    EXPECT_NE(Log().find(line, before), std::string::npos) << Log().substr(before);
    // A wait of 1.5 s, not the minutes the whole message would take.
    EXPECT_LT(took, std::chrono::seconds(12));
    EXPECT_EQ(Lost(), "");
  }
  ExpectTheNextSessionCompletes();
}

TEST_F(HostileLink, AListingOfLeastSizeEntriesIsRefusedBeforeItsRecordsAreMade) {
  const RunResult run = RunLinked({"--hostile", "listing-flood"});
  EXPECT_NE(run.exit_code, -1) << run.output;
  EXPECT_NE(Log().find("Lost the link to the handheld: its reply to CeFindAllFiles does not add "
                       "up\r\n"),
            std::string::npos)
      << Log();
  EXPECT_EQ(Lost(), "");
  ExpectTheNextSessionCompletes();
}

TEST_F(HostileLink, ADeviceIdIsPinnedToItsGuidAndOnlyAListedHandheldIsInstalled) {
  SetDeviceState(1);
  PendForField();
  // Unlisted: it syncs, the installation stays pending, the log says how to list it.
  PutDesktopFile("registry.reg", DesktopFile("registry.reg") + "\r\n" + kListSection + "\r\n");
  EXPECT_EQ(RunLinked({}).exit_code, kExitDone);
  EXPECT_NE(Log().find("Installation pending for this handheld, not started: handheld Field " +
                       kFieldGuid +
                       " is not on this desktop's list of handhelds, so it gets no installation. "
                       "To trust it, add \"" +
                       kFieldGuid + "\"=\"Field\" to [HKEY_LOCAL_MACHINE\\" +
                       "Software\\Brenok\\ZAMO\\PocketPC\\Handhelds]\r\n"),
            std::string::npos)
      << Log();
  EXPECT_EQ(world.StartedLog(), "");
  EXPECT_NE(DesktopFile("registry.reg").find("\"InstallID\"=\"00000042\""), std::string::npos);
  // Another GUID and name claiming Field's partner id get nothing at all.
  const std::string before = Log();
  const std::string other = "{DEADBEEF-0000-0000-0000-000000000001}";
  EXPECT_EQ(RunLinked({"--guid", other, "--name", "Other"}).exit_code, kExitNotConnected);
  EXPECT_EQ(Log().substr(before.size()), kStart + "Refused handheld Other " + other +
                                             ": its device id 00000042 belongs to " + "handheld " +
                                             kFieldGuid + "\r\nUnknown device\r\n" + kStop);
  EXPECT_EQ(world.StartedLog(), "");
  EXPECT_NE(DesktopFile("registry.reg").find("\"InstallID\"=\"00000042\""), std::string::npos);
  EXPECT_EQ(DesktopListing("c/ZAMO"), "Field/ zamopocket.log");
}

TEST_F(HostileLink, UnknownWordsCostAFewLinesAndAFloodOfThemDropsTheDevice) {
  const RunResult run = RunLinked({"--hostile", "unknown-words"}, kShortWaits);
  EXPECT_NE(run.exit_code, kExitDone);
  const std::string log = Log();
  std::size_t lines = 0;
  for (std::size_t at = 0; (at = log.find("Unexpected control request", at)) != std::string::npos;
       ++at) {
    ++lines;
  }
  EXPECT_EQ(lines, 3u) << log;
  EXPECT_NE(log.find("The handheld sent more than 100 unexpected control requests within 10 s: "
                     "dropped\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("97 more unexpected control requests from the handheld, not logged one by "
                     "one\r\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(Lost(), "");
}

TEST_F(HostileLink, APeerThatFailsItsHandshakeIsDroppedAndTheHandheldStillSyncs) {
  // And a handheld that reconnects while a session is asked for is asked
  // again on its new control connection.
  EXPECT_EQ(RunLinked({"--hostile", "reconnect-at-request"}).exit_code, kExitDone) << Log();
  EXPECT_NE(world.dir.Read("handheld.out").find("reconnect-at-request: session 1 is not served"),
            std::string::npos);
  Reset();
  const std::size_t before = Log().size();
  const RunResult run = RunLinked({"--hostile", "bad-first"});
  EXPECT_EQ(run.exit_code, kExitDone) << run.output;
  EXPECT_EQ(
      Log().find(kStart + "Refused the handheld's device info: the name overruns the packet\r\n",
                 before),
      before)
      << Log();
  EXPECT_TRUE(Log().ends_with("Finished successfully\r\n\r\n" + kStop)) << Log();
  EXPECT_EQ(DesktopListing("c/ZAMO/Field/FromPocket"), "ARR00001.ARR ARR00002.ARR");
}

}  // namespace
}  // namespace zp::test
