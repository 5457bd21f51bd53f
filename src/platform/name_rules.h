// Names as Windows and the handheld compare them: without regard to case,
// in one listing order, with the * and ? wildcards of a listing pattern.
// Desktop and registry names (8-bit) fold ASCII letters only; the
// handheld's UTF-16 names fold the letters its file system folds.
#pragma once

#include <string>
#include <string_view>

namespace zp {

/// The upper-case form of one character: ASCII letters only.
char FoldCase(char c);
/// The upper-case form of one UTF-16 unit: ASCII, Latin-1, Latin Extended-A,
/// basic Greek and Cyrillic; every other unit is its own fold.
char16_t FoldCase(char16_t c);

/// 16 hexadecimal digits naming `name` in any case (the FNV-1a hash of its
/// folded characters): two names that Equal give the same key.
std::string FoldedKey(std::string_view name);

/// The comparisons of names of one character width, each character folded
/// by FoldCase.
template <typename Char>
struct NameRules {
  using View = std::basic_string_view<Char>;

  /// The same name in any case.
  static bool Equal(View a, View b);
  /// `text` begins with `prefix` in any case.
  static bool StartsWith(View text, View prefix);
  /// Listing order: by folded name, then by the exact characters (so two
  /// names that differ only in case still have a stable order).
  static bool Less(View a, View b);
  /// Whole-name match of `pattern` (* any run, ? one character).
  static bool Match(View pattern, View name);
};

extern template struct NameRules<char>;
extern template struct NameRules<char16_t>;

/// Desktop file names and registry names.
using NarrowNames = NameRules<char>;
/// The handheld's file names.
using WideNames = NameRules<char16_t>;

}  // namespace zp
