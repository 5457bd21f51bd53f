// Durable replacement of a file's contents on POSIX: temporary file, fsync, rename, fsync folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_paths.h"

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

}  // namespace

bool ReplaceFileDurably(const std::string& native_path, std::string_view contents) {
  const std::string temp = native_path + ".tmp." + std::to_string(::getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    SetLastErrorCode(posix::ErrorFromErrno(errno, kErrorAccessDenied));
    return false;
  }
  // The replacement keeps who may read the file: a registry holding a
  // password stays readable by its owner only.
  struct stat before {};
  bool ok = ::stat(native_path.c_str(), &before) != 0 || ::fchmod(fd, before.st_mode & 07777) == 0;
  ok = ok && WriteAll(fd, contents) && ::fsync(fd) == 0;
  int err = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && ::rename(temp.c_str(), native_path.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    SetLastErrorCode(posix::ErrorFromErrno(err, kErrorWriteFault));
    return false;
  }
  if (!posix::SyncFolderOf(native_path)) {
    SetLastErrorCode(kErrorWriteFault);
    return false;
  }
  return true;
}

}  // namespace zp
