// What the desktop remembers of the handhelds that came over the link: the
// GUID each device name first came with, and the desktop password it may
// send. A handheld's name and GUID are only its own claim; a known name that
// arrives with another GUID is some other device.
#pragma once

#include <optional>
#include <string>

namespace zp::link {

/// HKEY_CURRENT_USER: one value per device name, its data the GUID.
inline constexpr char kKnownDevicesKey[] = "Software\\Brenok\\ZAMO\\PocketPC\\Devices";
/// HKEY_CURRENT_USER: one value per GUID whose handheld refused a password,
/// its data a hash of that password.
inline constexpr char kRefusedPasswordsKey[] = "Software\\Brenok\\ZAMO\\PocketPC\\RefusedPasswords";
/// HKEY_CURRENT_USER\Software\Brenok\ZAMO\PocketPC: the desktop password of
/// handhelds locked with one.
inline constexpr char kPasswordValue[] = "DevicePassword";

enum class DeviceTrust {
  Known,    ///< the name came with this GUID before
  New,      ///< first seen: now remembered with this GUID
  Refused,  ///< the name belongs to another GUID (logged)
  Failed,   ///< the desktop registry could not be read or written (logged)
};

/// Checks `name` against the GUID it first came with, remembering it when new.
DeviceTrust CheckDeviceGuid(const std::string& name, const std::string& guid);

/// The desktop password, when one is set (up to 255 characters).
std::optional<std::string> DesktopPassword();

/// Whether this handheld refused exactly this password before; and
/// remembering that it did.
bool PasswordRefusedBefore(const std::string& guid, const std::string& password);
void RememberRefusedPassword(const std::string& guid, const std::string& password);

}  // namespace zp::link
