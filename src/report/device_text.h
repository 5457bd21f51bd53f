// What a device says, made safe for a log line or a record: its name and
// the file names of its listings are its own claim, and may hold bytes
// that would break a line, forge one, or turn the text around on screen.
#pragma once

#include <string>
#include <string_view>

namespace zp {

/// Whether `unit` is one that DeviceText escapes: C0 and C1 controls, DEL,
/// the line and paragraph separators, the bidirectional controls, and a
/// surrogate (a lone one; pairs are kept whole by DeviceText).
bool IsUnsafeDeviceUnit(char16_t unit);

/// `text` as desktop text: C0 controls and DEL as \xNN, the other unsafe
/// units as \uNNNN, and a backslash doubled, so that no two texts read the
/// same. With `path`, a backslash is the path's separator and stays single.
std::string DeviceText(std::u16string_view text, bool path = false);

}  // namespace zp
