// Durable replacement of a file's contents on Windows: a flushed temporary file moved over it.
#include "platform/win32/windows_api.h"

#include <algorithm>

#include "platform/platform.h"

namespace zp {
namespace {

// WriteFile takes a DWORD count: larger contents go in several calls.
bool WriteAll(HANDLE file, std::string_view contents) {
  constexpr std::size_t kChunk = 1u << 30;
  while (!contents.empty()) {
    const auto size = static_cast<DWORD>(std::min(contents.size(), kChunk));
    DWORD written = 0;
    if (!::WriteFile(file, contents.data(), size, &written, nullptr)) return false;
    if (written == 0) {
      ::SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    contents.remove_prefix(written);
  }
  return true;
}

}  // namespace

bool ReplaceFileDurably(const std::string& native_path, std::string_view contents) {
  // Beside the target, so that the move stays on its volume.
  const std::string temporary = native_path + ".new";
  const HANDLE file = ::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = WriteAll(file, contents) && ::FlushFileBuffers(file);
  DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
  if (!::CloseHandle(file) && ok) {
    ok = false;
    error = ::GetLastError();
  }
  if (ok) {
    if (::MoveFileExA(temporary.c_str(), native_path.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    error = ::GetLastError();
  }
  ::DeleteFileA(temporary.c_str());
  ::SetLastError(error);  // the failing call's, not the clean-up's
  return false;
}

}  // namespace zp
