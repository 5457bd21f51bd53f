// Drive mapping of the POSIX desktop: Windows paths to folders below the root.
#include "platform/posix/posix_paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "platform/name_rules.h"
#include "platform/platform.h"
#include "platform/posix/desktop_root.h"
#include "platform/posix/posix_name_index.h"

namespace zp::posix {
namespace {

struct DirCloser {
  void operator()(DIR* d) const noexcept { ::closedir(d); }
};

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The name of `folder`'s entry for `name`: the exact one when it exists,
// else the first case-insensitive match in byte order, else `name` itself.
// `exact_missing`: the caller saw that the exact name does not exist;
// `folder_stat`: a stat() of the folder it has just made.
std::string Resolve(const std::string& folder, std::string_view name, bool exact_missing = false,
                    const struct stat* folder_stat = nullptr) {
  if (!exact_missing) {
    std::string exact = folder + '/';
    exact += name;
    struct stat st {};
    if (::lstat(exact.c_str(), &st) == 0 || errno != ENOENT) return std::string(name);
  }
  // The folder is read only when it may hold the name in another case.
  if (!MayHoldFolded(folder, name, folder_stat)) return std::string(name);
  const std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
  if (!dir) return std::string(name);
  std::string best;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view candidate = entry->d_name;
    if (NarrowNames::Equal(candidate, name) && (best.empty() || candidate < best)) best = candidate;
  }
  return best.empty() ? std::string(name) : best;
}

}  // namespace

bool IsValidComponent(std::string_view name, bool wildcards) {
  if (name.empty() || name.find_first_not_of('.') == std::string_view::npos) return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
    switch (c) {
      case '/':
      case '<':
      case '>':
      case ':':
      case '"':
      case '|':
        return false;
      case '*':
      case '?':
        if (!wildcards) return false;
        break;
      default:
        break;
    }
  }
  return true;
}

std::optional<MappedPath> MapPath(std::string_view windows_path) {
  const bool has_drive = windows_path.size() >= 3 && windows_path[1] == ':' &&
                         windows_path[2] == '\\' &&
                         ((windows_path[0] >= 'a' && windows_path[0] <= 'z') ||
                          (windows_path[0] >= 'A' && windows_path[0] <= 'Z'));
  if (!has_drive) {
    SetLastErrorCode(kErrorPathNotFound);
    return std::nullopt;
  }
  const char drive[] = {static_cast<char>(windows_path[0] | 0x20), '\0'};
  std::vector<std::string_view> components{drive};
  MappedPath mapped;
  std::string_view rest = windows_path.substr(3);
  mapped.trailing_separator = !rest.empty() && rest.back() == '\\';
  while (!rest.empty()) {
    const std::size_t end = rest.find('\\');
    const std::string_view name = rest.substr(0, end);
    if (!name.empty()) {  // "a\\b" is "a\b", as on Windows
      if (!IsValidComponent(name, false)) {
        SetLastErrorCode(kErrorInvalidName);
        return std::nullopt;
      }
      components.push_back(name);
    }
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  mapped.drive_root = components.size() == 1;
  // Nearly every path exists as spelled, or all of it but its last name
  // does: one or two stat() calls settle those, whatever the folders hold.
  std::string exact = DesktopRoot();
  for (const std::string_view name : components) {
    exact += '/';
    exact += name;
  }
  const std::string parent = exact.substr(0, exact.size() - components.back().size() - 1);
  struct stat st {};
  if (::lstat(exact.c_str(), &st) == 0 || errno != ENOENT) {
    mapped.parent = parent;
    mapped.path = std::move(exact);
    return mapped;
  }
  if (!mapped.drive_root && ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    mapped.path = parent + '/' + Resolve(parent, components.back(), true, &st);
    mapped.parent = parent;
    return mapped;
  }
  // A folder spelled in another case: each name is looked up in turn.
  std::string path = DesktopRoot();
  for (const std::string_view name : components) {
    mapped.parent = path;
    const std::string resolved = Resolve(path, name);
    path += '/';
    path += resolved;
  }
  mapped.path = std::move(path);
  return mapped;
}

std::uint32_t ErrorFromErrno(int err, const MappedPath& path, std::uint32_t fallback) {
  if (err == ENOENT) {
    return !path.drive_root && IsDirectory(path.parent) ? kErrorFileNotFound : kErrorPathNotFound;
  }
  return ErrorFromErrno(err, fallback);
}

std::uint32_t ErrorFromErrno(int err, std::uint32_t fallback) {
  switch (err) {
    case 0:
      return fallback;
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
    case ELOOP:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
      return kErrorAccessDenied;
    case EEXIST:
      return kErrorFileExists;
    case ENOTEMPTY:
      return kErrorDirNotEmpty;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kErrorDiskFull;
    case ENAMETOOLONG:
      return kErrorFilenameExcedRange;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EBADF:
      return kErrorInvalidHandle;
    case EINVAL:
      return kErrorInvalidParameter;
    default:
      return fallback;
  }
}

bool SyncFolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path.substr(0, slash);
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return false;
  const bool ok = ::fsync(dir) == 0 || errno == EINVAL;
  ::close(dir);
  return ok;
}

}  // namespace zp::posix
