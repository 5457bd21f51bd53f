// The session lock of the POSIX stand-in: flock on "session.lock" in the desktop root.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/desktop_root.h"
#include "platform/posix/posix_paths.h"

namespace zp {

struct SessionLock::Impl {
  int fd = -1;
  ~Impl() {
    if (fd >= 0) ::close(fd);  // closing the file lets go of the lock
  }
};

SessionLock::SessionLock() noexcept = default;
SessionLock::SessionLock(std::unique_ptr<Impl> impl) noexcept : impl_(std::move(impl)) {}
SessionLock::SessionLock(SessionLock&&) noexcept = default;
SessionLock& SessionLock::operator=(SessionLock&&) noexcept = default;
SessionLock::~SessionLock() = default;

SessionLock TakeSessionLock() {
  auto impl = std::make_unique<SessionLock::Impl>();
  const std::string file = DesktopRoot() + "/session.lock";
  impl->fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (impl->fd < 0) {
    SetLastErrorCode(posix::ErrorFromErrno(errno, kErrorAccessDenied));
    return {};
  }
  while (::flock(impl->fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    SetLastErrorCode(errno == EWOULDBLOCK ? kErrorAlreadyExists
                                          : posix::ErrorFromErrno(errno, kErrorAccessDenied));
    return {};
  }
  return SessionLock(std::move(impl));
}

}  // namespace zp
