// The link on real network interfaces: each handheld program in a network
// namespace of its own, joined by a veth pair to the desktop's namespace,
// where the desktop program runs, exactly as a docked handheld is an
// interface with fixed addresses. Root only (network namespaces), in the
// plain end-to-end pass only.
//
// The 169.254.2.x addresses below are the handhelds' own link addresses;
// they live only on the veth pairs inside the network namespaces this test
// makes (and removes), never on the machine's own interfaces.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "e2e/link_launcher.h"
#include "e2e/session_world.h"
#include "e2e/wine_launcher.h"
#include "session/session.h"

namespace zp::test {
namespace {

namespace fs = std::filesystem;

// Only inside the namespaces this test makes (see the top of the file).
const std::string kDeskAddress = "169.254.2.2";
const std::string kHandheldAddress = "169.254.2.1";
const std::string kHandheldMac = "80:00:60:0f:e8:00";

struct Command {
  int exit_code = -1;
  std::string output;
};

// Runs `ip` with `args`; what it said and its exit code (-1: it hung and
// was killed, or could not start).
Command Ip(const std::vector<std::string>& args) {
  int out[2];
  if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(out[1], STDERR_FILENO);
    ::close(out[0]);
    std::vector<std::string> copy = args;
    std::vector<char*> argv{const_cast<char*>("ip")};
    for (std::string& arg : copy) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execvp("ip", argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  Command result;
  char buffer[1024];
  for (;;) {
    pollfd p{out[0], POLLIN, 0};
    if (::poll(&p, 1, 10000) <= 0) {
      ::kill(pid, SIGKILL);
      break;
    }
    const ssize_t got = ::read(out[0], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    result.output.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(out[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

bool HaveIp() {
  return Ip({"-V"}).exit_code == 0;
}

std::string Pid() {
  return std::to_string(::getpid());
}

// A network namespace, removed (and every veth end in it) when it goes.
class Namespace {
 public:
  explicit Namespace(std::string name) : name_(std::move(name)) {
    Ip({"netns", "del", name_});  // one a crashed run of this pid left behind
    const Command added = Ip({"netns", "add", name_});
    made_ = added.exit_code == 0;
    problem_ = added.output;
  }
  ~Namespace() {
    try {
      if (made_) Ip({"netns", "del", name_});
    } catch (...) {  // a namespace left behind is removed by the next run of this pid
    }
  }
  Namespace(const Namespace&) = delete;
  Namespace& operator=(const Namespace&) = delete;

  bool made() const { return made_; }
  const std::string& problem() const { return problem_; }
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  bool made_ = false;
  std::string problem_;
};

// A whole world (desktop root and handheld folder) per handheld.
struct Station : SessionWorld {
  explicit Station(const std::string& tag) : array_a("array " + tag) {
    world.AddDeviceFile(kSync + "A.ARR", array_a);
    world.AddDeviceFile(kSync + "b.arr", std::string(40000, tag.at(0)));
    PutDesktopFile("c/ZAMO/Field/ToPocket/R.CLS", "regions " + tag);
    PutDesktopFile("c/ZAMO/Field/ToPocket/S.TMT", "survey " + tag);
  }
  void TestBody() override {}

  using SessionWorld::DesktopFile;
  using SessionWorld::DesktopListing;
  using SessionWorld::DeviceListing;
  using SessionWorld::DeviceState;
  using SessionWorld::Log;
  using SessionWorld::PutDesktopFile;
  using SessionWorld::world;

  const std::string array_a;
};

// zp-handheld serving a station's handheld inside a namespace, started with
// `ip netns exec`; stopped (bounded) when it goes.
class NamespacedHandheld {
 public:
  NamespacedHandheld(const std::string& ns, const Station& station)
      : NamespacedHandheld(ns, station.world, {"--name", "Field"}) {}
  // The handheld of `world`, with further options (its name, its GUID).
  NamespacedHandheld(const std::string& ns, const DeviceWorld& world,
                     const std::vector<std::string>& options)
      : output_file_((world.dir.path() / "handheld.out").string()) {
    std::vector<std::string> args = {"ip",
                                     "netns",
                                     "exec",
                                     ns,
                                     ZP_HANDHELD_PROGRAM,
                                     "--world",
                                     world.device_folder(),
                                     "--device",
                                     kHandheldAddress,
                                     "--desktop",
                                     kDeskAddress,
                                     "--wait-ms",
                                     "20000",
                                     "--idle-ms",
                                     "30000"};
    args.insert(args.end(), options.begin(), options.end());
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      const int out = ::open(output_file_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (out >= 0) {
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
      }
      std::vector<char*> argv;
      argv.reserve(args.size() + 1);
      for (std::string& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      ::execvp("ip", argv.data());
      ::_exit(127);
    }
  }
  ~NamespacedHandheld() { Finish(); }
  NamespacedHandheld(const NamespacedHandheld&) = delete;
  NamespacedHandheld& operator=(const NamespacedHandheld&) = delete;

  // Waits for it to end (asked to after 2 s, killed after 4 s); its exit
  // code, -1 when it had to be killed.
  int Finish() {
    if (pid_ < 0) return exit_code_;
    int status = 0;
    for (int i = 0; i < 400; ++i) {
      if (i == 200) ::kill(pid_, SIGTERM);
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return exit_code_;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return exit_code_;
  }

  std::string Output() const {
    std::ifstream in(output_file_, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  pid_t pid_ = -1;
  int exit_code_ = -1;
  std::string output_file_;
};

class LinkInterface : public ::testing::Test {
 protected:
  void SetUp() override {
    // Run once, by the plain end-to-end pass: the link is what they test.
    if (UnderWine() || OverLink()) GTEST_SKIP() << "runs in the Linux pass only";
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make network namespaces";
    if (!HaveIp()) GTEST_SKIP() << "needs iproute2's ip";
    desktop_ = std::make_unique<Namespace>("zpd" + Pid());
    if (!desktop_->made()) {
      // Root of a user namespace of its own is not root of the machine.
      GTEST_SKIP() << "cannot make a network namespace here: " << desktop_->problem();
    }
    Must({"-n", desktop_->name(), "link", "set", "lo", "up"});
  }

  void Must(const std::vector<std::string>& args) {
    const Command run = Ip(args);
    std::string line = "ip";
    for (const std::string& arg : args) line += " " + arg;
    ASSERT_EQ(run.exit_code, 0) << line << ": " << run.output;
  }

  // A docked handheld: a namespace of its own and a veth pair to the
  // desktop's, 169.254.2.1/24 at the handheld's end, 169.254.2.2/24 at the
  // desktop's, both up. The desktop end is named in `desktop_end`.
  void Cradle(int index, const std::string& mac, std::string& desktop_end, std::string& ns) {
    const std::string tag = Pid() + static_cast<char>('a' + index);
    cradles_.push_back(std::make_unique<Namespace>("zph" + tag));
    ns = cradles_.back()->name();
    ASSERT_TRUE(cradles_.back()->made()) << cradles_.back()->problem();
    desktop_end = "zpv" + tag;
    const std::string handheld_end = "zpw" + tag;
    const std::string& desk = desktop_->name();
    Must({"link", "add", desktop_end, "netns", desk, "type", "veth", "peer", "name", handheld_end,
          "netns", ns});
    if (!mac.empty()) Must({"-n", desk, "link", "set", "dev", desktop_end, "address", mac});
    Must({"-n", desk, "addr", "add", kDeskAddress + "/24", "broadcast", "+", "dev", desktop_end});
    Must(
        {"-n", ns, "addr", "add", kHandheldAddress + "/24", "broadcast", "+", "dev", handheld_end});
    Must({"-n", desk, "link", "set", desktop_end, "up"});
    Must({"-n", ns, "link", "set", handheld_end, "up"});
    Must({"-n", ns, "link", "set", "lo", "up"});
  }

  // The desktop program in the desktop's namespace (`ip netns exec`, so
  // that it sees that namespace's interfaces in /sys as well), on the
  // interface `link` names, or (empty) on the one it finds itself. The
  // script is written before any session runs: a script still open for
  // writing in another thread's child cannot be started.
  struct DesktopRun {
    std::string script;
    std::map<std::string, std::string> env;
    RunResult Run() const { return RunProgram(script, env); }
  };
  DesktopRun Desktop(const Station& station, const std::string& link) {
    const fs::path script = station.world.dir.path() / "zamopocket-in-namespace";
    {
      std::ofstream out(script, std::ios::binary);
      out << "#!/bin/sh\nunset ZAMOPOCKET_DEVICE" << (link.empty() ? " ZAMOPOCKET_LINK" : "")
          << "\nexec ip netns exec " << desktop_->name() << " " << ZP_PROGRAM << "\n";
    }
    ::chmod(script.c_str(), 0755);
    DesktopRun run{script.string(),
                   {{"ZAMOPOCKET_DESKTOP", station.world.desktop_root()},
                    {"ZAMOPOCKET_LINK_TIMEOUTS",
                     "connect=5000,retrigger=200,handshake=5000,session=3000,reply=20000"},
                    {"ZAMOPOCKET_CLOCK", "2026-12-08 09:30:05"}}};
    if (!link.empty()) run.env["ZAMOPOCKET_LINK"] = link;
    return run;
  }

  // What a complete session leaves: the station's own arrays in its
  // FromPocket, its classifier and template on its handheld, state 4.
  static void ExpectComplete(const Station& station, const RunResult& run, int handheld_exit,
                             const std::string& handheld_output) {
    const std::string tag = station.array_a.substr(6);
    EXPECT_EQ(run.exit_code, kExitDone) << run.output << station.Log() << handheld_output;
    EXPECT_EQ(station.Log(), kStart + kConnected +
                                 "Copying file \\My Documents\\Personal\\ZAMO\\Sync\\A.ARR to "
                                 "c:\\ZAMO\\Field\\FromPocket\\ARR00001.ARR\r\n"
                                 "Copying file \\My Documents\\Personal\\ZAMO\\Sync\\b.arr to "
                                 "c:\\ZAMO\\Field\\FromPocket\\ARR00002.ARR\r\n"
                                 "Copying classifier 'c:\\ZAMO\\Field\\ToPocket\\R.CLS' to "
                                 "'\\My Documents\\Personal\\ZAMO\\Sync\\R.CLS'\r\n"
                                 "Copied successfully\r\n\r\n"
                                 "Copying template 'c:\\ZAMO\\Field\\ToPocket\\S.TMT' to "
                                 "'\\My Documents\\Personal\\ZAMO\\Sync\\S.TMT'\r\n"
                                 "Copied successfully\r\n\r\n"
                                 "Finished successfully\r\n\r\n" +
                                 kStop)
        << handheld_output;
    EXPECT_EQ(station.DesktopListing("c/ZAMO/Field/FromPocket"), "ARR00001.ARR ARR00002.ARR");
    EXPECT_EQ(station.DesktopFile("c/ZAMO/Field/FromPocket/ARR00001.ARR"), station.array_a);
    EXPECT_TRUE(station.DesktopFile("c/ZAMO/Field/FromPocket/ARR00002.ARR") ==
                std::string(40000, tag.at(0)))
        << "ARR00002.ARR is not " << station.world.device_folder() << "'s b.arr";
    EXPECT_EQ(station.DeviceListing(kSync), "R.CLS S.TMT");
    EXPECT_EQ(station.world.DeviceFile(kSync + "R.CLS"), "regions " + tag);
    EXPECT_EQ(station.world.DeviceFile(kSync + "S.TMT"), "survey " + tag);
    EXPECT_EQ(station.DeviceState(), "dword:00000004");
    EXPECT_EQ(station.world.StartedLog(), "\\Program Files\\ZAMO\\import.exe\t\n");
    EXPECT_EQ(station.DesktopListing("c/ZAMO/Field/ToPocket"), "");
    EXPECT_EQ(handheld_exit, 0) << handheld_output;
  }

  // The namespaces go last, once every process in them has ended.
  std::unique_ptr<Namespace> desktop_;
  std::vector<std::unique_ptr<Namespace>> cradles_;
};

TEST_F(LinkInterface, ASessionOnTheInterfaceNamedInZamopocketLinkCompletes) {
  std::string veth, ns;
  ASSERT_NO_FATAL_FAILURE(Cradle(0, "", veth, ns));
  Station station("a");
  NamespacedHandheld handheld(ns, station);
  const RunResult run = Desktop(station, veth).Run();
  const int handheld_exit = handheld.Finish();
  ExpectComplete(station, run, handheld_exit, handheld.Output());
}

TEST_F(LinkInterface, WithNothingSetTheProgramFindsTheHandheldsInterfaceByItsAddress) {
  std::string veth, ns;
  ASSERT_NO_FATAL_FAILURE(Cradle(0, kHandheldMac, veth, ns));
  Station station("a");
  NamespacedHandheld handheld(ns, station);
  const RunResult run = Desktop(station, "").Run();
  const int handheld_exit = handheld.Finish();
  ExpectComplete(station, run, handheld_exit, handheld.Output());
}

// A docking station: three cradles on one desktop, the same addresses at
// both ends of each, in one desktop namespace; only sockets bound to their
// interface tell the handhelds apart. Three sessions at once, each slowed
// so that they overlap: each handheld's arrays exactly once in its own
// device folder, the log whole (three sessions one after the other, none
// among another's lines, no side log left), and every handheld recorded
// in the desktop's settings, which the three sessions changed at once.
TEST_F(LinkInterface, ThreeHandheldsDockedAtOnceOnOneDesktopEachSyncIntoTheirOwnFolder) {
  constexpr int kCradles = 3;
  std::string veth[kCradles], ns[kCradles];
  for (int i = 0; i < kCradles; ++i) {
    ASSERT_NO_FATAL_FAILURE(Cradle(i, kHandheldMac, veth[i], ns[i]));
  }
  Station desktop("0");  // the desktop; its own handheld stays out of this
  DeviceWorld handhelds[kCradles];
  std::vector<std::unique_ptr<NamespacedHandheld>> running;
  running.reserve(kCradles);
  for (int i = 0; i < kCradles; ++i) {
    const std::string n = std::to_string(i + 1);
    DeviceWorld& world = handhelds[i];
    world.SetDeviceReg(desktop.world.DeviceReg());
    world.AddDeviceFile("\\Program Files\\ZAMO\\import.exe", "import program");
    world.AddDeviceFile(kSync + "A.ARR", "array of handheld " + n);
    world.AddDeviceFile(kSync + "b.arr", std::string(40000, static_cast<char>('0' + i + 1)));
    world.SetFaults("slow CeReadFile ms=150\n");
    desktop.PutDesktopFile("c/ZAMO/Field" + n + "/ToPocket/R.CLS", "regions " + n);
    desktop.PutDesktopFile("c/ZAMO/Field" + n + "/ToPocket/S.TMT", "survey " + n);
    running.push_back(std::make_unique<NamespacedHandheld>(
        ns[i], world,
        std::vector<std::string>{"--name", "Field" + n, "--partner", "0x10" + n, "--guid",
                                 "{0000010" + n + "-aaaa-bbbb-cccc-00000000000" + n + "}"}));
  }
  std::vector<DesktopRun> runs;
  runs.reserve(kCradles);
  for (int i = 0; i < kCradles; ++i) runs.push_back(Desktop(desktop, veth[i]));
  RunResult run[kCradles];
  std::vector<std::thread> sessions;
  sessions.reserve(kCradles);
  for (int i = 0; i < kCradles; ++i) sessions.emplace_back([&, i] { run[i] = runs[i].Run(); });
  for (std::thread& session : sessions) session.join();

  const std::string log = desktop.Log();
  std::vector<std::string> blocks;  // the log's sessions, in order
  for (std::size_t at = 0; at < log.size();) {
    const std::size_t end = log.find(kStop, at);
    if (end == std::string::npos) {
      blocks.push_back(log.substr(at));
      break;
    }
    blocks.push_back(log.substr(at, end + kStop.size() - at));
    at = end + kStop.size();
  }
  EXPECT_EQ(blocks.size(), 3u) << log;
  for (int i = 0; i < kCradles; ++i) {
    const std::string n = std::to_string(i + 1);
    const std::string name = "Field" + n;
    const std::string output = running[i]->Output();
    EXPECT_EQ(run[i].exit_code, kExitDone) << run[i].output << log << output;
    EXPECT_EQ(running[i]->Finish(), 0) << output;
    const std::string folder = "c/ZAMO/" + name;
    EXPECT_EQ(desktop.DesktopListing(folder + "/FromPocket"), "ARR00001.ARR ARR00002.ARR");
    EXPECT_EQ(desktop.DesktopFile(folder + "/FromPocket/ARR00001.ARR"), "array of handheld " + n);
    EXPECT_TRUE(desktop.DesktopFile(folder + "/FromPocket/ARR00002.ARR") ==
                std::string(40000, static_cast<char>('0' + i + 1)))
        << name << "'s ARR00002.ARR is not its own b.arr";
    EXPECT_EQ(desktop.DesktopListing(folder + "/ToPocket"), "");
    EXPECT_EQ(handhelds[i].DeviceFile(kSync + "R.CLS"), "regions " + n);
    EXPECT_EQ(handhelds[i].DeviceFile(kSync + "S.TMT"), "survey " + n);
    EXPECT_NE(handhelds[i].DeviceReg().find("\"DBState\"=dword:00000004"), std::string::npos)
        << handhelds[i].DeviceReg();
    EXPECT_EQ(handhelds[i].StartedLog(), "\\Program Files\\ZAMO\\import.exe\t\n");
    const std::string whole =
        kStart + "Connecting to PocketPC...\r\nSuccessfully connected to " + name + "\r\n" +
        "Copying file \\My Documents\\Personal\\ZAMO\\Sync\\A.ARR to c:\\ZAMO\\" + name +
        "\\FromPocket\\ARR00001.ARR\r\n"
        "Copying file \\My Documents\\Personal\\ZAMO\\Sync\\b.arr to c:\\ZAMO\\" +
        name +
        "\\FromPocket\\ARR00002.ARR\r\n"
        "Copying classifier 'c:\\ZAMO\\" +
        name +
        "\\ToPocket\\R.CLS' to '\\My Documents\\Personal\\ZAMO\\Sync\\R.CLS'\r\n"
        "Copied successfully\r\n\r\n"
        "Copying template 'c:\\ZAMO\\" +
        name +
        "\\ToPocket\\S.TMT' to '\\My Documents\\Personal\\ZAMO\\Sync\\S.TMT'\r\n"
        "Copied successfully\r\n\r\n"
        "Finished successfully\r\n\r\n" +
        kStop;
    EXPECT_EQ(std::count(blocks.begin(), blocks.end(), whole), 1) << name << " in\n" << log;
    EXPECT_NE(desktop.DesktopFile("registry.reg").find("\"" + name + "\"=\"{0000010" + n),
              std::string::npos)
        << desktop.DesktopFile("registry.reg");
  }
  EXPECT_EQ(desktop.DesktopListing("c/ZAMO"), "Field/ Field1/ Field2/ Field3/ zamopocket.log");
}

}  // namespace
}  // namespace zp::test
