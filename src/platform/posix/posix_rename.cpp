// Renaming without replacing on the POSIX stand-in: renameat2 with RENAME_NOREPLACE.
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/posix_faults.h"
#include "platform/posix/posix_paths.h"
#include "platform/posix/posix_power_cut.h"

namespace zp {
namespace {

// Where renameat2 cannot refuse to replace (a file system without it), a
// hard link does: it fails when the name exists.
int RenameNoReplace(const char* from, const char* to) {
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  if (::link(from, to) != 0) return -1;
  return ::unlink(from);
}

}  // namespace

bool RenameFile(const std::string& from, const std::string& to, bool durable) {
  if (posix::DesktopFault("MoveFileEx", kErrorAccessDenied)) return false;
  const auto source = posix::MapPath(from);
  const auto target = posix::MapPath(to);
  if (!source || !target) return false;
  if (source->trailing_separator || target->trailing_separator || target->drive_root) {
    SetLastErrorCode(kErrorInvalidName);
    return false;
  }
  posix::NoteFolderChange(source->parent);
  posix::NoteFolderChange(target->parent);
  if (RenameNoReplace(source->path.c_str(), target->path.c_str()) != 0) {
    SetLastErrorCode(errno == EEXIST ? kErrorAlreadyExists
                                     : posix::ErrorFromErrno(errno, *source, kErrorAccessDenied));
    return false;
  }
  return !durable || posix::FlushDesktopFolder(target->parent);
}

}  // namespace zp
