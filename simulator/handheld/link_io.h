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

/// Reads exactly `buffer.size()` bytes within `timeout_ms`. TimedOut also
/// when a stop was asked for; Failed when the peer closed.
NetWait ReadExactly(const Socket& socket, std::span<std::uint8_t> buffer, int timeout_ms);
NetWait ReadU32(const Socket& socket, std::uint32_t& value, int timeout_ms);
NetWait ReadU16(const Socket& socket, std::uint16_t& value, int timeout_ms);

bool SendU32(const Socket& socket, std::uint32_t value);
bool SendBytes(const Socket& socket, std::span<const std::uint8_t> bytes);

/// One line on stderr, "zp-handheld: <text>".
void Log(const std::string& text);

}  // namespace zp::handheld
