// Creation of every missing folder of a desktop or device path, component by
// component from the root down.
#pragma once

#include <string>
#include <vector>

#include "device/remote_device.h"

namespace zp {

/// True when every folder of the path exists or was created. When a
/// component exists as a file the path is left cut after that component;
/// after a failed creation it is left whole. A drive ("c:") is skipped.
/// Each folder created is added to `created` ("c:\a\b", no final '\').
bool CreateLocalPath(std::string& path, std::vector<std::string>* created = nullptr);

/// Makes the names of `created` (folders CreateLocalPath made) last: the
/// folder holding each is flushed, once however many it holds. False at the
/// first that cannot be flushed, which `failed` then names (last error set).
bool FlushCreatedFolders(const std::vector<std::string>& created, std::string& failed);

/// The same on the device.
bool CreateRemotePath(RemoteDevice& device, std::u16string& path);

/// Which path the line "Cannot create remote path: <path>" names, and where
/// it goes, when MakeRemotePath fails.
enum class RemotePathLog {
  Asked,            ///< the path asked for; the log only
  ReachedOnStatus,  ///< the path as CreateRemotePath left it; the log and the status line
};

/// CreateRemotePath on a copy of `path`, logged as `log` says when it fails.
bool MakeRemotePath(RemoteDevice& device, const std::u16string& path, RemotePathLog log);

}  // namespace zp
