// Desktop files and folders of the POSIX stand-in: open, read, write, attributes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_faults.h"
#include "platform/posix/posix_paths.h"
#include "platform/posix/posix_power_cut.h"

namespace zp {

struct File::Impl {
  int fd = -1;
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
  if (impl_ && posix::DesktopFault("ReadFile", kErrorReadFault)) return false;
  if (!impl_) {
    SetLastErrorCode(kErrorInvalidHandle);
    return false;
  }
  // As ReadFile on a disk file: the whole size unless the file ends first.
  auto* out = static_cast<char*>(buffer);
  while (got < size) {
    const ssize_t n = ::read(impl_->fd, out + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetLastErrorCode(posix::ErrorFromErrno(errno, kErrorReadFault));
      return false;
    }
    if (n == 0) break;
    got += static_cast<std::uint32_t>(n);
  }
  return true;
}

bool File::Write(const void* buffer, std::uint32_t size, std::uint32_t& put) {
  put = 0;
  if (impl_ && posix::DesktopFault("WriteFile", kErrorWriteFault)) return false;
  if (!impl_) {
    SetLastErrorCode(kErrorInvalidHandle);
    return false;
  }
  const auto* in = static_cast<const char*>(buffer);
  while (put < size) {
    const ssize_t n = ::write(impl_->fd, in + put, size - put);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetLastErrorCode(posix::ErrorFromErrno(errno, kErrorWriteFault));
      return false;  // `put` tells what did reach the file
    }
    if (n == 0) break;
    put += static_cast<std::uint32_t>(n);
  }
  return true;
}

bool File::Flush() {
  if (impl_ && posix::DesktopFault("FlushFileBuffers", kErrorWriteFault)) return false;
  if (!impl_) {
    SetLastErrorCode(kErrorInvalidHandle);
    return false;
  }
  // EINVAL: a file that cannot be synchronised (a pipe, a device) has nothing to flush.
  if (::fsync(impl_->fd) != 0 && errno != EINVAL) {
    SetLastErrorCode(posix::ErrorFromErrno(errno, kErrorWriteFault));
    return false;
  }
  posix::NoteFileFlushed(impl_->fd);
  // As FlushFileBuffers: the contents, not the folder's entry. A name that
  // must last is given by a durable rename (RenameFile), which flushes the
  // folder once, after the contents, or by FlushFolder.
  return true;
}

bool File::Close() {
  if (!impl_) return true;
  const int fd = impl_->fd;
  impl_.reset();
  // A failed close still lets go of the descriptor, as CloseHandle does.
  if (posix::DesktopFault("CloseHandle", kErrorWriteFault)) {
    ::close(fd);
    return false;
  }
  // After EINTR the descriptor is closed all the same on Linux.
  if (::close(fd) != 0 && errno != EINTR) {
    SetLastErrorCode(posix::ErrorFromErrno(errno, kErrorWriteFault));
    return false;
  }
  return true;
}

namespace {

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// stat() for a Windows path: nothing, last error set, when it does not
// exist; a trailing '\' only names a folder.
std::optional<struct stat> StatPath(const std::string& path) {
  const auto mapped = posix::MapPath(path);
  if (!mapped) return std::nullopt;
  struct stat st {};
  if (::stat(mapped->path.c_str(), &st) != 0) {
    SetLastErrorCode(posix::ErrorFromErrno(errno, *mapped, kErrorAccessDenied));
    return std::nullopt;
  }
  if (mapped->trailing_separator && !S_ISDIR(st.st_mode)) {
    SetLastErrorCode(kErrorInvalidName);
    return std::nullopt;
  }
  return st;
}

std::uint32_t Attributes(const struct stat& st) {
  constexpr std::uint32_t kAttributeNormal = 0x80;
  return S_ISDIR(st.st_mode) ? kAttributeDirectory : kAttributeNormal;
}

}  // namespace

