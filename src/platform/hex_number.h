// Numbers written in hexadecimal, as the registry's text and its key names
// hold them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace zp {

/// The value of 1 to 8 hex digits (either case), nothing else around them.
std::optional<std::uint32_t> ParseHex32(std::string_view digits);

}  // namespace zp
