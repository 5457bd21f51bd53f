// Desktop files and folders on Windows: CreateFileA, ReadFile, WriteFile, attributes.
#include "platform/win32/windows_api.h"

#include "platform/platform.h"

namespace zp {

struct File::Impl {
  HANDLE handle = INVALID_HANDLE_VALUE;
};

File::File() noexcept = default;
File::File(std::unique_ptr<Impl> impl) noexcept : impl_(std::move(impl)) {}
File::File(File&&) noexcept = default;
File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    impl_ = std::move(other.impl_);
  }
  return *this;
}
File::~File() {
  Close();
}

bool File::Read(void* buffer, std::uint32_t size, std::uint32_t& got) {
  got = 0;
  if (!impl_) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  DWORD read = 0;
  const bool ok = ::ReadFile(impl_->handle, buffer, size, &read, nullptr) != FALSE;
  got = static_cast<std::uint32_t>(read);
  return ok;
}

bool File::Write(const void* buffer, std::uint32_t size, std::uint32_t& put) {
  put = 0;
  if (!impl_) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  DWORD written = 0;
  const bool ok = ::WriteFile(impl_->handle, buffer, size, &written, nullptr) != FALSE;
  put = static_cast<std::uint32_t>(written);
  return ok;
}

bool File::Flush() {
  if (!impl_) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return ::FlushFileBuffers(impl_->handle) != FALSE;
}

bool File::Close() {
  if (!impl_) return true;
  const HANDLE handle = impl_->handle;
  impl_.reset();
  return ::CloseHandle(handle) != FALSE;
}

File OpenDesktopFile(const std::string& path, FileMode mode) {
  DWORD access = GENERIC_WRITE;
  DWORD disposition = CREATE_ALWAYS;
  switch (mode) {
    case FileMode::ReadExisting:
      access = GENERIC_READ;
      disposition = OPEN_EXISTING;
      break;
    case FileMode::CreateAlways:
      break;
    case FileMode::CreateNew:
      disposition = CREATE_NEW;
      break;
  }
  const HANDLE handle = ::CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {};
  auto impl = std::make_unique<File::Impl>();
  impl->handle = handle;
  return File(std::move(impl));
}

std::uint32_t PathAttributes(const std::string& path) {
  return static_cast<std::uint32_t>(::GetFileAttributesA(path.c_str()));
}

std::optional<FileInfo> PathInfo(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return FileInfo{static_cast<std::uint32_t>(data.dwFileAttributes),
                  static_cast<std::uint32_t>(data.nFileSizeLow)};
}

bool MakeFolder(const std::string& path) {
  return ::CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

bool RemoveFile(const std::string& path) {
  return ::DeleteFileA(path.c_str()) != FALSE;
}

namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const noexcept { ::CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

}  // namespace

bool FlushFolder(const std::string& path) {
  // "c:\dir\" names the folder as "c:\dir" does; "c:\" stays the drive's root.
  std::string folder = path;
  if (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  // A folder opens only with FILE_FLAG_BACKUP_SEMANTICS; FlushFileBuffers
  // needs GENERIC_WRITE. NTFS then commits its log up to the folder's
  // changes; FAT writes the folder's entries and the allocation table.
  const HANDLE opened = ::CreateFileA(folder.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return false;
  const Handle handle(opened);
  if (::FlushFileBuffers(handle.get())) return true;
  // A file system with no flush for a folder says so: the program can do
  // no more there, and goes on as with a flush that was made.
  return ::GetLastError() == ERROR_INVALID_FUNCTION;
}

}  // namespace zp
