// Sessions that only the older handhelds' link has: an info packet that does
// not add up, a broken reply of the older remote API, a trickle, a second
// control connection, the keepalive, the password on both connections, and
// names shared with the newer handhelds.
// They run in the older link's pass, where the handheld program plays a
// Pocket PC 2003.
#include <chrono>

#include "e2e/link_session.h"

namespace zp::test {
namespace {

class LegacyLink : public LinkSession {
 protected:
  void SetUp() override {
    if (!OverLegacyLink()) GTEST_SKIP() << "runs in the older link's pass only";
    OwnNetworkOrSkip();  // port 990 without root
  }
  const std::string kIdentity = "partner:00000042";
};

TEST_F(LegacyLink, AnInfoPacketThatDoesNotAddUpIsRefusedAndTheWaitGoesOn) {
  const std::pair<const char*, const char*> cases[] = {
      {"legacy-offset-out", "Refused the handheld's info packet: the name is outside the packet"},
      {"legacy-name-no-nul",
       "Refused the handheld's info packet: the name has no NUL inside the packet"},
      {"legacy-short-header", "Refused the handheld's info packet: a header of 16"},
  };
  for (const auto& [mode, line] : cases) {
    SCOPED_TRACE(mode);
    std::filesystem::remove(std::filesystem::path(world.desktop_root()) / "c/ZAMO/zamopocket.log");
    EXPECT_EQ(RunLinked({"--hostile", mode}, kShortWaits).exit_code, kExitNotConnected);
    EXPECT_EQ(Log(), kStart + line + "\r\nNo handheld connected on " + LinkDesktopAddress() +
                         ":990 within 2 s\r\nUnknown device\r\n" + kStop);
    EXPECT_EQ(DeviceListing(kSync), "A.ARR b.arr");
    EXPECT_EQ(DeviceState(), "dword:00000003");
  }
}

TEST_F(LegacyLink, ABrokenOrTricklingReplyEndsTheSessionLosesNothingAndTheNextCompletes) {
  const std::pair<std::vector<std::string>, const char*> modes[] = {
      {{"--hostile", "legacy-bad-flag"}, "does not add up"},
      {{"--hostile", "frame-over-cap"}, "over its cap of"},
      {{"--hostile", "frame-truncated"}, "the connection ended inside a reply of"},
      {{"--hostile", "reply-short"}, "does not add up"},
      {{"--hostile", "stall"}, "no reply within 2 s"},
      {{"--hostile", "trickle-reply", "--trickle-ms", "1200"},
       "a reply did not come whole in time"},
  };
  // The first call, one in the array pass, one in the delivery.
  for (const auto& [options, line] : modes) {
    for (const int at : {1, 12, 24}) ExpectASpoiledReplyLosesNothing(options, at, line);
  }
  ExpectTheNextSessionCompletes();
}

TEST_F(LegacyLink, ATricklingInfoPacketHoldsTheHandshakeNoLongerThanItsWait) {
  const auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(RunLinked({"--hostile", "trickle-info", "--trickle-ms", "1200"}, kShortWaits).exit_code,
            kExitNotConnected);
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(12));
  EXPECT_NE(Log().find("The handheld did not complete its handshake\r\n"), std::string::npos)
      << Log();
}

TEST_F(LegacyLink, ASecondControlConnectionIsRefusedAndAHungHandheldIsGoneAfterThreePings) {
  // A second connection to the control port while one is open: refused,
  // logged, and the session goes on.
  EXPECT_EQ(RunLinked({"--hostile", "legacy-second-control"}, kShortWaits).exit_code, kExitDone);
  EXPECT_NE(
      Log().find("Refused a second control connection from " + LinkHandheldAddress() + "\r\n"),
      std::string::npos)
      << Log();
  EXPECT_TRUE(Log().ends_with("Finished successfully\r\n\r\n" + kStop)) << Log();
  // A handheld that hangs in the array pass: gone once three pings (5 s
  // apart) went unanswered, long before the two minutes a reply may take.
  Reset();
  const std::size_t before = Log().size();
  const auto began = std::chrono::steady_clock::now();
  RunLinked({"--hostile", "legacy-hang", "--hostile-at", "12"},
            "connect=1500,handshake=1500,session=1500,dial=1500,reply=120000");
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(45));
  const std::string log = Log().substr(before);
  EXPECT_NE(log.find("The handheld answered none of 3 pings: gone\r\n"
                     "Lost the link to the handheld: the handheld is gone\r\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(Lost(), "") << log;
  ExpectTheNextSessionCompletes();
}

TEST_F(LegacyLink, ThePasswordGoesOnlyToAListedHandheldOnBothConnectionsAndNeverTwice) {
  const std::vector<std::string> locked = {"--lock", "0x00EDF3FD", "--password", "1234"};
  const auto password_log = [&] {
    return world.dir.Exists("device/password.log") ? world.dir.Read("device/password.log") : "";
  };
  std::string registry = DesktopFile("registry.reg");
  registry.replace(registry.find("\"InstallID\""), 0, "\"DevicePassword\"=\"4321\"\r\n");
  PutDesktopFile("registry.reg", registry + "\r\n" + kListSection + "\r\n");
  // Unlisted: nothing is sent.
  EXPECT_EQ(RunLinked(locked).exit_code, kExitNotConnected);
  EXPECT_NE(Log().find("Handheld Field is locked with a password: handheld Field " + kIdentity +
                       " is not on this desktop's list of handhelds, so it gets no password. To "
                       "trust it, add \"" +
                       kIdentity + "\"=\"Field\""),
            std::string::npos)
      << Log();
  EXPECT_EQ(password_log(), "");
  // Listed: the wrong one is refused once and never sent again.
  registry = DesktopFile("registry.reg");
  registry.replace(registry.find(kListSection), std::strlen(kListSection),
                   std::string(kListSection) + "\r\n\"" + kIdentity + "\"=\"Field\"");
  PutDesktopFile("registry.reg", registry);
  EXPECT_EQ(RunLinked(locked).exit_code, kExitNotConnected);
  EXPECT_EQ(RunLinked(locked).exit_code, kExitNotConnected);
  EXPECT_EQ(password_log(), "refused\n");
  EXPECT_NE(Log().find("refused this desktop password before: it is not sent again"),
            std::string::npos);
  // The right one opens the control connection and every session.
  registry = DesktopFile("registry.reg");
  registry.replace(registry.find("\"4321\""), 6, "\"1234\"");
  PutDesktopFile("registry.reg", registry);
  EXPECT_EQ(RunLinked(locked).exit_code, kExitDone);
  EXPECT_EQ(password_log(), "refused\naccepted\n");
  EXPECT_TRUE(Log().ends_with("Finished successfully\r\n\r\n" + kStop)) << Log();
  EXPECT_EQ(Log().find("1234"), std::string::npos);
}

TEST_F(LegacyLink, ANameIsOneHandheldsAcrossBothGenerations) {
  SetDeviceState(1);
  EXPECT_EQ(RunLinked({}).exit_code, kExitDone);
  // A newer handheld claiming the older one's name gets nothing.
  const std::string before = Log();
  ::setenv("ZP_E2E_LAUNCHER", "link", 1);
  const RunResult run = RunLinked({});
  ::setenv("ZP_E2E_LAUNCHER", "legacy", 1);
  EXPECT_EQ(run.exit_code, kExitNotConnected);
  EXPECT_EQ(Log().substr(before.size()), kStart + "Refused handheld Field " + kFieldGuid +
                                             ": that name belongs to handheld " + kIdentity +
                                             "\r\nUnknown device\r\n" + kStop);
  EXPECT_EQ(DesktopListing("c/ZAMO/Field"), "ToPocket/");
}

}  // namespace
}  // namespace zp::test
