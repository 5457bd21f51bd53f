// The session driver: the fixed order of one sync session.
#include "session/session.h"

#include <exception>
#include <string>
#include <vector>

#include "device/device_identity.h"
#include "device/path_walk.h"
#include "device/remote_program.h"
#include "install/installer.h"
#include "platform/name_rules.h"
#include "platform/platform.h"
#include "report/log.h"
#include "report/progress.h"
#include "session/folder_name.h"
#include "session/sync_root.h"
#include "transfer/array_collection.h"
#include "transfer/delivery.h"

namespace zp {
namespace {

// The session scope's cleanup: runs once on every way out after the
// progress window was made, an exception included. It closes the progress
// window and the connection when it was opened (`connection` zero or
// positive); the log is stopped after it.
class SessionScope {
 public:
  explicit SessionScope(RemoteDevice& device) : device_(device) {}
  SessionScope(const SessionScope&) = delete;
  SessionScope& operator=(const SessionScope&) = delete;
  ~SessionScope() {
    DestroyProgress();
    if (connection >= 0) device_.CeRapiUninit();
  }

  std::int32_t connection = -1;

 private:
  RemoteDevice& device_;
};

// Creates FromPocket or ToPocket; false (logged) when it cannot be made.
// `created` gains each folder made on the way.
bool MakeDeviceFolder(const std::string& folder, std::vector<std::string>& created) {
  std::string path = folder;
  if (path.size() + 1 > kMaxPath) {
    LogText("Path too long: %s", path.c_str());
    return false;
  }
  if (CreateLocalPath(path, &created)) return true;
  LogText("Could not create directory %s", path.c_str());
  return false;
}

// Steps from the connection on; the scope closes what is open.
int RunConnected(RemoteDevice& device, SessionScope& scope, const std::string& root,
                 const std::string& name, std::uint32_t device_id) {
  CreateProgress(nullptr, "", 0);
  LogStatus("Connecting to PocketPC...");
  scope.connection = device.CeRapiInit();
  if (scope.connection < 0) {
    LogStatus("Failed to connect");
    return kExitNotConnected;
  }
  LogStatus("Successfully connected to %s", name.c_str());

  if (!CheckInstall(device, device_id, AskYesNo, CanAskQuestions())) {
    LogText("Cannot install application");
    return kExitNotConnected;
  }
  if (GetRegState(device) != kSyncStateRequested) {
    LogText("No need to synchronize");
    return kExitDone;
  }
  std::u16string import_program;
  if (!GetRunImport(device, import_program)) {
    LogText("Cannot find registry value RunImport");
    return kExitNoImportProgram;
  }

  const std::string from_pocket = root + name + "\\FromPocket\\";
  const std::string to_pocket = root + name + "\\ToPocket\\";
  std::vector<std::string> created;
  if (!MakeDeviceFolder(from_pocket, created) || !MakeDeviceFolder(to_pocket, created)) {
    return kExitNoFolder;
  }
  // A folder made here must keep its name before the handheld lets go of
  // anything moved into it.
  if (std::string failed; !FlushCreatedFolders(created, failed)) {
    LogError(LastErrorCode(), "Cannot flush %s", failed.c_str());
    LogText("Finished unsuccessfully\r\n");
    return kExitDone;
  }

  // The array pass ends with every array it moved lasting under its final
  // name: the state written below tells the handheld that they are in.
  SentFiles sent;
  if (!CopyArrays(device, kRemoteSyncFolder, from_pocket) ||
      !CopyFilesToPocket(device, to_pocket, kRemoteSyncFolder, sent)) {
    LogText("Finished unsuccessfully\r\n");
    return kExitDone;
  }

  // The handshake: the handheld takes the delivery only once it reads 4. A
  // state that could not be written is a failed session, which the next
  // docking completes (the state is still 3, ToPocket still full).
  if (!SetRegState(device, kSyncStateDelivered)) {
    LogText("Cannot write registry value DBState");
    LogText("Finished unsuccessfully\r\n");
    return kExitDone;
  }
  if (!StartRemoteProgram(device, import_program, u"",
                          "Could not run import program " + Narrow(import_program))) {
    return kExitDone;
  }
  DeleteSentFiles(to_pocket, sent);
  LogText("Finished successfully\r\n");
  return kExitDone;
}

}  // namespace

int RunSession(RemoteDevice& device) {
  std::string root;
  if (!GetPathSync(root)) return kExitNoSettings;

  // Sessions of several handhelds run side by side, each on its own device
  // folder; two sessions of one device folder never do: the second would
  // take from the handheld what the first is moving, and delete what it
  // delivers. The one refused writes nothing, so the log holds whole
  // sessions: the session running serves the handheld, and one docked later
  // starts a session of its own.
  // Nor do two sessions on one link: the second would find the first's
  // handheld busy. It writes nothing either.
  DesktopLock link_lock;
  if (const std::string link = device.LinkName(); !link.empty()) {
    link_lock = TakeDesktopLock("link." + FoldedKey(link), 0);
    if (!link_lock) return kExitNotConnected;
  }
  DesktopLock device_lock;  // declared first: the log stops before it is given up
  StartLogging(root);
  const LoggingScope logging;

  std::string name;
  std::uint32_t device_id = 0;
  if (!GetDeviceInfo(device, name, device_id)) {
    LogText("Unknown device");
    return kExitNotConnected;
  }
  if (!IsUsableFolderName(name)) {
    LogText("Device name cannot be used as a folder name: %s", name.c_str());
    LogText("Unknown device");
    return kExitNotConnected;
  }
  device_lock = TakeDesktopLock("session." + FoldedKey(name), 0);
  if (!device_lock) {
    DiscardLog();
    return kExitNotConnected;
  }
  LogForDevice(name);

  SessionScope scope(device);
  try {
    return RunConnected(device, scope, root, name, device_id);
  } catch (const std::exception& e) {
    LogText("Session stopped by an unexpected error: %s", e.what());
    return kExitNotConnected;
  }
}

}  // namespace zp
