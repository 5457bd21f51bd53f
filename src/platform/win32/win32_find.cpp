// Wildcard listings on Windows: FindFirstFileA / FindNextFileA.
#include "platform/win32/windows_api.h"

#include <cstring>

#include "platform/platform.h"

namespace zp {
namespace {

class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) noexcept : handle_(handle) {}
  ~FindHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) ::FindClose(handle_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;

  HANDLE get() const noexcept { return handle_; }

 private:
  HANDLE handle_;
};

bool IsDotEntry(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// Lists into `entries`; the error code the listing ended with.
DWORD List(const std::string& pattern, std::vector<FindEntry>& entries) {
  WIN32_FIND_DATAA data{};
  const FindHandle find(::FindFirstFileA(pattern.c_str(), &data));
  if (find.get() == INVALID_HANDLE_VALUE) return ::GetLastError();
  do {
    if (IsDotEntry(data.cFileName)) continue;
    FindEntry entry;
    entry.name = data.cFileName;
    entry.size_low = static_cast<std::uint32_t>(data.nFileSizeLow);
    entry.is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entries.push_back(std::move(entry));
  } while (::FindNextFileA(find.get(), &data));
  return ::GetLastError();
}

}  // namespace

// Windows tells every detail with the name: both kinds of listing are one.
std::vector<FindEntry> FindFiles(const std::string& pattern, FindDetail /*detail*/) {
  std::vector<FindEntry> entries;
  DWORD error = List(pattern, entries);  // the find handle is closed by now
  // Only "." and ".." matched: as when nothing does.
  if (error == ERROR_NO_MORE_FILES && entries.empty()) error = ERROR_FILE_NOT_FOUND;
  ::SetLastError(error);
  return entries;
}

}  // namespace zp
