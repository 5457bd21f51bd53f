// Which handheld is connected, and the two device registry values through
// which the handheld and the desktop hand the data over.
#pragma once

#include <cstdint>
#include <string>

#include "device/remote_device.h"

namespace zp {

/// Values of the sync state "DBState".
/// No sync wanted; what a state that cannot be read, or is out of range, reads as.
inline constexpr std::uint32_t kSyncStateIdle = 1;
/// The handheld asks for a sync: its arrays wait in the sync folder.
inline constexpr std::uint32_t kSyncStateRequested = 3;
/// Written by the desktop once the arrays are collected and the delivery is
/// made; the highest state there is.
inline constexpr std::uint32_t kSyncStateDelivered = 4;

/// The display name buffer of a device profile, terminator included.
inline constexpr std::size_t kDisplayNameBuffer = 256;
/// RunImport: 260 UTF-16 units and the terminator, 522 bytes.
inline constexpr std::size_t kRunImportUnits = 261;

/// The connected device's id and the display name of its profile. False
/// when no device is connected or no profile of its id has a readable
/// name; the outputs are written only on success.
bool GetDeviceInfo(RemoteDevice& device, std::string& display_name, std::uint32_t& device_id);

/// The device's sync state "DBState", always in 0..kSyncStateDelivered;
/// anything unreadable or out of range reads as kSyncStateIdle.
std::uint32_t GetRegState(RemoteDevice& device);

/// Writes "DBState"; the key is created when missing. False when the key
/// could not be opened (logged here) or the value not written (the caller
/// logs it).
bool SetRegState(RemoteDevice& device, std::uint32_t state);

/// The import program's device path "RunImport"; false when it is missing,
/// empty, not a REG_SZ or longer than 260 characters (path then empty).
bool GetRunImport(RemoteDevice& device, std::u16string& path);

}  // namespace zp
