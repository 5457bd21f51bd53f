// The words every remote call's request starts with and the handles and
// keys it carries, the same in both generations of the remote API.
#pragma once

#include <cstdint>

#include "device/remote_device.h"
#include "link/wire.h"

namespace zp::link {

/// A request's bytes so far: its command word.
inline WireWriter Request(std::uint32_t command) {
  WireWriter out;
  out.U32(command);
  return out;
}

/// A handle or a key as the wire carries it: 32 bits.
inline std::uint32_t Wire(CeHandle handle) {
  return static_cast<std::uint32_t>(handle);
}
inline std::uint32_t Wire(CeKey key) {
  return static_cast<std::uint32_t>(key);
}

}  // namespace zp::link