File OpenDesktopFile(const std::string& path, FileMode mode) {
  if (posix::DesktopFault("CreateFile", kErrorAccessDenied)) return {};
  const auto mapped = posix::MapPath(path);
  if (!mapped) return {};
  if (mapped->trailing_separator || mapped->drive_root) {
    SetLastErrorCode(IsFolder(mapped->path) ? kErrorAccessDenied : kErrorInvalidName);
    return {};
  }
  int flags = O_CLOEXEC;
  switch (mode) {
    case FileMode::ReadExisting:
      flags |= O_RDONLY;
      break;
    case FileMode::CreateAlways:
      flags |= O_WRONLY | O_CREAT | O_TRUNC;
      break;
    case FileMode::CreateNew:
      flags |= O_WRONLY | O_CREAT | O_EXCL;
      break;
  }
  const bool writes = mode != FileMode::ReadExisting;
  if (writes) {
    posix::NoteFolderChange(mapped->parent);
    posix::NoteFileAtRisk(mapped->path, false);
  }
  int fd = -1;
  do {
    fd = ::open(mapped->path.c_str(), flags, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    SetLastErrorCode(posix::ErrorFromErrno(errno, *mapped, kErrorAccessDenied));
    return {};
  }
  if (writes) posix::NoteFileOpenedForWriting(fd);
  auto impl = std::make_unique<File::Impl>();
  impl->fd = fd;
  File file(std::move(impl));
  struct stat st {};
  if (mode == FileMode::ReadExisting && ::fstat(fd, &st) == 0 &&
      S_ISDIR(st.st_mode)) {  // a folder opened for reading; writing one fails in open()
    file.Close();
    SetLastErrorCode(kErrorAccessDenied);
    return {};
  }
  return file;
}

std::uint32_t PathAttributes(const std::string& path) {
  const auto st = StatPath(path);
  return st ? Attributes(*st) : kInvalidAttributes;
}

std::optional<FileInfo> PathInfo(const std::string& path) {
  const auto st = StatPath(path);
  if (!st) return std::nullopt;
  const auto size = S_ISDIR(st->st_mode) ? 0 : static_cast<std::uint64_t>(st->st_size);
  return FileInfo{Attributes(*st), static_cast<std::uint32_t>(size & 0xFFFFFFFFu)};
}

bool MakeFolder(const std::string& path) {
  if (posix::DesktopFault("CreateDirectory", kErrorAccessDenied)) return false;
  const auto mapped = posix::MapPath(path);
  if (!mapped) return false;
  if (mapped->drive_root) {  // Windows refuses to create "c:\"
    SetLastErrorCode(IsFolder(mapped->path) ? kErrorAccessDenied : kErrorPathNotFound);
    return false;
  }
  posix::NoteFolderChange(mapped->parent);
  if (::mkdir(mapped->path.c_str(), 0755) != 0) {
    // The name being missing can only mean its folder is.
    SetLastErrorCode(errno == EEXIST   ? kErrorAlreadyExists
                     : errno == ENOENT ? kErrorPathNotFound
                                       : posix::ErrorFromErrno(errno, kErrorAccessDenied));
    return false;
  }
  posix::NoteFolderChange(mapped->path);  // new: nothing in it lasts until it is flushed
  return true;
}

bool RemoveFile(const std::string& path) {
  if (posix::DesktopFault("DeleteFile", kErrorAccessDenied)) return false;
  const auto mapped = posix::MapPath(path);
  if (!mapped) return false;
  struct stat st {};
  if (::lstat(mapped->path.c_str(), &st) != 0) {
    SetLastErrorCode(posix::ErrorFromErrno(errno, *mapped, kErrorAccessDenied));
    return false;
  }
  if (S_ISDIR(st.st_mode) || mapped->drive_root) {
    SetLastErrorCode(kErrorAccessDenied);
    return false;
  }
  if (mapped->trailing_separator) {
    SetLastErrorCode(kErrorInvalidName);
    return false;
  }
  posix::NoteFolderChange(mapped->parent);
  posix::NoteFileAtRisk(mapped->path, true);
  if (::unlink(mapped->path.c_str()) != 0) {
    SetLastErrorCode(posix::ErrorFromErrno(errno, *mapped, kErrorAccessDenied));
    return false;
  }
  return true;
}

}  // namespace zp
