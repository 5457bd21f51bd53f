// Reading a desktop password on the older link.
#include "simulator/handheld/legacy_password.h"

#include <vector>

#include "simulator/handheld/link_io.h"

namespace zp::handheld {

std::optional<bool> ReadPasswordAttempt(const Socket& from, const Identity& identity, int io_ms,
                                        std::string& problem) {
  std::uint16_t size = 0;
  const NetResult counted = ReadU16(from, size, io_ms);
  if (counted != NetResult::Done) {
    problem = counted == NetResult::Failed ? "closed by the desktop before its password"
                                           : "no password came";
    return std::nullopt;
  }
  if (size > kMaxLegacyPasswordBytes) {
    problem = "a password of " + std::to_string(size) + " bytes";
    return std::nullopt;
  }
  std::vector<std::uint8_t> encoded(size);
  if (ReadExactly(from, encoded, io_ms) != NetResult::Done) {
    problem = "a password that did not come whole";
    return std::nullopt;
  }
  return PasswordMatches(encoded, identity.info.lock_key, identity.password);
}

}  // namespace zp::handheld
