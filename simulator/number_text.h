// A number as the simulator's rules and options write it: decimal, or hex
// after "0x".
#pragma once

#include <charconv>
#include <optional>
#include <string_view>

namespace zp {

/// The whole text as a number of type T; nothing for anything else (an
/// empty text, a sign where T has none, trailing characters, an overflow).
template <typename T>
std::optional<T> ParseNumber(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  T value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace zp
