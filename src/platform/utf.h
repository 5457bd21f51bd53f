// UTF-8 and UTF-16 conversion, shared by the .reg format (wide strings of the
// handheld) and the POSIX text conversion.
#pragma once

#include <string>
#include <string_view>

namespace zp::utf {

/// UTF-8 to UTF-16; each byte that is not part of a valid sequence (overlong
/// forms and encoded surrogates included) becomes '?'.
std::u16string FromUtf8(std::string_view text);

/// UTF-16 to UTF-8; a lone surrogate becomes '?'.
std::string ToUtf8(std::u16string_view text);

/// True when the bytes are valid UTF-8 / the units valid UTF-16, so that the
/// conversions above give them back exactly.
bool IsValidUtf8(std::string_view text);
bool IsValidUtf16(std::u16string_view text);

}  // namespace zp::utf
