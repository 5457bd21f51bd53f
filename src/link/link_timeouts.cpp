// The link's waits and their override.
#include "link/link_timeouts.h"

#include <charconv>
#include <cstdint>

namespace zp::link {

std::optional<LinkTimeouts> ReadLinkTimeouts(std::string_view text) {
  LinkTimeouts timeouts;
  struct Named {
    std::string_view name;
    int LinkTimeouts::*member;
  };
  static constexpr Named kNames[] = {
      {"connect", &LinkTimeouts::connect_ms},     {"retrigger", &LinkTimeouts::retrigger_ms},
      {"handshake", &LinkTimeouts::handshake_ms}, {"unlock", &LinkTimeouts::unlock_ms},
      {"session", &LinkTimeouts::session_ms},     {"reply", &LinkTimeouts::reply_ms},
      {"ping", &LinkTimeouts::ping_ms},           {"dial", &LinkTimeouts::dial_ms}};
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    const std::size_t equals = item.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    const std::string_view name = item.substr(0, equals);
    const std::string_view number = item.substr(equals + 1);
    std::int64_t ms = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), ms);
    if (error != std::errc() || end != number.data() + number.size() || ms < 1 || ms > 86'400'000) {
      return std::nullopt;
    }
    bool known = false;
    for (const Named& entry : kNames) {
      if (entry.name != name) continue;
      timeouts.*entry.member = static_cast<int>(ms);
      known = true;
    }
    if (!known) return std::nullopt;
  }
  return timeouts;
}

}  // namespace zp::link
