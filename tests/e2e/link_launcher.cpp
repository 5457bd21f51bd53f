#include "e2e/link_launcher.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "link/device_info.h"
#include "link/known_devices.h"
#include "platform/regfile.h"
#include "support/own_network.h"

namespace zp::test {
namespace {

namespace fs = std::filesystem;

std::string Address(int last) {
  const unsigned pid = static_cast<unsigned>(::getpid());
  return "127." + std::to_string((pid >> 8) & 0xFF) + "." + std::to_string(pid & 0xFF) + "." +
         std::to_string(last);
}

// The device's name over the link is its own claim: the handheld program
// gives the name of the desktop profile the other launchers find for the
// world's device id, unless device.reg names the device itself.
std::string ProfileName(const std::string& device_folder, const std::string& desktop_root) {
  const auto device = regfile::Load(device_folder + "/device.reg", regfile::Strings::Wide);
  const auto desktop = regfile::Load(desktop_root + "/registry.reg", regfile::Strings::Narrow);
  if (!device || !desktop) return {};
  const regfile::Key* ident = regfile::FindKey(*device, "HKEY_LOCAL_MACHINE\\Ident");
  if (!ident || regfile::FindValue(*ident, "Name")) return {};
  const regfile::Value* id = regfile::FindValue(*ident, "DeviceId");
  if (!id || id->bytes.size() != 4) return {};
  const std::uint32_t value = id->bytes[0] | id->bytes[1] << 8 | id->bytes[2] << 16 |
                              static_cast<std::uint32_t>(id->bytes[3]) << 24;
  char key[160];
  std::snprintf(key, sizeof key,
                "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows CE Services\\Partners\\%08X",
                value);
  const regfile::Key* profile = regfile::FindKey(*desktop, key);
  const regfile::Value* name = profile ? regfile::FindValue(*profile, "DisplayName") : nullptr;
  if (!name || name->bytes.empty()) return {};
  return std::string(name->bytes.begin(), name->bytes.end() - 1);
}

// A string value of device.reg's Ident, as UTF-8.
std::optional<std::string> IdentText(const regfile::Key& ident, const char* name) {
  const regfile::Value* value = regfile::FindValue(ident, name);
  if (!value || value->bytes.size() < 2) return std::nullopt;
  std::string text;
  for (std::size_t i = 0; i + 2 < value->bytes.size(); i += 2) {
    text.push_back(static_cast<char>(value->bytes[i]));  // the worlds' names are ASCII
  }
  return text;
}

}  // namespace

void ListTheWorldsHandheld(const std::string& device_folder, const std::string& desktop_root) {
  const std::string registry_file = desktop_root + "/registry.reg";
  std::ifstream in(registry_file, std::ios::binary);
  std::ostringstream registry;
  registry << in.rdbuf();
  in.close();
  // A world with a list of its own keeps it; one without the program's
  // settings gets none (the list's key would make them).
  if (registry.str().find(kListSection) != std::string::npos ||
      registry.str().find("[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO\\PocketPC]") ==
          std::string::npos) {
    return;
  }
  const auto device = regfile::Load(device_folder + "/device.reg", regfile::Strings::Wide);
  if (!device) return;
  const regfile::Key* ident = regfile::FindKey(*device, "HKEY_LOCAL_MACHINE\\Ident");
  std::uint32_t partner = 0;
  std::optional<std::string> name, guid;
  if (ident) {
    if (const regfile::Value* id = regfile::FindValue(*ident, "DeviceId");
        id && id->bytes.size() == 4) {
      partner = id->bytes[0] | id->bytes[1] << 8 | id->bytes[2] << 16 |
                static_cast<std::uint32_t>(id->bytes[3]) << 24;
    }
    name = IdentText(*ident, "Name");
    guid = IdentText(*ident, "Guid");
  }
  if (!name) name = ProfileName(device_folder, desktop_root);
  if (!name || name->empty()) name = "Pocket_PC";
  if (OverLegacyLink()) {
    // An older handheld has no GUID: it is listed by its partner id, and an
    // unpartnered one cannot be.
    if (partner == 0 || partner == 0xFFFFFFFFu) return;
    char identity[32];
    std::snprintf(identity, sizeof identity, "%s%08X", link::kPartnerIdentity, partner);
    guid = identity;
  } else if (!guid) {
    std::array<std::uint8_t, 16> bytes{};
    for (std::size_t i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(partner >> (8 * i));
    guid = link::FormatGuid(bytes);
  }
  std::ofstream(registry_file, std::ios::binary | std::ios::app)
      << "\r\n"
      << kListSection << "\r\n\"" << *guid << "\"=\"" << *name << "\"\r\n";
}

bool OverLink() {
  const char* launcher = std::getenv("ZP_E2E_LAUNCHER");
  return launcher != nullptr && (std::string(launcher) == "link" ||
                                 std::string(launcher) == "winelink" || OverLegacyLink());
}

bool OverLegacyLink() {
  const char* launcher = std::getenv("ZP_E2E_LAUNCHER");
  return launcher != nullptr && std::string(launcher) == "legacy";
}

std::string LinkDesktopAddress() {
  return Address(1);
}
std::string LinkHandheldAddress() {
  return Address(2);
}

HandheldProcess::HandheldProcess(const std::string& device_folder, const std::string& desktop_root,
                                 const std::vector<std::string>& extra)
    : output_file_(desktop_root + "/../handheld.out") {
  std::vector<std::string> args = {ZP_HANDHELD_PROGRAM,
                                   "--world",
                                   device_folder,
                                   "--device",
                                   LinkHandheldAddress(),
                                   "--desktop",
                                   LinkDesktopAddress(),
                                   "--wait-ms",
                                   "20000",
                                   "--idle-ms",
                                   "30000"};
  const std::string name = ProfileName(device_folder, desktop_root);
  if (!name.empty()) {
    args.push_back("--name");
    args.push_back(name);
  }
  if (OverLegacyLink()) args.push_back("--legacy");
  args.insert(args.end(), extra.begin(), extra.end());
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    std::FILE* out = std::fopen(output_file_.c_str(), "ab");
    if (out) {
      ::dup2(::fileno(out), STDOUT_FILENO);
      ::dup2(::fileno(out), STDERR_FILENO);
    }
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
}

HandheldProcess::~HandheldProcess() {
  Finish();
}

int HandheldProcess::Finish() {
  if (pid_ < 0) return -1;
  int status = 0;
  // It ends once the desktop closed its control connection; one that was
  // never triggered is asked to stop.
  for (int i = 0; i < 400; ++i) {
    if (i == 200) ::kill(pid_, SIGTERM);
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid_, SIGKILL);
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  return -1;
}

std::string HandheldProcess::Output() const {
  std::ifstream in(output_file_, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::map<std::string, std::string> LinkEnvironment(const std::string& desktop_root,
                                                   const std::string& timeouts) {
  return {{"ZAMOPOCKET_DESKTOP", desktop_root},
          {"ZAMOPOCKET_LINK", LinkDesktopAddress() + "," + LinkHandheldAddress()},
          {"ZAMOPOCKET_LINK_TIMEOUTS",
           timeouts.empty()
               ? "connect=3000,retrigger=100,handshake=5000,session=2000,reply=20000,dial=3000"
               : timeouts},
          {"ZAMOPOCKET_CLOCK", "2026-12-08 09:30:05"}};
}

RunResult RunOverLink(const std::string& program, const std::string& desktop_root,
                      const std::string& device_folder, const std::string& answer,
                      int* handheld_exit) {
  if (handheld_exit) *handheld_exit = -2;
  EnterOwnNetwork();  // done by now, by the world's constructor
  std::map<std::string, std::string> env = LinkEnvironment(desktop_root);
  // Nothing docked: no link to listen on, exactly as on a desktop with no
  // handheld interface. A session beside a running one (`handheld_exit`
  // null) is on the same link, with no handheld program of its own: the
  // handheld serves the first.
  std::error_code ec;
  if (device_folder.empty() || !fs::is_directory(device_folder, ec) || !handheld_exit) {
    if (handheld_exit) env.erase("ZAMOPOCKET_LINK");
    return answer.empty() ? RunProgram(program, env) : RunProgramOnTerminal(program, env, answer);
  }
  ListTheWorldsHandheld(device_folder, desktop_root);
  HandheldProcess handheld(device_folder, desktop_root);
  RunResult result =
      answer.empty() ? RunProgram(program, env) : RunProgramOnTerminal(program, env, answer);
  *handheld_exit = handheld.Finish();
  return result;
}

}  // namespace zp::test
