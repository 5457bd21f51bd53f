// UTF-8 and UTF-16 conversion with '?' for what cannot be converted.
#include "platform/utf.h"

#include <cstdint>

namespace zp::utf {
namespace {

// Decodes one sequence at text[pos]; 0 when the byte there does not start a
// valid one.
std::size_t DecodeOne(std::string_view text, std::size_t pos, char32_t& out) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(pos);
  if (lead < 0x80) {
    out = lead;
    return 1;
  }
  std::size_t length = 0;
  char32_t min = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, min = 0x80, out = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, min = 0x800, out = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, min = 0x10000, out = lead & 0x07u;
  } else {
    return 0;
  }
  if (text.size() - pos < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const std::uint8_t next = byte(pos + i);
    if ((next & 0xC0) != 0x80) return 0;
    out = (out << 6) | (next & 0x3Fu);
  }
  if (out < min || out > 0x10FFFF || (out >= 0xD800 && out <= 0xDFFF)) return 0;
  return length;
}

void AppendUtf8(std::string& out, char32_t c) {
  const auto put = [&](char32_t v) { out.push_back(static_cast<char>(v)); };
  if (c < 0x80) {
    put(c);
  } else if (c < 0x800) {
    put(0xC0 | (c >> 6)), put(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    put(0xE0 | (c >> 12)), put(0x80 | ((c >> 6) & 0x3F)), put(0x80 | (c & 0x3F));
  } else {
    put(0xF0 | (c >> 18)), put(0x80 | ((c >> 12) & 0x3F));
    put(0x80 | ((c >> 6) & 0x3F)), put(0x80 | (c & 0x3F));
  }
}

bool IsHigh(char16_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLow(char16_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

}  // namespace

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t c = 0;
    const std::size_t length = DecodeOne(text, pos, c);
    if (length == 0) {
      out.push_back(u'?');
      ++pos;
      continue;
    }
    pos += length;
    if (c < 0x10000) {
      out.push_back(static_cast<char16_t>(c));
    } else {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
  }
  return out;
}

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (IsHigh(u) && i + 1 < text.size() && IsLow(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((char32_t{u} - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00));
      ++i;
    } else if (IsHigh(u) || IsLow(u)) {
      out.push_back('?');
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t c = 0;
    const std::size_t length = DecodeOne(text, pos, c);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

bool IsValidUtf16(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsHigh(text[i]) && i + 1 < text.size() && IsLow(text[i + 1])) {
      ++i;
    } else if (IsHigh(text[i]) || IsLow(text[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace zp::utf
