// The locks between sessions of the POSIX stand-in: flock on "<name>.lock"
// in the desktop root.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/platform.h"
#include "platform/posix/desktop_root.h"
#include "platform/posix/posix_paths.h"

namespace zp {

struct DesktopLock::Impl {
  int fd = -1;
  ~Impl() {
    if (fd >= 0) ::close(fd);  // closing the file lets go of the lock
  }
};

DesktopLock::DesktopLock() noexcept = default;
DesktopLock::DesktopLock(std::unique_ptr<Impl> impl) noexcept : impl_(std::move(impl)) {}
DesktopLock::DesktopLock(DesktopLock&&) noexcept = default;
DesktopLock& DesktopLock::operator=(DesktopLock&&) noexcept = default;
DesktopLock::~DesktopLock() = default;

DesktopLock TakeDesktopLock(const std::string& name, std::uint32_t wait_ms) {
  auto impl = std::make_unique<DesktopLock::Impl>();
  const std::string file = DesktopRoot() + "/" + name + ".lock";
  impl->fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (impl->fd < 0) {
    SetLastErrorCode(posix::ErrorFromErrno(errno, kErrorAccessDenied));
    return {};
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point until = Clock::now() + std::chrono::milliseconds(wait_ms);
  while (::flock(impl->fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {
      SetLastErrorCode(posix::ErrorFromErrno(errno, kErrorAccessDenied));
      return {};
    }
    if (Clock::now() >= until) {
      SetLastErrorCode(kErrorAlreadyExists);
      return {};
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return DesktopLock(std::move(impl));
}

}  // namespace zp
