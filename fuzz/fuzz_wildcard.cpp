// Fuzzes the handheld's wildcard match: no input harms it, a name always
// matches itself and "*", and case never matters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/name_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    units.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  }
  const std::size_t cut = units.empty() ? 0 : units[0] % (units.size() + 1);
  const std::u16string pattern = units.substr(0, cut);
  const std::u16string name = units.substr(cut);
  (void)zp::WideNames::Match(pattern, name);
  std::u16string plain;
  for (char16_t c : name) {
    if (c != u'*' && c != u'?') plain.push_back(c);
  }
  if (!zp::WideNames::Match(u"*", plain) || !zp::WideNames::Match(plain, plain)) std::abort();
  std::u16string upper = plain;
  for (char16_t& c : upper) c = (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  if (!zp::WideNames::Match(upper, plain)) std::abort();
  return 0;
}
