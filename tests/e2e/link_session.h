// The fixture of the sessions over the handheld's link that only the link
// has: the desktop program and the handheld program on this test's own
// pair of loopback addresses, and what a broken session may leave.
#pragma once

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/link_launcher.h"
#include "e2e/session_world.h"
#include "e2e/wine_launcher.h"
#include "session/session.h"
#include "support/own_network.h"

namespace zp::test {

class LinkSession : public SessionWorld {
 protected:
  LinkSession() {
    world.AddDeviceFile(kSync + "A.ARR", "array a");
    world.AddDeviceFile(kSync + "b.arr", std::string(40000, 'b'));
    PutDesktopFile("c/ZAMO/Field/ToPocket/R.CLS", "regions");
    PutDesktopFile("c/ZAMO/Field/ToPocket/S.TMT", "survey");
  }

  void SetUp() override {
    // Run by the plain end-to-end pass with the Linux program, and by the
    // Windows program's pass over the link: the link is what they test.
    if (UnderWine() != OverLink()) GTEST_SKIP() << "runs in the Linux and winelink passes only";
    if (!UnderWine()) OwnNetworkOrSkip();  // port 990 without root
  }

  RunResult RunLinked(const std::vector<std::string>& handheld_options,
                      const std::string& timeouts = {}) {
    if (UnderWine()) {
      return RunUnderWine(ZP_WINDOWS_PROGRAM, world.desktop_root(), device_folder, {}, true, true,
                          &handheld_exit, handheld_options, timeouts);
    }
    ListTheWorldsHandheld(device_folder, world.desktop_root());
    HandheldProcess handheld(device_folder, world.desktop_root(), handheld_options);
    RunResult run = RunProgram(ZP_PROGRAM, LinkEnvironment(world.desktop_root(), timeouts));
    handheld_exit = handheld.Finish();
    return run;
  }

  // Nothing lost and nothing twice: each array on the handheld, or whole in
  // FromPocket (named, or a complete copy the next session settles), and
  // under an array's name at most once; the state 4 only with R.CLS there.
  std::string Lost() const {
    namespace fs = std::filesystem;
    const std::string a_bytes = "array a", b_bytes(40000, 'b');
    int a = world.DeviceHas(kSync + "A.ARR"), b = world.DeviceHas(kSync + "b.arr");
    int a_named = 0, b_named = 0;
    std::error_code ec;
    for (const auto& entry :
         fs::directory_iterator(fs::path(world.desktop_root()) / "c/ZAMO/Field/FromPocket", ec)) {
      const std::string name = entry.path().filename().string();
      if (name.ends_with(".part")) continue;
      const std::string bytes = DesktopFile("c/ZAMO/Field/FromPocket/" + name);
      const bool named = name.starts_with("ARR");
      if (bytes == a_bytes) a += 1, a_named += named;
      if (bytes == b_bytes) b += 1, b_named += named;
    }
    if (a == 0 || b == 0 || a_named > 1 || b_named > 1) {
      return "A.ARR " + std::to_string(a) + "/" + std::to_string(a_named) + ", b.arr " +
             std::to_string(b) + "/" + std::to_string(b_named) +
             "; FromPocket: " + DesktopListing("c/ZAMO/Field/FromPocket") +
             "; the handheld: " + DeviceListing(kSync);
    }
    if (DeviceState() == "dword:00000004" && world.DeviceFile(kSync + "R.CLS") != "regions") {
      return "state 4 without R.CLS";
    }
    return "";
  }

  // The world as it was before a session: both arrays waiting, R.CLS to go.
  void Reset() {
    namespace fs = std::filesystem;
    fs::remove_all(fs::path(world.desktop_root()) / "c/ZAMO/Field");
    fs::remove_all(world.dir.path() / world.FilesRelative(kSync));
    world.AddDeviceFile(kSync + "A.ARR", "array a");
    world.AddDeviceFile(kSync + "b.arr", std::string(40000, 'b'));
    PutDesktopFile("c/ZAMO/Field/ToPocket/R.CLS", "regions");
    PutDesktopFile("c/ZAMO/Field/ToPocket/S.TMT", "survey");
    SetDeviceState(3);
  }

  // A session whose reply at call `at` the handheld spoils (`options`) ends
  // with `line` logged, and loses nothing.
  void ExpectASpoiledReplyLosesNothing(std::vector<std::string> options, int at,
                                       const std::string& line) {
    SCOPED_TRACE(options[1] + " at call " + std::to_string(at));
    Reset();
    const std::size_t before = Log().size();
    options.insert(options.end(), {"--hostile-at", std::to_string(at)});
    const RunResult run = RunLinked(options, kShortWaits);
    EXPECT_NE(run.exit_code, -1) << run.output;
    const std::string log = Log().substr(before);
    EXPECT_NE(log.find("Lost the link to the handheld: "), std::string::npos) << log;
    EXPECT_NE(log.find(line), std::string::npos) << log;
    EXPECT_EQ(log.find("Finished successfully"), std::string::npos) << log;
    EXPECT_EQ(Lost(), "") << log;
  }

  // A clean session after a broken one completes the work.
  void ExpectTheNextSessionCompletes() {
    EXPECT_EQ(RunLinked({}).exit_code, kExitDone);
    EXPECT_EQ(DesktopListing("c/ZAMO/Field/FromPocket"), "ARR00001.ARR ARR00002.ARR") << Log();
    EXPECT_EQ(DeviceState(), "dword:00000004");
    EXPECT_EQ(world.DeviceFile(kSync + "R.CLS"), "regions");
    EXPECT_TRUE(Log().ends_with("Finished successfully\r\n\r\n" + kStop)) << Log();
  }

  const std::string kFieldGuid = "{00000042-0000-0000-0000-000000000000}";
  /// The administrator's list, with the world's handheld on it.
  const std::string kListing = std::string(kListSection) + "\r\n\"" + kFieldGuid + "\"=\"Field\"";
  const std::string kShortWaits =
      "connect=1500,retrigger=100,handshake=1500,session=1500,reply=1500,unlock=1500,dial=1500";
};

}  // namespace zp::test
