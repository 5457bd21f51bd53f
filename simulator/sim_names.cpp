// Case-insensitive comparison and wildcard matching of device names.
#include "simulator/sim_names.h"

#include <algorithm>

namespace zp::sim {

char16_t Fold(char16_t c) {
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

bool NameEquals(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return Fold(x) == Fold(y); });
}

bool NameLess(std::u16string_view a, std::u16string_view b) {
  const auto folded_less = [](char16_t x, char16_t y) { return Fold(x) < Fold(y); };
  if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), folded_less)) {
    return true;
  }
  if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), folded_less)) {
    return false;
  }
  return a < b;
}

bool WildcardMatch(std::u16string_view pattern, std::u16string_view name) {
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = std::u16string_view::npos;  // last '*' seen in the pattern
  std::size_t resume = 0;                        // where that '*' match ends so far
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && (pattern[p] == u'?' || Fold(pattern[p]) == Fold(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace zp::sim
