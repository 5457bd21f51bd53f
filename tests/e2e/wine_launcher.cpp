#include "e2e/wine_launcher.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "e2e/link_launcher.h"
#include "platform/regfile.h"

namespace zp::test {
namespace {

namespace fs = std::filesystem;

const char* const kWine = "/usr/lib/wine/wine64";

// A test that CTest gave a "wine" resource ("id:N,slots:1") takes slot N of
// scripts/with-wine.sh: its prefix and its display, for itself and for
// every program it starts. Done before main, while the process has one
// thread.
[[maybe_unused]] const bool kSlotTaken = [] {
  const char* resource = std::getenv("CTEST_RESOURCE_GROUP_0_WINE");
  if (!resource) return false;
  const std::string given = resource;
  const std::size_t id_end = given.find(',');
  if (!given.starts_with("id:") || id_end == std::string::npos) return false;
  const std::string variable = "ZP_WINE_SLOT_" + given.substr(3, id_end - 3);
  const char* slot = std::getenv(variable.c_str());
  if (!slot) {
    std::fprintf(
        stderr,
        "%s is not set: run the Wine tests with ZP_WINE_SLOTS enough for CTest's resources\n",
        variable.c_str());
    std::exit(1);
  }
  const std::string text = slot;
  const std::size_t space = text.rfind(' ');
  ::setenv("WINEPREFIX", text.substr(0, space).c_str(), 1);
  ::setenv("DISPLAY", text.substr(space + 1).c_str(), 1);
  return true;
}();

fs::path Prefix() {
  const char* prefix = std::getenv("WINEPREFIX");
  if (!prefix || !*prefix) throw std::runtime_error("WINEPREFIX is not set");
  return prefix;
}

// "Z:\tmp\x" for the host path "/tmp/x": Wine's drive Z: is the host's root.
std::string WindowsPath(const fs::path& host) {
  std::string path = "Z:" + fs::absolute(host).string();
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A Wine program started, its output going to a file (Wine's background
// processes may hold a pipe open long after the program ended).
struct Started {
  pid_t pid = -1;
  fs::path out;
};

Started Start(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  static std::atomic<int> runs = 0;
  Started started;
  started.out = fs::temp_directory_path() /
                ("zp-wine-" + std::to_string(::getpid()) + "-" + std::to_string(++runs));
  started.pid = ::fork();
  if (started.pid < 0) throw std::runtime_error("fork failed");
  if (started.pid == 0) {
    ::setsid();
    const int null = ::open("/dev/null", O_RDONLY);
    const int file = ::open(started.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (null < 0 || file < 0) ::_exit(127);
    ::dup2(null, STDIN_FILENO);
    ::dup2(file, STDOUT_FILENO);
    ::dup2(file, STDERR_FILENO);
    for (const std::string& assignment : env) ::putenv(const_cast<char*>(assignment.c_str()));
    std::vector<char*> argv{const_cast<char*>(kWine)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(kWine, argv.data());
    ::_exit(127);
  }
  return started;
}

// Waits for the program; one that has not ended after two minutes (a window
// nobody closes) is ended, and its exit code is -1.
RunResult Finish(const Started& started) {
  int status = 0;
  bool ended = false;
  for (int waited = 0; waited < 120 * 20; ++waited) {
    const pid_t done = ::waitpid(started.pid, &status, WNOHANG);
    if (done == started.pid || (done < 0 && errno != EINTR)) {
      ended = done == started.pid;
      break;
    }
    ::usleep(50 * 1000);
  }
  if (!ended) {
    ::kill(-started.pid, SIGKILL);
    while (::waitpid(started.pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  RunResult result;
  result.exit_code = ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.output = ReadFile(started.out);
  fs::remove(started.out);
  return result;
}

RunResult Wine(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
  return Finish(Start(args, env));
}

// The keys a session reads or writes; each world starts with none of them.
const char* const kKeys[] = {
    "HKEY_LOCAL_MACHINE\\Software\\Brenok",
    "HKEY_CURRENT_USER\\Software\\Brenok",
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows CE Services",
};

// The program keeps its settings in the 32-bit view of the registry, as a
// 32-bit program of the field system does: the world is imported there and
// read back from there (HKEY_CURRENT_USER\Software is one for both views).
void ImportRegistry(const fs::path& desktop) {
  for (const char* key : kKeys) {
    for (const char* view : {"/reg:32", "/reg:64"}) Wine({"reg", "delete", key, "/f", view});
  }
  // An import now and then fails once under load (seen about once in a
  // thousand imports): it is asked again before the test gives up.
  RunResult imported;
  for (int attempt = 0; attempt < 3; ++attempt) {
    imported = Wine({"reg", "import", WindowsPath(desktop / "registry.reg"), "/reg:32"});
    if (imported.exit_code == 0) return;
    ::usleep(200 * 1000);
  }
  throw std::runtime_error("reg import failed with " + std::to_string(imported.exit_code) + ": " +
                           imported.output);
}

// registry.reg afterwards holds what the prefix's registry holds, read
// from reg's exports (UTF-16LE, which the .reg reader takes) and
// written by the .reg writer.
// A key exported into `file`; false when the key is not there. An export
// fails now and then under load, as an import does: it is asked again, and
// one that keeps failing for a key that is there ends the test rather than
// drop the key from the world (every later session would miss it).
bool ExportKey(const char* key, const fs::path& file) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (Wine({"reg", "export", key, WindowsPath(file), "/reg:32", "/y"}).exit_code == 0)
      return true;
    if (Wine({"reg", "query", key, "/reg:32"}).exit_code != 0) return false;
    ::usleep(200 * 1000);
  }
  throw std::runtime_error(std::string("reg export of ") + key + " failed three times");
}

void ExportRegistry(const fs::path& desktop) {
  regfile::Document all;
  const fs::path file = desktop / "export.reg";
  for (const char* key : kKeys) {
    if (!ExportKey(key, file)) continue;
    regfile::ParseResult exported = regfile::Parse(ReadFile(file), regfile::Strings::Narrow);
    for (regfile::Key& found : exported.doc.keys) all.keys.push_back(std::move(found));
  }
  fs::remove(file);
  std::ofstream(desktop / "registry.reg", std::ios::binary)
      << regfile::Write(all, regfile::Strings::Narrow);
}

// Drive folders of the world other than c (d/, e/, ...) become drives.
std::vector<fs::path> MapDrives(const fs::path& desktop) {
  std::vector<fs::path> links;
  for (const auto& entry : fs::directory_iterator(desktop)) {
    const std::string name = entry.path().filename().string();
    if (name.size() != 1 || name == "c" || name == "z" || !entry.is_directory()) continue;
    const fs::path link = Prefix() / "dosdevices" / (name + ":");
    fs::remove(link);
    fs::create_directory_symlink(fs::absolute(entry.path()), link);
    links.push_back(link);
  }
  return links;
}

}  // namespace

bool UnderWine() {
  const char* launcher = std::getenv("ZP_E2E_LAUNCHER");
  return launcher && (std::string(launcher) == "wine" || std::string(launcher) == "winelink");
}

bool IsWinesOwnFolder(const std::string& name) {
  static const std::vector<std::string> kWinesOwn = {"windows", "users", "Program Files",
                                                     "Program Files (x86)", "ProgramData"};
  return std::find(kWinesOwn.begin(), kWinesOwn.end(), name) != kWinesOwn.end();
}

void AttachWineDriveC(const std::string& desktop_root) {
  const fs::path drive_c = Prefix() / "drive_c";
  for (const auto& entry : fs::directory_iterator(drive_c)) {
    if (!IsWinesOwnFolder(entry.path().filename().string())) fs::remove_all(entry.path());
  }
  const fs::path c = fs::path(desktop_root) / "c";
  fs::remove_all(c);
  fs::create_directory_symlink(drive_c, c);
}

RunResult RunUnderWine(const std::string& program, const std::string& desktop_root,
                       const std::string& device_folder, const std::function<bool()>& meanwhile,
                       bool display, bool carry_registry, int* handheld_exit,
                       const std::vector<std::string>& handheld_options,
                       const std::string& timeouts, const std::string& argument,
                       const std::vector<std::string>& environment) {
  const fs::path desktop = desktop_root;
  if (handheld_exit) *handheld_exit = -2;
  std::error_code exists;
  if (OverLink() && carry_registry && !device_folder.empty() &&
      fs::is_directory(device_folder, exists)) {
    ListTheWorldsHandheld(device_folder, desktop_root);
  }
  if (carry_registry) ImportRegistry(desktop);
  const std::vector<fs::path> drives = MapDrives(desktop);
  std::vector<std::string> env;
  std::unique_ptr<HandheldProcess> handheld;
  std::string run_program = program;
  if (OverLink()) {
    // The program alone, no stand-in DLLs beside it: the link is its only
    // way to the handheld. Nothing docked: no ZAMOPOCKET_LINK, and the
    // machine's adapters hold no handheld's.
    run_program =
        (fs::path(program).parent_path() / "link" / fs::path(program).filename()).string();
    std::error_code ec;
    for (const auto& [name, value] : LinkEnvironment(WindowsPath(desktop), timeouts)) {
      if (name == "ZAMOPOCKET_DESKTOP" || name == "ZAMOPOCKET_CLOCK") continue;
      if (name == "ZAMOPOCKET_LINK" &&
          (device_folder.empty() || !fs::is_directory(device_folder, ec)))
        continue;
      env.push_back(name + "=" + value);
    }
    if (carry_registry && !device_folder.empty() && fs::is_directory(device_folder, ec)) {
      handheld = std::make_unique<HandheldProcess>(device_folder, desktop_root, handheld_options);
    }
  } else {
    env.push_back("ZAMOPOCKET_DEVICE=" + (device_folder.empty() ? "" : WindowsPath(device_folder)));
  }
  if (!display) env.push_back("DISPLAY=");  // no window can be made, no question asked
  env.insert(env.end(), environment.begin(), environment.end());
  std::vector<std::string> args{run_program};
  if (!argument.empty()) args.push_back(argument);
  const Started started = Start(args, env);
  // A program left waiting (a question nobody answered) is ended.
  if (meanwhile && !meanwhile()) ::kill(-started.pid, SIGKILL);
  RunResult run = Finish(started);
  if (handheld) {
    const int exit = handheld->Finish();
    if (handheld_exit) *handheld_exit = exit;
  }
  if (carry_registry) {
    for (const fs::path& link : drives) fs::remove(link);
    ExportRegistry(desktop);
  }
  return run;
}

RunResult RunWineProgram(const std::vector<std::string>& args) {
  return Wine(args);
}

bool AnswerMessageBox(const std::string& caption, char key) {
  // Focused first, the key sent without --window: a key sent to a window
  // can stay pressed once the box has closed.
  const std::string command = "wid=$(timeout 30 xdotool search --sync --name '^" + caption +
                              "$' | head -n 1) && [ -n \"$wid\" ] && "
                              "xdotool windowfocus --sync \"$wid\" && xdotool key " +
                              std::string(1, key) + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

std::string FixBannerTimes(const std::string& log, const std::string& fixed) {
  static const std::regex kBanner("logging at \\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}");
  return std::regex_replace(log, kBanner, "logging at " + fixed);
}

}  // namespace zp::test
