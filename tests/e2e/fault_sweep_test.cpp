// The sweep: a full session with a fault at every operation, then a clean
// session, checking after each that no array was lost, none is twice, and
// nothing half-written carries an array's name; and the same with the
// desktop's power cut at every desktop operation, on a handheld's first
// session and on a later one. ZP_SWEEP=full (make sweep) runs every
// operation index of every kind; the short form of make test takes every
// third.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "e2e/link_launcher.h"
#include "e2e/session_world.h"
#include "e2e/wine_launcher.h"
#include "platform/name_rules.h"
#include "platform/platform.h"
#include "platform/posix/posix_faults.h"
#include "platform/regfile.h"
#include "session/session.h"
#include "simulator/fault_rules.h"
#include "support/desktop_env.h"

namespace zp::test {
namespace {

namespace fs = std::filesystem;

// The arrays of the world: empty, one block, several blocks.
const std::map<std::string, std::string>& Arrays() {
  static const std::map<std::string, std::string> arrays = {
      {"A.ARR", ""}, {"B.ARR", std::string(100, 'b')}, {"C.ARR", std::string(40000, 'c')}};
  return arrays;
}
const std::map<std::string, std::string>& Waiting() {
  static const std::map<std::string, std::string> waiting = {{"R.CLS", "regions"},
                                                             {"S.TMT", "survey"}};
  return waiting;
}

// One world for one faulted session and the clean one after it; with
// `install`, an installation of the handheld application is pending too,
// and the question is answered yes on the terminal. With `first`, it is the
// handheld's first session: the desktop has no folder of it yet, and
// nothing waits to go to it.
class Round : public SessionWorld {
 public:
  explicit Round(bool install = true, bool first = false) : install_(install), first_(first) {
    if (install_) {
      SetDesktopRegistry(
          "[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO\\PocketPC]\r\n\"PathSync\"=\"c:"
          "\\\\ZAMO\"\r\n\r\n"
          "[HKEY_CURRENT_USER\\Software\\Brenok\\ZAMO\\PocketPC]\r\n\"InstallID\"=\"00000042\"\r\n"
          "\"InstallPath\"=\"c:\\\\Install\"\r\n\r\n");
      world.AddProfile(0x42, "Field");
      PutDesktopFile("c/Install/zamo.arm.cab", "cab");
      PutDesktopFile("c/Install/runinstarm.exe", "setup");
    }
    for (const auto& [name, bytes] : Arrays()) world.AddDeviceFile(kSync + name, bytes);
    world.AddDeviceFile(kSync + "OLD.TMT", "old template");
    world.AddDeviceFile(kSync + "OLD.CLS", "old classifier");
    if (first_) return;
    PutDesktopFile("c/ZAMO/Field/FromPocket/ARR00001.ARR", "an earlier array");
    for (const auto& [name, bytes] : Waiting())
      PutDesktopFile("c/ZAMO/Field/ToPocket/" + name, bytes);
  }
  void TestBody() override {}
  // Whether the last run was ended by a kill rule: the program's own exit
  // code, or over the link, the handheld program's (the rule kills the
  // process that serves the handheld).
  bool Killed(const RunResult& run, bool desktop) const {
    return (OverLink() && !desktop ? handheld_exit : run.exit_code) ==
           (desktop ? 87 : kKilledExitCode);
  }
  void SetFaults(const std::string& faults) { world.SetFaults(faults); }
  using SessionWorld::DesktopFile;
  using SessionWorld::DesktopHas;
  using SessionWorld::Log;
  using SessionWorld::Run;
  using SessionWorld::world;

  // `faults` for the handheld, `desktop` for the desktop stand-in.
  RunResult RunWith(const std::string& faults, const std::string& desktop = "") {
    world.SetFaults(faults);
    PutDesktopFile("faults", desktop);
    return install_ ? RunAnswering("y") : Run();
  }

