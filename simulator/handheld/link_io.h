// zp-handheld's small helpers around the sockets: reads that end on a stop
// request or a deadline, words sent and received, its log line, and SIGTERM.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/sockets.h"

namespace zp::handheld {

/// Installs the SIGTERM handler; Stopping() is true once it came.
void CatchStop();
bool Stopping();

/// The longest single wait: every loop checks Stopping() at least this often.
inline constexpr int kTickMs = 250;

/// Sleeps `ms`, ending early on a stop request.
void Pause(int ms);

/// Reads exactly `buffer.size()` bytes, all within `timeout_ms`. TimedOut
/// also when a stop was asked for; Failed when the peer closed.
NetResult ReadExactly(const Socket& socket, std::span<std::uint8_t> buffer, int timeout_ms);
NetResult ReadU32(const Socket& socket, std::uint32_t& value, int timeout_ms);
NetResult ReadU16(const Socket& socket, std::uint16_t& value, int timeout_ms);

/// How long a send may take before the desktop counts as gone.
inline constexpr int kSendMs = 30'000;
bool SendU32(const Socket& socket, std::uint32_t value);
bool SendBytes(const Socket& socket, std::span<const std::uint8_t> bytes);
/// Sends `bytes` one at a time, `gap_ms` apart (the trickling modes).
bool Trickle(const Socket& socket, std::span<const std::uint8_t> bytes, int gap_ms);

/// What one wait of a handheld's loop came to.
enum class Traffic {
  Ready,  ///< `ready` is the index of a readable connection
  Quiet,  ///< nothing yet: wait again
  End,    ///< the wait failed, or nothing happened for `idle_ms` (logged)
};
/// Waits a tick for one of `watched` to be readable; `last_traffic` is
/// when something last was.
Traffic AwaitTraffic(std::span<const Socket* const> watched, int idle_ms,
                     std::int64_t& last_traffic, std::size_t& ready);

/// One line on stderr, "zp-handheld: <text>".
void Log(const std::string& text);

}  // namespace zp::handheld
