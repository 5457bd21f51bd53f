// The device application installer.
#include "install/installer.h"

#include <string>

#include "device/file_copy.h"
#include "device/path_limits.h"
#include "device/path_walk.h"
#include "device/remote_program.h"
#include "install/pending_list.h"
#include "platform/platform.h"
#include "platform/settings_lock.h"
#include "report/log.h"
#include "report/progress.h"

namespace zp {
namespace {

constexpr const char* kSettingsKey = "Software\\Brenok\\ZAMO\\PocketPC";
constexpr std::size_t kInstallIdBuffer = 300;
const std::u16string kAppFolder = u"\\Program files\\ZAMO";

// Starts the setup program on the cab file and asks whether it worked.
bool RunSetup(RemoteDevice& device, const std::u16string& setup, const std::u16string& cab,
              void* owner, const InstallQuestion& ask, Answer& answer) {
  SetProgressText("Running installation...");
  if (!StartRemoteProgram(device, setup, cab, "Could not run installation file", "\r\n")) {
    return false;
  }
  answer = ask(owner, "Was installation successfull?", "Installation");
  return true;
}

// Takes the device's entry out of "InstallID" as the list stands now, under
// the settings lock: a session of another handheld may have changed the
// list since this one read it.
void RemoveInstalledEntry(std::uint32_t device_id) {
  const SettingsLock lock;
  const RegKey key =
      lock ? RegOpen(Hive::CurrentUser, kSettingsKey, RegAccess::ReadWrite) : RegKey();
  if (!key) {
    LogError(LastErrorCode(), "Cannot update registry value InstallID");
    return;
  }
  std::optional<std::string> list = RegQueryString(key, "InstallID", kInstallIdBuffer);
  if (!list) return;
  const std::optional<PendingEntry> entry = FindPendingEntry(*list, device_id);
  if (!entry) return;
  RemovePendingEntry(*list, *entry);
  RegSetString(key, "InstallID", *list);
}

}  // namespace

const char* ProcessorName(std::uint32_t processor_type) {
  switch (processor_type) {
    case 0x720:  // ARM720
    case 0xA11:  // StrongARM
      return "arm";
    case 0xFA0:  // MIPS R4000
      return "mips";
    case 0x2713:  // Hitachi SH3
      return "sh3";
    default:
      return nullptr;
  }
}

bool CheckInstall(RemoteDevice& device, std::uint32_t device_id, const InstallQuestion& ask,
                  bool can_ask) {
  CeSystemInfo info;
  device.CeGetSystemInfo(&info);
  const char* processor = ProcessorName(info.dwProcessorType);
  if (!processor) {
    LogText("Unsupported processor: %d", static_cast<int>(info.dwProcessorType));
    return false;
  }

  ProgressBarReset bar_reset;  // declared first: runs after the key is closed
  const RegKey key = RegOpen(Hive::CurrentUser, kSettingsKey, RegAccess::ReadWrite);
  if (!key) return false;
  std::optional<std::string> list = RegQueryString(key, "InstallID", kInstallIdBuffer);
  if (!list) return true;
  const std::optional<PendingEntry> entry = FindPendingEntry(*list, device_id);
  if (!entry) return true;
  if (const std::string why = device.WhyNoInstallation(); !why.empty()) {
    LogText("Installation pending for this handheld, not started: %s", why.c_str());
    return true;
  }

  std::optional<std::string> folder = RegQueryString(key, "InstallPath", kMaxPath);
  if (!folder) {
    LogText("Cannot read registry value InstallPath");
    return true;
  }
  if (folder->empty() || folder->back() != '\\') *folder += '\\';
  if (!MakeRemotePath(device, kAppFolder, RemotePathLog::Asked)) return true;

  const std::string cab = *folder + "zamo." + processor + ".cab";
  const std::string setup = *folder + "runinst" + processor + ".exe";
  const std::u16string device_cab = kAppFolder + u"\\zamo." + Widen(processor) + u".cab";
  const std::u16string device_setup = kAppFolder + u"\\runinst.exe";
  if (!PathFits(cab) || !PathFits(setup)) return false;

  const std::optional<FileInfo> cab_info = PathInfo(cab);
  if (!cab_info) {
    LogText("Cannot find source cab-file: %s", cab.c_str());
    return false;
  }
  const std::optional<FileInfo> setup_info = PathInfo(setup);
  if (!setup_info) {
    LogText("Cannot find RunInst file: %s", setup.c_str());
    return false;
  }
  const std::uint32_t total = cab_info->size_low + setup_info->size_low;
  if (!can_ask) {
    // An installation nobody can confirm would be started again at every
    // docking and never leave the list; the arrays are moved meanwhile.
    LogText(
        "Installation pending for this handheld, not started: nobody here can confirm it. "
        "It stays pending: run zamopocket in a terminal with the handheld docked to install it");
    return true;
  }

  CreateProgress(nullptr, "Installing Brenok ZAMO...", static_cast<std::int32_t>(total));
  void* owner = CurrentProgressHandle();

  LogText("Copying installation cab-file from '%s' to '%s'", cab.c_str(),
          Narrow(device_cab).c_str());
  if (!CopyFileToPocket(device, cab, device_cab, StepProgress)) {
    LogText("Error copying installation cab-file");
    return true;
  }
  LogText("Copying installation file from '%s' to '%s'", setup.c_str(),
          Narrow(device_setup).c_str());
  if (!CopyFileToPocket(device, setup, device_setup, StepProgress)) {
    LogText("Error copying installation file");
    return false;
  }

  Answer answer = Answer::Failed;
  if (!RunSetup(device, device_setup, device_cab, owner, ask, answer)) return false;
  if (answer == Answer::Failed) {
    // Nobody confirmed the installation: it stays pending.
    LogText("Could not ask whether the installation succeeded");
  }
  if (answer != Answer::Yes) {
    LogText("Application was not successfully installed\r\n");
    return false;
  }
  device.CeDeleteFile(device_setup);
  LogText("Application successfully installed\r\n");
  RemoveInstalledEntry(device_id);
  return true;
}

}  // namespace zp
