// Device paths ("\My Documents\A.ARR") mapped onto the handheld's files/
// folder, with the device's case-insensitive name lookup.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zp::sim {

enum class NodeKind { Missing, File, Folder };

struct Located {
  std::filesystem::path host;  ///< where the node is, or would be created
  NodeKind kind = NodeKind::Missing;
  bool parent_is_folder = false;  ///< the folder that holds (or would hold) it exists
};

/// Finds a device path below `root`. Nothing when the path is not a valid
/// device path: it must begin with a backslash, and no component may be
/// "." or "..", or hold a character a device name cannot have
/// (/ : * ? " < > | or a control character). Empty components are skipped,
/// so "\" is the root folder and "\Dir\" is "\Dir". Each component is
/// looked up by its exact name first, then without regard to case.
std::optional<Located> Locate(const std::filesystem::path& root, std::u16string_view device_path);

/// True when `name` may be one component of a device path.
bool IsValidName(std::u16string_view name);
/// True when a device name may hold `c` (a wildcard character is not one).
bool IsValidNameChar(char16_t c);

struct Entry {
  std::u16string name;
  std::filesystem::path host_name;  ///< its name in the host folder (a whole path would
                                    ///< cost half a kilobyte a name in a large listing)
  bool folder = false;
  std::uint64_t size = 0;
  std::uint64_t filetime = 0;  ///< last change, 100 ns units since 1601
  std::uint32_t oid = 0;       ///< the object store's id: stable for a name
};

/// Calls `visit` with each file and folder of a host folder, in the host's
/// order (none when it cannot be read); `filetime` is read only when
/// `with_times` asks for it. False when the folder could not be read whole.
bool VisitFolder(const std::filesystem::path& folder, bool with_times,
                 const std::function<void(const Entry&)>& visit);

/// The files and folders of a host folder, in listing order (WideNames::Less).
/// Empty when the folder cannot be read. `filetime` is read only when
/// `with_times` asks for it (one more stat() a name).
/// `failed`, when given, is set when the folder could not be read (whole).
std::vector<Entry> ListFolder(const std::filesystem::path& folder, bool with_times = false,
                              bool* failed = nullptr);

/// A host path component from a device name, and back.
std::filesystem::path HostName(std::u16string_view name);
std::u16string DeviceName(const std::filesystem::path& host_name);

}  // namespace zp::sim
