// Every wait of the handheld's link, in one place. The defaults fit a real
// handheld: tens of seconds from docking to its connection, minutes for a
// person to unlock it, up to two minutes for a slow reply.
#pragma once

#include <optional>
#include <string_view>

namespace zp::link {

struct LinkTimeouts {
  int connect_ms = 90'000;    ///< from the first trigger to the handheld's connection
  int retrigger_ms = 5'000;   ///< the trigger is sent again this often meanwhile
  int handshake_ms = 30'000;  ///< the control handshake, up to the device info
  int unlock_ms = 300'000;    ///< a person unlocking the handheld
  int session_ms = 30'000;    ///< the handheld opening a session connection
  int reply_ms = 120'000;     ///< each remote call's reply
  int ping_ms = 30'000;       ///< the keepalive on the control connection
  int dial_ms = 60'000;       ///< an older handheld refusing its session port after a reconnect
};

/// The defaults, changed by an override "name=ms,name=ms" (names as the
/// members without "_ms": connect, retrigger, handshake, unlock, session,
/// reply, ping). Nothing when the override does not read; a value must be
/// 1..86,400,000 ms.
std::optional<LinkTimeouts> ReadLinkTimeouts(std::string_view override_text);

}  // namespace zp::link
