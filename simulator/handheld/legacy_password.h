// A desktop password as an older handheld reads it, on its control
// connection and at the start of a locked session: a u16 byte count, then
// the UTF-16LE text (with or without its NUL), every byte XOR'ed with the
// lock key's low byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/sockets.h"
#include "simulator/handheld/identity.h"

namespace zp::handheld {

/// The longest attempt read; a longer one ends the connection.
inline constexpr std::uint16_t kMaxLegacyPasswordBytes = 4096;

/// Reads one attempt and tells whether it is the handheld's password.
/// Nothing when it did not come whole in `io_ms`, or is too long;
/// `problem` then says which.
std::optional<bool> ReadPasswordAttempt(const Socket& from, const Identity& identity, int io_ms,
                                        std::string& problem);

}  // namespace zp::handheld
