// One sync session, from reading the sync root to the started import program.
#pragma once

#include <cstdint>

#include "device/remote_device.h"

namespace zp {

/// The exit codes of a session.
enum ExitCode : int {
  kExitDone = 0,            ///< finished, nothing to sync, or a pass failed
  kExitNotConnected = 1,    ///< unknown device, no connection, installer failed
  kExitNoSettings = 2,      ///< the desktop key cannot be opened
  kExitNoFolder = 3,        ///< FromPocket or ToPocket cannot be created
  kExitNoImportProgram = 4  ///< "RunImport" missing or empty
};

/// The remote sync folder on the device.
inline constexpr char16_t kRemoteSyncFolder[] = u"\\My Documents\\Personal\\ZAMO\\Sync\\";

/// Runs one session against the device and returns its exit code.
int RunSession(RemoteDevice& device);

}  // namespace zp
