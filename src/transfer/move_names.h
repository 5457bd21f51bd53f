// The names an array has in FromPocket while it is being moved: a partial
// copy, and a complete copy whose removal from the handheld is not yet
// confirmed. Neither is taken for an array by any reader: they do not end in
// ".ARR", and their 8.3 short names do not either.
//
// A short device name is carried in the staging name itself
// ("~zp.<device name>.part"). A long one, or one that escapes long, would
// make a name that no path has room for, so such an array is staged under
// a number ("~zp<n>.prt") and its device name is kept in a record beside
// it ("~zp<n>.nam"), which the settling of an unfinished move reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zp {

enum class MoveStage {
  Partial,   ///< being written, or left by a crash
  Complete,  ///< flushed; the device may still hold the original
  Record,    ///< a numbered move's device name (no copy)
};

/// The longest staging name that carries the device name.
inline constexpr std::size_t kMaxNamedMove = 64;

/// The device name with characters other than ASCII letters, digits, '.',
/// '-' and '_' written as "%XXXX" (the UTF-16 unit in hex): every device
/// name gives text the desktop accepts in a file name, and back.
std::string EscapeDeviceName(const std::u16string& device_name);
/// The device name of an escaped text; nothing when it is not one.
std::optional<std::u16string> UnescapeDeviceName(std::string_view escaped);

/// "~zp.<escaped device name>.part" or ".done" (Partial or Complete only).
std::string MoveName(const std::u16string& device_name, MoveStage stage);
/// "~zp<number>.prt", ".fin" or ".nam": never longer than "ARR%05d.ARR" of
/// the same number, so it fits wherever the array's own name does.
std::string NumberedMoveName(std::int64_t number, MoveStage stage);

/// The staging paths of one array in `folder` (which ends with a
/// backslash). `record` is empty when the partial and complete names carry
/// the device name: that is when MoveName is at most kMaxNamedMove bytes and
/// the paths fit MAX_PATH; otherwise they are numbered by `number`.
struct StagingPaths {
  std::string partial;
  std::string complete;
  std::string record;
};
StagingPaths StagingFor(const std::string& folder, const std::u16string& device_name,
                        std::int64_t number);

/// A desktop name made by MoveName (`device_name` set, `number` -1) or by
/// NumberedMoveName (`number` set, `device_name` empty); nothing for any
/// other name.
struct ParsedMoveName {
  std::u16string device_name;
  std::int64_t number = -1;
  MoveStage stage = MoveStage::Partial;
};
std::optional<ParsedMoveName> ParseMoveName(const std::string& desktop_name);

}  // namespace zp
