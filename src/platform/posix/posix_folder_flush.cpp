// Folder flushes of the POSIX stand-in: fsync on the folder, as FlushFileBuffers on a folder
// handle.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/posix_faults.h"
#include "platform/posix/posix_paths.h"
#include "platform/posix/posix_power_cut.h"

namespace zp {
namespace posix {

bool FlushDesktopFolder(const std::string& folder) {
  if (DesktopFault("FlushFileBuffers", kErrorWriteFault)) return false;
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) {
    SetLastErrorCode(errno == ENOENT || errno == ENOTDIR
                         ? kErrorPathNotFound
                         : ErrorFromErrno(errno, kErrorAccessDenied));
    return false;
  }
  // EINVAL: a file system with nothing to flush for a folder.
  const bool ok = ::fsync(dir) == 0 || errno == EINVAL;
  const int err = errno;
  ::close(dir);
  if (!ok) {
    SetLastErrorCode(ErrorFromErrno(err, kErrorWriteFault));
    return false;
  }
  NoteFolderFlushed(folder);
  return true;
}

}  // namespace posix

bool FlushFolder(const std::string& path) {
  const auto mapped = posix::MapPath(path);
  if (!mapped) return false;
  return posix::FlushDesktopFolder(mapped->path);
}

}  // namespace zp
