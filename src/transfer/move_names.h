// The names an array has in FromPocket while it is being moved: a partial
// copy, and a complete copy whose removal from the handheld is not yet
// confirmed. Neither is taken for an array by any reader: they do not end in
// ".ARR", and their 8.3 short names do not either.
#pragma once

#include <optional>
#include <string>

namespace zp {

enum class MoveStage {
  Partial,   ///< "~zp.<device name>.part": being written, or left by a crash
  Complete,  ///< "~zp.<device name>.done": flushed; the device may still hold the original
};

/// The desktop name of an array's copy at a stage, from its device file
/// name. Characters other than ASCII letters, digits, '.', '-' and '_' are
/// written as "%XXXX" (the UTF-16 unit in hex), so every device name gives
/// a name the desktop accepts, and back.
std::string MoveName(const std::u16string& device_name, MoveStage stage);

/// The device file name and stage of a desktop name made by MoveName;
/// nothing for any other name.
struct ParsedMoveName {
  std::u16string device_name;
  MoveStage stage;
};
std::optional<ParsedMoveName> ParseMoveName(const std::string& desktop_name);

}  // namespace zp