  // The promise after any session: every array on the handheld, or whole
  // in FromPocket (an array name, or a complete copy not yet named), at
  // least once and under an array name at most once; no array name holds
  // anything but an array; DBState 4 only with everything delivered.
  std::string Broken() const {
    const fs::path from_pocket = fs::path(world.desktop_root()) / "c/ZAMO/Field/FromPocket";
    std::map<std::string, int> named, anywhere;
    for (const auto& [name, bytes] : Arrays()) {
      anywhere[name] += world.DeviceHas(kSync + name);
    }
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(from_pocket, ec)) {
      const std::string file = entry.path().filename().string();
      const std::string bytes = DesktopFile("c/ZAMO/Field/FromPocket/" + file);
      std::string which;
      for (const auto& [name, content] : Arrays()) {
        if (content == bytes) which = name;
      }
      if (file.ends_with(".part")) continue;  // a partial copy: no array, removed next time
      if (file.ends_with(".done")) {
        if (which.empty()) return "an incomplete copy " + file;
        ++anywhere[which];
        continue;
      }
      if (file == "ARR00001.ARR" && !first_) {
        if (bytes != "an earlier array") return "the earlier array changed";
        continue;
      }
      if (which.empty()) return file + " holds no array";
      ++named[which];
      ++anywhere[which];
    }
    for (const auto& [name, bytes] : Arrays()) {
      if (anywhere[name] == 0) return name + " is lost";
      if (named[name] > 1) return name + " is twice in FromPocket";
    }
    if (DeviceState() == "dword:00000004" && !first_) {
      for (const auto& [name, bytes] : Waiting()) {
        if (world.DeviceFile(kSync + name) != bytes) return "state 4 without " + name;
      }
    }
    return "";
  }

  // After the clean session: each array exactly once in FromPocket, none on
  // the handheld, state 4, the handheld holding exactly what waited.
  std::string NotComplete() const {
    if (DeviceState() != "dword:00000004") return "state " + DeviceState();
    if (install_) {
      if (DesktopFile("registry.reg").find("\"InstallID\"=\"\"") == std::string::npos) {
        return "the installation is still pending";
      }
      if (world.DeviceFile("\\Program Files\\ZAMO\\zamo.arm.cab") != "cab") return "no cab file";
    }
    std::string listing = DesktopListing("c/ZAMO/Field/FromPocket");
    if (listing != (first_ ? "ARR00001.ARR ARR00002.ARR ARR00003.ARR"
                           : "ARR00001.ARR ARR00002.ARR ARR00003.ARR ARR00004.ARR")) {
      return listing;
    }
    for (const auto& [name, bytes] : Arrays()) {
      if (world.DeviceHas(kSync + name)) return name + " is still on the handheld";
    }
    if (DeviceListing(kSync) != (first_ ? "OLD.CLS OLD.TMT" : "R.CLS S.TMT")) {
      return DeviceListing(kSync);
    }
    for (const auto& [name, bytes] : Waiting()) {
      if (!first_ && world.DeviceFile(kSync + name) != bytes) return name + " differs";
    }
    return Broken();
  }

  // The desktop registry as a power cut may leave it: whole, every line
  // readable, the sync root and the handheld's profile still in it, and no
  // temporary file of its replacement beside it.
  std::string RegistryBroken() const {
    const auto parsed = regfile::Parse(DesktopFile("registry.reg"), regfile::Strings::Narrow);
    if (!parsed.problems.empty()) return "registry.reg has a line it cannot read";
    const regfile::Key* settings =
        regfile::FindKey(parsed.doc, "HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO\\PocketPC");
    if (!settings || !regfile::FindValue(*settings, "PathSync"))
      return "registry.reg lost PathSync";
    if (!regfile::KeyExists(parsed.doc,
                            "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows CE "
                            "Services\\Partners\\00000042")) {
      return "registry.reg lost the handheld's profile";
    }
    const std::string root = DesktopListing("");
    if (root.find("registry.reg.") != std::string::npos) return "a temporary registry: " + root;
    return "";
  }

