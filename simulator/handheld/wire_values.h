// The handheld's handles and keys as the wire carries them (u32), and the
// reply words every call shares.
#pragma once

#include <cstdint>

#include "device/remote_device.h"
#include "link/wire.h"

namespace zp::handheld {

inline constexpr std::uint32_t kWireInvalidHandle = 0xFFFFFFFFu;

inline CeHandle HandleFromWire(std::uint32_t value) {
  return value == kWireInvalidHandle ? kInvalidCeHandle : static_cast<CeHandle>(value);
}
inline std::uint32_t HandleToWire(CeHandle handle) {
  return handle == kInvalidCeHandle ? kWireInvalidHandle : static_cast<std::uint32_t>(handle);
}
inline CeKey KeyFromWire(std::uint32_t value) {
  return static_cast<CeKey>(value);
}
inline std::uint32_t KeyToWire(CeKey key) {
  return static_cast<std::uint32_t>(key);
}

/// le and rv of a call that succeeded or failed with `error`.
inline void LastErrorAndResult(link::WireWriter& out, bool ok, std::uint32_t error,
                               std::uint32_t result) {
  out.U32(ok ? 0 : error).U32(result);
}

}  // namespace zp::handheld
