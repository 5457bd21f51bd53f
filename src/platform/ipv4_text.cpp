// IPv4 addresses as text, the same on every platform: four decimal parts,
// nothing else (no shorter forms, no octal, no blanks).
#include <cstdio>

#include "platform/sockets.h"

namespace zp {

// Four decimal parts of 0..255, as inet_pton takes them.
std::optional<std::uint32_t> ParseIpv4(std::string_view text) {
  std::uint32_t ip = 0;
  const char* at = text.data();
  const char* const end = text.data() + text.size();
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (at == end || *at != '.') return std::nullopt;
      ++at;
    }
    const char* const start = at;
    unsigned value = 0;
    while (at != end && *at >= '0' && *at <= '9' && at - start < 3) {
      value = value * 10 + static_cast<unsigned>(*at - '0');
      ++at;
    }
    if (at == start || value > 255) return std::nullopt;
    ip = ip << 8 | value;
  }
  if (at != end) return std::nullopt;
  return ip;
}

std::string FormatIpv4(std::uint32_t ip) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", ip >> 24, (ip >> 16) & 0xFF, (ip >> 8) & 0xFF,
                ip & 0xFF);
  return text;
}

}  // namespace zp
