// Which handheld is connected, and the two device registry values through
// which the handheld and the desktop hand the data over.
#pragma once

#include <cstdint>
#include <string>

#include "device/remote_device.h"

namespace zp {

/// The display name buffer of a device profile, terminator included.
inline constexpr std::size_t kDisplayNameBuffer = 256;
/// RunImport: 260 UTF-16 units and the terminator, 522 bytes.
inline constexpr std::size_t kRunImportUnits = 261;

/// The connected device's id and the display name of its profile. False
/// when no device is connected or no profile of its id has a readable
/// name; the outputs are written only on success.
bool GetDeviceInfo(RemoteDevice& device, std::string& display_name, std::uint32_t& device_id);

/// The device's sync state "DBState", always in 0..4; anything unreadable
/// or out of range reads as 1.
std::uint32_t GetRegState(RemoteDevice& device);

/// Writes "DBState"; the key is created when missing. False when the key
/// could not be opened (logged here) or the value not written (the caller
/// logs it).
bool SetRegState(RemoteDevice& device, std::uint32_t state);

/// The import program's device path "RunImport"; false when it is missing,
/// empty, not a REG_SZ or longer than 260 characters (path then empty).
bool GetRunImport(RemoteDevice& device, std::u16string& path);

}  // namespace zp