 private:
  bool install_;
  bool first_;
};

struct Tally {
  int runs = 0, held = 0;
  std::vector<std::string> failed;
};

TEST(FaultSweep, EveryFaultAtEveryOperationLosesNothingAndOneCleanSessionCompletes) {
  if (UnderWine()) GTEST_SKIP() << "the sweep runs the Linux program";
  const bool full = [] {
    const char* sweep = std::getenv("ZP_SWEEP");
    return sweep && std::string(sweep) == "full";
  }();
  // How many operations a whole session asks for: killed at N, it dies
  // while N is within them.
  int operations = 0;
  for (int n = 1;; ++n) {
    ASSERT_LT(n, 1000);
    Round round;
    if (!round.Killed(round.RunWith("kill at=" + std::to_string(n) + "\n"), false)) {
      operations = n - 1;
      break;
    }
  }
  ASSERT_GT(operations, 20);
  int desktop_operations = 0;
  for (int n = 1;; ++n) {
    ASSERT_LT(n, 1000);
    Round round;
    if (!round.Killed(round.RunWith("", "kill at=" + std::to_string(n) + "\n"), true)) {
      desktop_operations = n - 1;
      break;
    }
  }
  ASSERT_GT(desktop_operations, 10);

  struct Kind {
    std::string name, format;
    bool desktop;
  };
  const std::vector<Kind> kinds = {
      {"kill", "kill at=%d\n", false},
      {"fail once", "fail * nth=%d\n", false},
      {"fail from then on", "fail * nth=%d always\n", false},
      {"lost reply", "lost CeDeleteFile nth=%d\n", false},
      {"lost reply and link", "lost CeDeleteFile nth=%d drop\n", false},
      {"desktop kill", "kill at=%d\n", true},
      {"desktop fail once", "fail * nth=%d\n", true},
      {"desktop fail on", "fail * nth=%d always\n", true},
  };
  std::map<std::string, Tally> tallies;
  for (const auto& [kind, format, desktop] : kinds) {
    // Three arrays to delete on the handheld, and the two old files.
    const int last = kind.starts_with("lost") ? 5 : desktop ? desktop_operations : operations;
    for (int n = 1; n <= last; n += full || kind.starts_with("lost") ? 1 : 3) {
      char faults[64];
      std::snprintf(faults, sizeof faults, format.c_str(), n);
      Tally& tally = tallies[kind];
      ++tally.runs;
      Round round;
      const RunResult faulted = desktop ? round.RunWith("", faults) : round.RunWith(faults);
      std::string why = round.Broken();
      if (why.empty()) {
        round.RunWith("");
        why = round.NotComplete();
      }
      if (why.empty()) {
        ++tally.held;
      } else {
        tally.failed.push_back(std::to_string(n) + ": " + why + " (exit " +
                               std::to_string(faulted.exit_code) + ")");
      }
    }
  }
  for (const auto& [kind, tally] : tallies) {
    std::printf("sweep %-20s runs %4d held %4d failed %zu\n", kind.c_str(), tally.runs, tally.held,
                tally.failed.size());
    for (const std::string& failure : tally.failed) ADD_FAILURE() << kind << " at " << failure;
  }
  std::printf("sweep: a whole session asks for %d remote and %d desktop operations\n", operations,
              desktop_operations);
}

// The desktop loses its power at its n-th operation (or, past the last one,
// right after the session): it keeps only what was flushed. Nothing may be
// lost, and one clean session must complete: every array exactly once in
// FromPocket under its final name, none left on the handheld, no staging
// file, the state 4, ToPocket delivered, registry.reg whole.
TEST(FaultSweep, APowerCutAtEveryDesktopOperationLosesNothingAndOneCleanSessionCompletes) {
  if (UnderWine()) GTEST_SKIP() << "the sweep runs the Linux program";
  const char* sweep = std::getenv("ZP_SWEEP");
  const int step = sweep && std::string(sweep) == "full" ? 1 : 3;
  for (const bool first : {true, false}) {
    for (const bool install : {false, true}) {
      const std::string world =
          std::string(first ? "first session" : "later session") + (install ? ", installing" : "");
      Tally tally;
      int cuts = 0;
      for (int n = 1;; n += step) {
        ASSERT_LT(n, 1000) << world;
        ++tally.runs;
        Round round(install, first);
        const RunResult faulted = round.RunWith("", "cut at=" + std::to_string(n) + "\n");
        const bool cut = faulted.exit_code == posix::kDesktopPowerCutExitCode;
        std::string why = round.Broken();
        if (why.empty()) why = round.RegistryBroken();
        if (why.empty()) {
          const RunResult clean = round.RunWith("");
          why = round.NotComplete();
          if (why.empty()) why = round.RegistryBroken();
          if (why.empty() && clean.exit_code != kExitDone) {
            why = "the clean session ended with " + std::to_string(clean.exit_code);
          }
        }
        if (why.empty()) {
          ++tally.held;
        } else {
          ADD_FAILURE() << world << ", power cut at " << n << ": " << why << " (exit "
                        << faulted.exit_code << ")";
        }
        if (!cut) break;  // past the last operation: cut as the session ended
        ++cuts;
      }
      std::printf("power cut %-28s runs %4d held %4d (the last cut at operation %d)\n",
                  world.c_str(), tally.runs, tally.held, (cuts - 1) * step + 1);
      EXPECT_GT(cuts * step, 30) << world;
    }
  }
}

// A session of one handheld while another handheld's session has the log's
// turn, killed at every desktop operation: its lines are in its side log
// as they come and never in the log's middle, nothing is lost, and the
// handheld's next session (the turn free now) puts the killed session's
// lines into the log before its own, whole, and leaves no side log.
TEST(FaultSweep, ASessionBesideAnotherKilledAnywhereLosesNothingAndItsLinesReachTheLog) {
  if (UnderWine() || OverLink()) GTEST_SKIP() << "the sweep runs the Linux program";
  const bool full = [] {
    const char* sweep = std::getenv("ZP_SWEEP");
    return sweep && std::string(sweep) == "full";
  }();
  Tally tally;
  int killed = 0;
  for (int n = 1;; n += full ? 1 : 3) {
    ASSERT_LT(n, 1000);
    Round round(false);
    std::string why;
    {
      // The other session: it holds the turn of this desktop's log until
      // this one ends, or 2 s at most (a session that is not killed waits
      // for the turn at its end).
      const ScopedEnv desktop("ZAMOPOCKET_DESKTOP", round.world.desktop_root());
      DesktopLock other = TakeDesktopLock("log." + FoldedKey("c:\\ZAMO\\"), 0);
      ASSERT_TRUE(other);
      std::atomic<bool> ended{false};
      std::thread holder([&] {
        for (int i = 0; i < 200 && !ended; ++i) {
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        other = DesktopLock();
      });
      const RunResult faulted = round.RunWith("", "kill at=" + std::to_string(n) + "\n");
      ended = true;
      holder.join();
      if (!round.Killed(faulted, true)) break;
      ++killed;
      if (!round.Log().empty()) why = "the killed session wrote into the log: " + round.Log();
    }
    const bool side = round.DesktopHas("c/ZAMO/zamopocket-Field.log");
    const std::string side_lines = side ? round.DesktopFile("c/ZAMO/zamopocket-Field.log") : "";
    if (why.empty()) why = round.Broken();
    if (why.empty()) {
      round.RunWith("");
      why = round.NotComplete();
    }
    const std::string log = round.Log();
    if (why.empty() && round.DesktopHas("c/ZAMO/zamopocket-Field.log")) why = "a side log is left";
    if (why.empty() && !log.starts_with(side_lines + kStart + kConnected)) {
      why = "the log does not hold the killed session's lines, then the next session: " + log;
    }
    if (why.empty() &&
        (!log.ends_with(kStop) || log.find(kStart, side_lines.size() + 1) != std::string::npos)) {
      why = "the next session is not whole in the log: " + log;
    }
    ++tally.runs;
    if (why.empty()) {
      ++tally.held;
    } else {
      tally.failed.push_back(std::to_string(n) + ": " + why);
    }
  }
  std::printf("beside another: runs %d held %d (killed %d times)\n", tally.runs, tally.held,
              killed);
  EXPECT_GT(killed, 5);
  for (const std::string& failure : tally.failed) ADD_FAILURE() << "desktop kill at " << failure;
}

// ActiveSync may start two sessions at one docking: started together, at
// 20 different distances, they lose nothing and take nothing twice.
TEST(FaultSweep, TwoSessionsStartedTogetherLoseNothing) {
  if (UnderWine()) GTEST_SKIP() << "the sweep runs the Linux program";
  if (OverLink()) GTEST_SKIP() << "one handheld program serves one session: the lock comes first";
  int both_ran = 0;
  for (int stagger = 0; stagger < 20; ++stagger) {
    SCOPED_TRACE("second session " + std::to_string(stagger * 2) + " ms after the first");
    Round round(false);  // no question: two sessions cannot share one terminal
    round.SetFaults("slow CeReadFile ms=2\n");
    RunResult first;
    std::thread first_session([&] { first = round.Run(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(stagger * 2));
    const RunResult second = round.Run();
    first_session.join();
    EXPECT_EQ(round.Broken(), "");
    both_ran += first.exit_code == kExitDone && second.exit_code == kExitDone;
    round.RunWith("");
    EXPECT_EQ(round.NotComplete(), "");
  }
  std::printf("two sessions: both ran to the end %d times of 20\n", both_ran);
}

}  // namespace
}  // namespace zp::test
