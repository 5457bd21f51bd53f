// The session lock on Windows: a named mutex of the user's logon session.
#include "platform/win32/windows_api.h"

#include "platform/platform.h"

namespace zp {

struct SessionLock::Impl {
  HANDLE mutex = nullptr;
  ~Impl() {
    if (!mutex) return;
    ReleaseMutex(mutex);
    CloseHandle(mutex);
  }
};

SessionLock::SessionLock() noexcept = default;
SessionLock::SessionLock(std::unique_ptr<Impl> impl) noexcept : impl_(std::move(impl)) {}
SessionLock::SessionLock(SessionLock&&) noexcept = default;
SessionLock& SessionLock::operator=(SessionLock&&) noexcept = default;
SessionLock::~SessionLock() = default;

SessionLock TakeSessionLock() {
  // "Local\": the sessions ActiveSync starts run in the docking user's logon session.
  const HANDLE mutex = CreateMutexA(nullptr, FALSE, "Local\\zamopocket.session");
  if (!mutex) return {};
  // An abandoned mutex is one whose session died: it is this session's now.
  const DWORD waited = WaitForSingleObject(mutex, 0);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    CloseHandle(mutex);
    SetLastError(ERROR_ALREADY_EXISTS);
    return {};
  }
  auto impl = std::make_unique<SessionLock::Impl>();
  impl->mutex = mutex;
  return SessionLock(std::move(impl));
}

}  // namespace zp
