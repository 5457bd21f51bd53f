// Case folding, listing order and wildcard matching of names.
#include "platform/name_rules.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <type_traits>

namespace zp {

char FoldCase(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string FoldedKey(std::string_view name) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : name)
    hash = (hash ^ static_cast<unsigned char>(FoldCase(c))) * 1099511628211ull;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

char16_t FoldCase(char16_t c) {
  const auto minus = [c](int d) { return static_cast<char16_t>(c - d); };
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? minus(0x20) : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return minus(0x20);
  if (c == 0xFF) return 0x178;
  // Latin Extended-A pairs: upper case on the even unit, except two runs
  // where it is on the odd one.
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return (c & 1) ? minus(1) : c;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : minus(1);
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return minus(0x20);
  if (c >= 0x430 && c <= 0x44F) return minus(0x20);
  if (c >= 0x450 && c <= 0x45F) return minus(0x50);
  return c;
}

template <typename Char>
bool NameRules<Char>::Equal(View a, View b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](Char x, Char y) {
           return FoldCase(x) == FoldCase(y);
         });
}

template <typename Char>
bool NameRules<Char>::StartsWith(View text, View prefix) {
  return text.size() >= prefix.size() && Equal(text.substr(0, prefix.size()), prefix);
}

template <typename Char>
bool NameRules<Char>::Less(View a, View b) {
  // One pass: the first folded difference (bytes count as unsigned), else
  // the shorter name, else the exact characters.
  using Unsigned = std::make_unsigned_t<Char>;
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const auto x = static_cast<Unsigned>(FoldCase(a[i]));
    const auto y = static_cast<Unsigned>(FoldCase(b[i]));
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

template <typename Char>
bool NameRules<Char>::Match(View pattern, View name) {
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = View::npos;  // last '*' seen in the pattern
  std::size_t resume = 0;         // where that '*' match ends so far
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == Char('*')) {
      star = p++;
      resume = n;
    } else if (p < pattern.size() &&
               (pattern[p] == Char('?') || FoldCase(pattern[p]) == FoldCase(name[n]))) {
      ++p;
      ++n;
    } else if (star != View::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == Char('*')) ++p;
  return p == pattern.size();
}

template struct NameRules<char>;
template struct NameRules<char16_t>;

}  // namespace zp
