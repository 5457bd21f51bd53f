// Internals of the POSIX desktop: where Windows paths live below the desktop
// root, and how errno becomes a Windows error code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zp::posix {

/// A Windows path mapped below the desktop root (DesktopRoot()).
struct MappedPath {
  std::string path;                 ///< "<root>/c/ZAMO/Dev", never with a trailing '/'
  std::string parent;               ///< the folder `path` is in
  bool drive_root = false;          ///< "c:\" itself
  bool trailing_separator = false;  ///< the Windows path ended with '\'
};

/// Maps "c:\dir\name": each component is the existing name when there is
/// one, else the first case-insensitive match in the folder, else the name
/// as given. Nothing (last error set) for a path without a drive letter or
/// with a component Windows refuses, '/', "." and ".." included. A path that
/// exists as spelled costs one stat() call, a new name in an existing folder
/// two; no folder is read for a name it does not hold in any case.
std::optional<MappedPath> MapPath(std::string_view windows_path);

/// True when `name` is a component Windows would accept; `wildcards` allows
/// '*' and '?' (the last component of a listing).
bool IsValidComponent(std::string_view name, bool wildcards);

/// The Windows error code for errno `err` after a call on `path`: a missing
/// name is ERROR_FILE_NOT_FOUND when its folder exists, else
/// ERROR_PATH_NOT_FOUND. `fallback` is used for errors without a match.
std::uint32_t ErrorFromErrno(int err, const MappedPath& path, std::uint32_t fallback);

/// The same without a path (a missing name is then ERROR_FILE_NOT_FOUND).
std::uint32_t ErrorFromErrno(int err, std::uint32_t fallback);

/// Flushes the folder holding the host path `path` (a relative name: the
/// current folder), so that its entries, a new name included, last.
bool SyncFolderOf(const std::string& path);

/// Flushes the desktop folder `folder` (a host path), as FlushFileBuffers on
/// a folder handle: a desktop operation, which faults and power cuts reach.
/// False with the last error set when it cannot be flushed.
bool FlushDesktopFolder(const std::string& folder);

/// ReplaceFileDurably for a file of the desktop (the registry): each step a
/// desktop operation, which faults and power cuts reach.
bool ReplaceDesktopFile(const std::string& native_path, std::string_view contents);

}  // namespace zp::posix
