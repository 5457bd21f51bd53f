// Local time, the thread's last error and the system's error texts on Windows.
#include "platform/win32/windows_api.h"

#include "platform/platform.h"

namespace zp {

LocalTime LocalNow() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

std::uint32_t LastErrorCode() {
  return static_cast<std::uint32_t>(::GetLastError());
}

void SetLastErrorCode(std::uint32_t code) {
  ::SetLastError(code);
}

std::optional<std::string> SystemErrorText(std::uint32_t code) {
  constexpr DWORD kBuffer = 1024;  // terminator included
  char buffer[kBuffer];
  // Asking for a text leaves the caller's last error as it was, even when
  // the system has no text.
  const DWORD saved = ::GetLastError();
  const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, buffer, kBuffer, nullptr);
  ::SetLastError(saved);
  if (length == 0) return std::nullopt;
  return std::string(buffer, length);
}

}  // namespace zp
