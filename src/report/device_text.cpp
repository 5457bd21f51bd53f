// Escaping what a device says.
#include "report/device_text.h"

#include <cstdio>

#include "platform/platform.h"

namespace zp {
namespace {

bool IsBidiControl(char16_t unit) {
  return unit == 0x061C || unit == 0x200E || unit == 0x200F || (unit >= 0x202A && unit <= 0x202E) ||
         (unit >= 0x2066 && unit <= 0x2069);
}

bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

bool IsUnsafeDeviceUnit(char16_t unit) {
  return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F) || unit == 0x2028 || unit == 0x2029 ||
         IsBidiControl(unit) || IsHighSurrogate(unit) || IsLowSurrogate(unit);
}

std::string DeviceText(std::u16string_view text, bool path) {
  std::string out;
  std::u16string plain;
  const auto flush = [&] {
    out += Narrow(plain);
    plain.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      plain.push_back(unit);
      plain.push_back(text[++i]);
      continue;
    }
    if (unit == u'\\') {
      plain += path ? u"\\" : u"\\\\";
      continue;
    }
    if (!IsUnsafeDeviceUnit(unit)) {
      plain.push_back(unit);
      continue;
    }
    flush();
    char escaped[8];
    if (unit < 0x20 || unit == 0x7F) {
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(unit));
    } else {
      std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
    }
    out += escaped;
  }
  flush();
  return out;
}

}  // namespace zp
