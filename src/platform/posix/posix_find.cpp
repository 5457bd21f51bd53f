// Wildcard listings of the POSIX stand-in (FindFirstFile / FindNextFile).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "platform/name_rules.h"
#include "platform/platform.h"
#include "platform/posix/posix_faults.h"
#include "platform/posix/posix_paths.h"

namespace zp {
namespace {

struct DirCloser {
  void operator()(DIR* d) const noexcept { ::closedir(d); }
};

}  // namespace

std::vector<FindEntry> FindFiles(const std::string& pattern, FindDetail detail) {
  if (posix::DesktopFault("FindFirstFile", kErrorAccessDenied)) return {};
  const std::size_t slash = pattern.rfind('\\');
  if (slash == std::string::npos) {
    SetLastErrorCode(kErrorPathNotFound);
    return {};
  }
  std::string wildcard = pattern.substr(slash + 1);
  if (!posix::IsValidComponent(wildcard, true)) {
    SetLastErrorCode(wildcard.empty() ? kErrorFileNotFound : kErrorInvalidName);
    return {};
  }
  if (wildcard == "*.*") wildcard = "*";  // as on Windows, names without a dot too
  const auto folder = posix::MapPath(std::string_view(pattern).substr(0, slash + 1));
  if (!folder) return {};
  const std::unique_ptr<DIR, DirCloser> dir(::opendir(folder->path.c_str()));
  if (!dir) {
    SetLastErrorCode(errno == ENOENT || errno == ENOTDIR
                         ? kErrorPathNotFound
                         : posix::ErrorFromErrno(errno, kErrorAccessDenied));
    return {};
  }
  std::vector<FindEntry> entries;
  // Room for every entry at once, so that a large folder is never held twice
  // while the vector grows: each entry takes at least 12 bytes of its
  // folder's size on the usual file systems, and room never written to
  // costs no memory.
  struct stat folder_stat {};
  if (::fstat(::dirfd(dir.get()), &folder_stat) == 0 && folder_stat.st_size > 0) {
    entries.reserve(std::min<std::size_t>(static_cast<std::size_t>(folder_stat.st_size) / 12,
                                          std::size_t{1} << 22));
  }
  const bool names_only = detail == FindDetail::NamesOnly;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == ".." || !NarrowNames::Match(wildcard, name)) continue;
    FindEntry found;
    found.name = name;
    // A link, or a file system that does not tell the kind, needs the
    // status; so does the size.
    if (names_only && (entry->d_type == DT_REG || entry->d_type == DT_DIR)) {
      found.is_directory = entry->d_type == DT_DIR;
    } else {
      struct stat st {};
      if (::fstatat(::dirfd(dir.get()), entry->d_name, &st, 0) != 0) continue;  // a broken link
      found.is_directory = S_ISDIR(st.st_mode);
      if (!found.is_directory && !names_only) {
        found.size_low = static_cast<std::uint32_t>(static_cast<std::uint64_t>(st.st_size));
      }
    }
    entries.push_back(std::move(found));
  }
  if (!names_only) {
    std::sort(entries.begin(), entries.end(), [](const FindEntry& a, const FindEntry& b) {
      return NarrowNames::Less(a.name, b.name);
    });
  }
  // As FindFirstFile when nothing matches, FindNextFile at the end otherwise.
  SetLastErrorCode(entries.empty() ? kErrorFileNotFound : kErrorNoMoreFiles);
  return entries;
}

}  // namespace zp
