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

}  // namespace zp
