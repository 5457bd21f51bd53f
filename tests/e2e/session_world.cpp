#include "e2e/session_world.h"

#include "e2e/link_launcher.h"
#include "e2e/wine_launcher.h"
#include "support/own_network.h"
#include "support/reg_text.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace zp::test {
namespace {

namespace fs = std::filesystem;

std::string Names(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    // Under Wine drive c is the prefix's drive C:, with Wine's own folders.
    if (UnderWine() && folder.filename() == "c" && IsWinesOwnFolder(entry.path().filename())) {
      continue;
    }
    names.push_back(entry.path().filename().string() + (entry.is_directory() ? "/" : ""));
  }
  std::sort(names.begin(), names.end());
  std::string all;
  for (const std::string& name : names) all += (all.empty() ? "" : " ") + name;
  return all;
}

}  // namespace

SessionWorld::SessionWorld() : device_folder(world.device_folder()) {
  // Over the link the desktop program binds port 990: without root, in a
  // namespace of this process's own, entered before any thread starts.
  // Under Wine that namespace would cut the program off its wineserver:
  // the Windows program binds port 990 as root only.
  if (OverLink() && UnderWine() && ::geteuid() != 0) {
    [] { GTEST_SKIP() << "zamopocket.exe binds port 990 under Wine only as root"; }();
  } else if (OverLink()) {
    OwnNetworkOrSkip();
  }
  RegText desktop;
  desktop.Key("HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO\\PocketPC")
      .String("PathSync", "c:\\ZAMO");
  desktop.Key("HKEY_CURRENT_USER\\Software\\Brenok\\ZAMO\\PocketPC")
      .String("InstallID", "")
      .String("InstallPath", "c:\\Install");
  SetDesktopRegistry(AddProfile(desktop, 0x42, "Field").Sections());
  if (UnderWine()) AttachWineDriveC(world.desktop_root());
  fs::create_directories(fs::path(world.desktop_root()) / "c/ZAMO");
  SetDeviceState(3);
  world.AddDeviceFile("\\Program Files\\ZAMO\\import.exe", "import program");
}

void SessionWorld::SetDesktopRegistry(const std::string& body) {
  world.SetDesktopReg(body);
}

void SessionWorld::PutDesktopFile(const std::string& relative, const std::string& bytes) {
  world.dir.Write("desktop/" + relative, bytes);
}

std::string SessionWorld::DesktopFile(const std::string& relative) const {
  const std::string bytes = world.dir.Read("desktop/" + relative);
  return UnderWine() && relative.ends_with("zamopocket.log")
             ? FixBannerTimes(bytes, "2026/12/08 09:30:05")
             : bytes;
}

bool SessionWorld::DesktopHas(const std::string& relative) const {
  return world.dir.Exists("desktop/" + relative);
}

std::string SessionWorld::DesktopListing(const std::string& relative) const {
  return Names(fs::path(world.desktop_root()) / relative);
}

std::string SessionWorld::DeviceListing(const std::string& folder) const {
  return Names(world.dir.path() / world.FilesRelative(folder));
}

std::string SessionWorld::DeviceState() const {
  const std::string reg = world.DeviceReg();
  const auto at = reg.find("\"DBState\"=");
  return at == std::string::npos ? "" : reg.substr(at + 10, reg.find('\n', at) - at - 10);
}

void SessionWorld::SetDeviceState(std::uint32_t state) {
  world.SetDeviceReg(DeviceWorld::IdentReg(0x42) +
                     RegText(regfile::Strings::Wide)
                         .Key("HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO")
                         .Dword("DBState", state)
                         .String("RunImport", "\\Program Files\\ZAMO\\import.exe")
                         .Sections());
}

RunResult SessionWorld::Run() {
  if (UnderWine()) {
    return RunUnderWine(ZP_WINDOWS_PROGRAM, world.desktop_root(), device_folder, {}, !headless,
                        !alongside, &handheld_exit, {}, {}, argument, environment);
  }
  if (OverLink()) {
    return RunOverLink(ZP_PROGRAM, world.desktop_root(), device_folder, {},
                       alongside ? nullptr : &handheld_exit);
  }
  return RunProgram(ZP_PROGRAM, {{"ZAMOPOCKET_DESKTOP", world.desktop_root()},
                                 {"ZAMOPOCKET_DEVICE", device_folder},
                                 {"ZAMOPOCKET_CLOCK", "2026-12-08 09:30:05"}});
}

RunResult SessionWorld::RunAnswering(const std::string& answer) {
  // Under Wine the question is a message box, answered with a key press.
  if (UnderWine()) {
    return RunUnderWine(
        ZP_WINDOWS_PROGRAM, world.desktop_root(), device_folder,
        [&] { return AnswerMessageBox("Installation", answer.at(0)); }, true, true, &handheld_exit);
  }
  if (OverLink()) {
    return RunOverLink(ZP_PROGRAM, world.desktop_root(), device_folder, answer, &handheld_exit);
  }
  return RunProgramOnTerminal(ZP_PROGRAM,
                              {{"ZAMOPOCKET_DESKTOP", world.desktop_root()},
                               {"ZAMOPOCKET_DEVICE", device_folder},
                               {"ZAMOPOCKET_CLOCK", "2026-12-08 09:30:05"}},
                              answer);
}

}  // namespace zp::test
