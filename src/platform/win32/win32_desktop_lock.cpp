// The locks between sessions on Windows: named mutexes of the user's logon
// session.
#include "platform/win32/windows_api.h"

#include "platform/platform.h"

namespace zp {

struct DesktopLock::Impl {
  HANDLE mutex = nullptr;
  ~Impl() {
    if (!mutex) return;
    ReleaseMutex(mutex);
    CloseHandle(mutex);
  }
};

DesktopLock::DesktopLock() noexcept = default;
DesktopLock::DesktopLock(std::unique_ptr<Impl> impl) noexcept : impl_(std::move(impl)) {}
DesktopLock::DesktopLock(DesktopLock&&) noexcept = default;
DesktopLock& DesktopLock::operator=(DesktopLock&&) noexcept = default;
DesktopLock::~DesktopLock() = default;

DesktopLock TakeDesktopLock(const std::string& name, std::uint32_t wait_ms) {
  // "Local\": the sessions ActiveSync starts run in the docking user's logon session.
  const std::string mutex_name = "Local\\zamopocket." + name;
  const HANDLE mutex = CreateMutexA(nullptr, FALSE, mutex_name.c_str());
  if (!mutex) return {};
  // An abandoned mutex is one whose session died: it is this session's now.
  const DWORD waited = WaitForSingleObject(mutex, wait_ms);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    CloseHandle(mutex);
    SetLastError(ERROR_ALREADY_EXISTS);
    return {};
  }
  auto impl = std::make_unique<DesktopLock::Impl>();
  impl->mutex = mutex;
  return DesktopLock(std::move(impl));
}

}  // namespace zp
