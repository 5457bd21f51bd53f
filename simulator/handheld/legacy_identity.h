// Who an older handheld says it is: the info packet it sends on its
// control connection, from the same identity as a newer handheld's (the
// world's [HKEY_LOCAL_MACHINE\Ident] and the command line) and these
// values of that key:
//   "OsMajor"  dword  (default 4: Pocket PC 2003)
//   "OsMinor"  dword  (default 20)
//   "OsBuild"  dword  (default 14049)
// Its platform is "PocketPC", its model "Simulated".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/legacy_info.h"
#include "simulator/handheld/identity.h"
#include "simulator/handheld/options.h"

namespace zp::handheld {

inline constexpr std::uint8_t kLegacyOsMajor = 4;
inline constexpr std::uint8_t kLegacyOsMinor = 20;
inline constexpr std::uint16_t kLegacyOsBuild = 14049;

/// The info packet's fields; nothing when the handheld cannot be played
/// (`problem` says why): a lock key that cannot be told from the other
/// words the handheld sends first, or a name too long for the packet.
std::optional<link::LegacyInfo> LoadLegacyInfo(const Options& options, const Identity& identity,
                                               std::string& problem);

/// Whether the handheld is locked with a desktop password.
inline bool LegacyLocked(const Identity& identity) {
  return identity.info.lock_key != 0;
}

}  // namespace zp::handheld
