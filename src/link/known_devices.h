// What the desktop knows of the handhelds that come over the link. A
// handheld's name, GUID and partner id are only its own claim: the desktop
// pins each name and each device id to the GUID it first came with, and
// trusts (sends its password to, installs on) only the handhelds an
// administrator listed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zp::link {

/// HKEY_LOCAL_MACHINE: the administrator's list of trusted handhelds, one
/// REG_SZ per handheld named by its GUID as printed, its data the
/// handheld's name. Read, never written.
inline constexpr char kListedHandheldsKey[] = "Software\\Brenok\\ZAMO\\PocketPC\\Handhelds";
/// An older handheld has no GUID: where one goes (records, the list, log
/// lines), it stands as this and its partner id in 8 hex digits.
inline constexpr char kPartnerIdentity[] = "partner:";

/// HKEY_CURRENT_USER: the records of handhelds seen, apart from the
/// program's settings so that writing them never makes the settings key.
/// One value per device name, its data the GUID.
inline constexpr char kKnownDevicesKey[] = "Software\\Brenok\\ZAMO\\Link\\Devices";
/// One value per device id (8 hex digits), its data the GUID.
inline constexpr char kKnownDeviceIdsKey[] = "Software\\Brenok\\ZAMO\\Link\\DeviceIds";
/// One value per GUID whose handheld refused a password, its data a hash
/// of that password.
inline constexpr char kRefusedPasswordsKey[] = "Software\\Brenok\\ZAMO\\Link\\RefusedPasswords";
/// HKEY_CURRENT_USER\Software\Brenok\ZAMO\PocketPC: the desktop password of
/// handhelds locked with one.
inline constexpr char kPasswordValue[] = "DevicePassword";

enum class DeviceTrust {
  Known,    ///< the name and the device id came with this GUID before
  New,      ///< first seen: now remembered with this GUID
  Refused,  ///< the name or the device id belongs to another GUID (logged)
  Failed,   ///< the desktop registry could not be read or written (logged)
};

/// Checks `name` and `device_id` against the GUID each first came with,
/// remembering them when new. `shown_name` is the name as the log shows it.
DeviceTrust CheckDeviceGuid(const std::string& name, std::uint32_t device_id,
                            const std::string& guid, const std::string& shown_name);

/// Whether the administrator listed this GUID with this name.
bool IsListedHandheld(const std::string& guid, const std::string& name);
/// The line an administrator adds to list a handheld, as a log line tells it.
std::string ListingAdvice(const std::string& guid, const std::string& name);

/// The desktop password, when one is set (up to 255 characters).
std::optional<std::string> DesktopPassword();

/// Whether this handheld refused exactly this password before; and
/// remembering that it did.
bool PasswordRefusedBefore(const std::string& guid, const std::string& password);
void RememberRefusedPassword(const std::string& guid, const std::string& password);

}  // namespace zp::link
