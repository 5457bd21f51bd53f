// Device file and path names as the handheld compares them: without regard
// to case, with the * and ? wildcards of a listing pattern.
#pragma once

#include <string_view>

namespace zp::sim {

/// The upper-case form of one UTF-16 unit: ASCII, Latin-1, Latin Extended-A,
/// basic Greek and Cyrillic; every other unit is its own fold.
char16_t Fold(char16_t c);

bool NameEquals(std::u16string_view a, std::u16string_view b);
/// Listing order: by folded name, then by the exact units (so two names
/// that differ only in case still have a stable order).
bool NameLess(std::u16string_view a, std::u16string_view b);

/// Whole-name match of `pattern` (* any run, ? one unit), case-insensitive.
bool WildcardMatch(std::u16string_view pattern, std::u16string_view name);

}  // namespace zp::sim
