// Sessions over the handheld's link that only the link has: a handheld
// that lies or breaks off, another device claiming a known name, a
// stranger on the port, the locks. The desktop program and the handheld
// program on this test's own pair of loopback addresses.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "e2e/link_session.h"

namespace zp::test {
namespace {

TEST_F(LinkSession, AnInfoPacketThatDoesNotAddUpIsRefusedAndTheHandheldGetsNothing) {
  const std::pair<const char*, const char*> cases[] = {
      {"info-overrun", "Refused the handheld's device info: the name overruns the packet\r\n"},
      {"info-long-name",
       "Refused the handheld's device info: the name is longer than its field\r\n"},
      {"info-over-cap", "Refused the handheld's device info: 16777216 bytes\r\n"},
      {"never-connect", ""},
  };
  for (const auto& [mode, line] : cases) {
    SCOPED_TRACE(mode);
    std::filesystem::remove(std::filesystem::path(world.desktop_root()) / "c/ZAMO/zamopocket.log");
    const RunResult run = RunLinked({"--hostile", mode}, kShortWaits);
    EXPECT_EQ(run.exit_code, kExitNotConnected) << run.output;
    // The peer that failed its handshake was dropped; the wait went on.
    const std::string why = std::string(line) + "No handheld connected on " + LinkDesktopAddress() +
                            ":990 within 2 s\r\n";
    EXPECT_EQ(Log(), kStart + why + "Unknown device\r\n" + kStop);
    EXPECT_EQ(DeviceListing(kSync), "A.ARR b.arr");
    EXPECT_EQ(DeviceState(), "dword:00000003");
    EXPECT_EQ(DesktopListing("c/ZAMO"), "Field/ zamopocket.log");
  }
}

TEST_F(LinkSession, ABrokenReplyAnywhereEndsTheSessionLosesNothingAndTheNextCompletes) {
  const std::pair<const char*, const char*> modes[] = {
      {"frame-over-cap", "a reply of 2147483632 bytes, over its cap of"},
      {"frame-truncated", "the connection ended inside a reply of"},
      {"reply-short", "does not add up"},
      {"stall", "no reply within 2 s"},
  };
  // The first call, one in the array pass, one in the delivery.
  for (const auto& [mode, line] : modes) {
    for (const int at : {1, 12, 24}) {
      ExpectASpoiledReplyLosesNothing({"--hostile", mode}, at, line);
      ExpectTheNextSessionCompletes();
    }
  }
}

TEST_F(LinkSession, AKnownNameThatComesWithAnotherGuidGetsNoSessionAndNoByte) {
  // The first docking makes Field's GUID known; nothing for it yet.
  SetDeviceState(1);
  EXPECT_EQ(RunLinked({}).exit_code, kExitDone);
  SetDeviceState(3);
  const std::string before = Log();
  const std::string other = "{DEADBEEF-0000-0000-0000-000000000001}";
  const RunResult run = RunLinked({"--guid", other});
  EXPECT_EQ(run.exit_code, kExitNotConnected);
  EXPECT_EQ(Log().substr(before.size()),
            kStart + "Refused handheld Field " + other +
                ": that name belongs to handheld {00000042-0000-0000-0000-000000000000}\r\n"
                "Unknown device\r\n" +
                kStop);
  EXPECT_EQ(DeviceListing(kSync), "A.ARR b.arr");
  EXPECT_EQ(DesktopListing("c/ZAMO/Field/ToPocket"), "R.CLS S.TMT");
  EXPECT_EQ(DeviceState(), "dword:00000003");
  EXPECT_EQ(world.StartedLog(), "");
}

TEST_F(LinkSession, RequestsOutOfOrderAreLoggedAndNeverTakenForTheHandheld) {
  // A second device info on the control connection changes nothing: the
  // handheld stays who it said it was first.
  RunResult run = RunLinked({"--hostile", "second-info"});
  EXPECT_EQ(run.exit_code, kExitDone);
  EXPECT_NE(Log().find("Successfully connected to Field\r\n"), std::string::npos) << Log();
  EXPECT_NE(Log().find("The handheld sent a second device info: ignored\r\n"), std::string::npos)
      << Log();
  EXPECT_TRUE(Log().ends_with("Finished successfully\r\n\r\n" + kStop)) << Log();
  EXPECT_EQ(DesktopListing("c/ZAMO/Field/FromPocket"), "ARR00001.ARR ARR00002.ARR");

  // A session connection with another request number is no session.
  Reset();
  const std::size_t before = Log().size();
  run = RunLinked({"--hostile", "wrong-session"}, kShortWaits);
  EXPECT_EQ(run.exit_code, kExitNotConnected);
  EXPECT_EQ(Log().substr(before),
            kStart +
                "Connecting to PocketPC...\r\n"
                "Refused a connection from the handheld that opened with 2\r\n"
                "The handheld opened no session within 2 s\r\n"
                "Failed to connect\r\n" +
                kStop);
  EXPECT_EQ(DeviceListing(kSync), "A.ARR b.arr");
}

// Connects to the desktop from `from` and says hello as a handheld would;
// what came back before the desktop closed the connection.
std::string KnockFrom(const std::string& from) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in local{}, desktop{};
  local.sin_family = desktop.sin_family = AF_INET;
  ::inet_pton(AF_INET, from.c_str(), &local.sin_addr);
  ::inet_pton(AF_INET, LinkDesktopAddress().c_str(), &desktop.sin_addr);
  desktop.sin_port = htons(990);
  std::string got = "no connection";
  if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
      ::connect(fd, reinterpret_cast<sockaddr*>(&desktop), sizeof desktop) == 0) {
    got.clear();
    const std::uint32_t hello[] = {0, 6, 5, 4, 1};
    ::send(fd, hello, sizeof hello, MSG_NOSIGNAL);
    char buffer[64];
    pollfd wait{fd, POLLIN, 0};
    while (::poll(&wait, 1, 3000) > 0) {
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  return got;
}

TEST_F(LinkSession, AStrangerOnThePortDuringASessionGetsNothingAndTheSessionGoesOn) {
  world.SetFaults("slow CeReadFile ms=300\n");
  std::string knocked = "not tried";
  std::thread stranger([&] {
    for (int i = 0; i < 200 && Log().find("Copying file") == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    knocked = KnockFrom(LinkDesktopAddress().substr(0, LinkDesktopAddress().size() - 1) + "3");
  });
  const RunResult run = RunLinked({});
  stranger.join();
  EXPECT_EQ(run.exit_code, kExitDone);
  EXPECT_EQ(knocked, "");  // accepted, then closed without a byte
  const std::string stranger_address =
      LinkDesktopAddress().substr(0, LinkDesktopAddress().size() - 1) + "3";
  EXPECT_NE(Log().find("Refused a connection from " + stranger_address + "\r\n"), std::string::npos)
      << Log();
  EXPECT_TRUE(Log().ends_with("Finished successfully\r\n\r\n" + kStop));
}

TEST_F(LinkSession, AHandheldLockedOnTheDeviceWaitsForItsUserBounded) {
  RunResult run = RunLinked({"--lock", "0xFFFFFFFF", "--unlock-after-ms", "300"});
  EXPECT_EQ(run.exit_code, kExitDone);
  EXPECT_TRUE(
      Log().starts_with(kStart +
                        "Connecting to PocketPC...\r\nUnlock the handheld to continue...\r\n"
                        "Successfully connected to Field\r\n"))
      << Log();
  SetDeviceState(3);
  const std::string before = Log();
  run = RunLinked({"--lock", "0xFFFFFFFF", "--unlock-after-ms", "60000"}, kShortWaits);
  EXPECT_EQ(run.exit_code, kExitNotConnected);
  EXPECT_EQ(Log().substr(before.size()), kStart +
                                             "Connecting to PocketPC...\r\n"
                                             "Unlock the handheld to continue...\r\n"
                                             "The handheld was not unlocked within 2 s\r\n"
                                             "Failed to connect\r\n" +
                                             kStop);
}

TEST_F(LinkSession, TheDesktopPasswordGoesOnlyToAListedHandheldAndNeverTwiceAfterARefusal) {
  const std::vector<std::string> locked = {"--lock", "0x1234", "--password", "s3cret"};
  const auto password_log = [&] {
    return world.dir.Exists("device/password.log") ? world.dir.Read("device/password.log") : "";
  };
  std::string registry = DesktopFile("registry.reg");
  registry.replace(registry.find("\"InstallID\""), 0, "\"DevicePassword\"=\"wrong\"\r\n");
  PutDesktopFile("registry.reg", registry + "\r\n" + kListSection + "\r\n");
  // Seen before is not trusted: unlisted, it gets no password, however often
  // it docks, and the log gives the line that lists it.
  for (int docking = 0; docking < 2; ++docking) {
    EXPECT_EQ(RunLinked(locked).exit_code, kExitNotConnected);
    EXPECT_NE(Log().find("Handheld Field is locked with a password: handheld Field " + kFieldGuid +
                         " is not on this desktop's list of handhelds, so it gets no password. "
                         "To trust it, add \"" +
                         kFieldGuid +
                         "\"=\"Field\" to "
                         "[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO\\PocketPC\\Handhelds]\r\n"),
              std::string::npos)
        << Log();
  }
  EXPECT_EQ(password_log(), "");
  // Listed: the wrong password is refused once, then never sent again.
  registry = DesktopFile("registry.reg");
  registry.replace(registry.find(kListSection), std::strlen(kListSection), kListing);
  PutDesktopFile("registry.reg", registry);
  EXPECT_EQ(RunLinked(locked).exit_code, kExitNotConnected);
  EXPECT_EQ(password_log(), "refused\n");
  EXPECT_NE(Log().find("Handheld Field refused the desktop password\r\n"), std::string::npos);
  EXPECT_EQ(RunLinked(locked).exit_code, kExitNotConnected);
  EXPECT_EQ(password_log(), "refused\n");
  EXPECT_NE(Log().find("refused this desktop password before: it is not sent again"),
            std::string::npos);
  // The right one opens it; no password is ever written to the log.
  registry = DesktopFile("registry.reg");
  registry.replace(registry.find("\"wrong\""), 7, "\"s3cret\"");
  PutDesktopFile("registry.reg", registry);
  EXPECT_EQ(RunLinked(locked).exit_code, kExitDone);
  EXPECT_EQ(password_log(), "refused\naccepted\n");
  EXPECT_TRUE(Log().ends_with("Finished successfully\r\n\r\n" + kStop));
  EXPECT_EQ(Log().find("s3cret"), std::string::npos);
  EXPECT_EQ(Log().find("wrong"), std::string::npos);
}

TEST_F(LinkSession, AHandheldThatReconnectsItsControlLinkMidSessionLosesNothing) {
  // After the first session opened, the handheld opens a new control
  // connection, says hello and who it is on it, and closes the old one;
  // pings go on meanwhile.
  world.SetFaults("slow CeReadFile ms=200\n");
  const RunResult run =
      RunLinked({"--hostile", "reconnect"},
                "connect=3000,retrigger=100,handshake=5000,session=2000,reply=20000,ping=50");
  const std::string handheld = world.dir.Read("handheld.out");
  EXPECT_EQ(run.exit_code, kExitDone) << run.output;
  EXPECT_NE(handheld.find("reconnect: a new control connection replaced the old one"),
            std::string::npos)
      << handheld;
  EXPECT_EQ(handheld_exit, 0) << handheld;
  EXPECT_EQ(Lost(), "");
  EXPECT_EQ(DesktopListing("c/ZAMO/Field/FromPocket"), "ARR00001.ARR ARR00002.ARR");
  EXPECT_EQ(DeviceListing(kSync), "R.CLS S.TMT");
  EXPECT_EQ(DeviceState(), "dword:00000004");
  // The replaced connection closing is no lost handheld: not a word of it.
  EXPECT_EQ(Log().find("control connection"), std::string::npos) << Log();
  EXPECT_EQ(Log().find("Refused"), std::string::npos) << Log();
  EXPECT_TRUE(Log().ends_with("Finished successfully\r\n\r\n" + kStop)) << Log();
}

}  // namespace
}  // namespace zp::test
