// Durable replacement of a file's contents on POSIX: temporary file, fsync, rename, fsync folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_faults.h"
#include "platform/posix/posix_paths.h"
#include "platform/posix/posix_power_cut.h"

namespace zp {
namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// `desktop`: each step is a desktop operation, which faults and power cuts
// reach (the desktop registry); else a plain host file (the simulated
// handheld's).
bool Replace(const std::string& native_path, std::string_view contents, bool desktop) {
  const auto fault = [desktop](std::string_view operation, std::uint32_t usual) {
    return desktop && posix::DesktopFault(operation, usual);
  };
  const std::size_t slash = native_path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : native_path.substr(0, slash + 1);
  const std::string temp = native_path + ".tmp." + std::to_string(::getpid());
  if (fault("CreateFile", kErrorAccessDenied)) return false;
  if (desktop) posix::NoteFolderChange(folder);
  // Made private and new (a name left by a killed process of this pid goes
  // first): nobody may read the settings while they are written, and the
  // file is widened to the old one's mode only when that is known. A new
  // file stays private: the registry may hold the desktop password.
  ::unlink(temp.c_str());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    SetLastErrorCode(posix::ErrorFromErrno(errno, kErrorAccessDenied));
    return false;
  }
  struct stat before {};
  if (::stat(native_path.c_str(), &before) == 0 && ::fchmod(fd, before.st_mode & 07777) != 0) {
    SetLastErrorCode(posix::ErrorFromErrno(errno, kErrorAccessDenied));
    ::close(fd);
    ::unlink(temp.c_str());
    return false;
  }
  if (desktop) posix::NoteFileOpenedForWriting(fd);
  std::uint32_t error = 0;
  bool ok = !fault("WriteFile", kErrorWriteFault);
  if (ok && !WriteAll(fd, contents)) error = posix::ErrorFromErrno(errno, kErrorWriteFault);
  ok = ok && error == 0 && !fault("FlushFileBuffers", kErrorWriteFault);
  if (ok && ::fsync(fd) != 0) error = posix::ErrorFromErrno(errno, kErrorWriteFault);
  ok = ok && error == 0;
  if (ok && desktop) posix::NoteFileFlushed(fd);
  const bool close_fails = fault("CloseHandle", kErrorWriteFault);
  if (::close(fd) != 0 && ok && error == 0) error = posix::ErrorFromErrno(errno, kErrorWriteFault);
  ok = ok && !close_fails && error == 0 && !fault("MoveFileEx", kErrorAccessDenied);
  if (ok) {
    if (desktop) posix::NoteFileAtRisk(native_path, true);
    if (::rename(temp.c_str(), native_path.c_str()) != 0) {
      ok = false;
      error = posix::ErrorFromErrno(errno, kErrorWriteFault);
    }
  }
  if (!ok) {
    if (desktop) posix::NoteFileAtRisk(temp, true);
    ::unlink(temp.c_str());
    if (error != 0) SetLastErrorCode(error);  // else the fault's own
    return false;
  }
  if (desktop) return posix::FlushDesktopFolder(folder);
  if (!posix::SyncFolderOf(native_path)) {
    SetLastErrorCode(kErrorWriteFault);
    return false;
  }
  return true;
}

}  // namespace

bool ReplaceFileDurably(const std::string& native_path, std::string_view contents) {
  return Replace(native_path, contents, false);
}

namespace posix {

bool ReplaceDesktopFile(const std::string& native_path, std::string_view contents) {
  return Replace(native_path, contents, true);
}

}  // namespace posix
}  // namespace zp
