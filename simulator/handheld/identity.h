// Who the handheld says it is: the device info it sends on its control
// connection, from the world's device.reg and the command line, and the
// desktop password it accepts.
//
// [HKEY_LOCAL_MACHINE\Ident] of device.reg:
//   "DeviceId"       dword   the current partner id (default 0)
//   "Name"           string  the device name (default "Pocket_PC")
//   "Guid"           string  "{...}" (default {<DeviceId as 8 hex>-0000-0000-0000-000000000000})
//   "LockKey"        dword   0 none, 0xFFFFFFFF unlocked on the device,
//                            other: locked with a desktop password (default 0)
//   "Password"       string  the desktop password accepted (default "")
//   "ProcessorType"  dword   (default 0x0A11, StrongARM)
// The command line's --partner --name --guid --lock --password win.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "link/device_info.h"
#include "simulator/handheld/options.h"

namespace zp::handheld {

/// What every handheld played here claims besides its identity.
inline constexpr std::uint32_t kOsMajor = 5;
inline constexpr std::uint32_t kOsMinor = 2;  // Windows Mobile 6
inline constexpr std::uint32_t kOsBuild = 15000;
inline constexpr std::uint32_t kDefaultProcessor = 0x0A11;  // StrongARM
inline constexpr char kDefaultName[] = "Pocket_PC";

struct Identity {
  link::DeviceInfo info;
  std::u16string password;
};

/// Nothing when device.reg cannot be read or a GUID is not one; `problem`
/// then says which.
std::optional<Identity> LoadIdentity(const Options& options, std::string& problem);

/// The GUID of a handheld whose world names none.
std::array<std::uint8_t, 16> GuidFromPartner(std::uint32_t partner);

/// Whether a password attempt (the encoded bytes after the u16 count)
/// is `password`: every byte XOR'ed with the key's low byte, UTF-16LE,
/// with or without a terminating NUL.
bool PasswordMatches(std::span<const std::uint8_t> encoded, std::uint32_t lock_key,
                     const std::u16string& password);

}  // namespace zp::handheld
