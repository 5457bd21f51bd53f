// The handhelds the desktop has seen over the link, and those it trusts.
#include "link/known_devices.h"

#include <cstdio>

#include "platform/name_rules.h"
#include "platform/platform.h"
#include "platform/settings_lock.h"
#include "report/log.h"

namespace zp::link {
namespace {

constexpr std::size_t kGuidBuffer = 64;
constexpr std::size_t kNameBuffer = 256;
constexpr std::size_t kPasswordBuffer = 256;
/// Where earlier versions kept the records of handhelds seen: still read,
/// so that an upgrade keeps every name pinned to its GUID.
constexpr char kEarlierKnownDevicesKey[] = "Software\\Brenok\\ZAMO\\PocketPC\\Devices";
constexpr char kEarlierRefusedPasswordsKey[] = "Software\\Brenok\\ZAMO\\PocketPC\\RefusedPasswords";

// A hash of the password, so the registry never holds a refused one in clear.
std::string PasswordHash(const std::string& guid, const std::string& password) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : guid + '\n' + password) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::string IdText(std::uint32_t device_id) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", device_id);
  return text;
}

// A record of `name`, from the key of today or of earlier versions.
std::optional<std::string> Recorded(const char* key_path, const char* earlier_path,
                                    const std::string& name) {
  for (const char* path : {key_path, earlier_path}) {
    if (path == nullptr) continue;
    if (const RegKey key = RegOpen(Hive::CurrentUser, path, RegAccess::Read)) {
      if (auto value = RegQueryString(key, name, kGuidBuffer)) return value;
    }
  }
  return std::nullopt;
}

bool Record(const char* key_path, const std::string& name, const std::string& value) {
  const RegKey key = RegCreate(Hive::CurrentUser, key_path);
  return key && RegSetString(key, name, value);
}

}  // namespace

DeviceTrust CheckDeviceGuid(const std::string& name, std::uint32_t device_id,
                            const std::string& guid, const std::string& shown_name) {
  // Read and recorded under the settings lock: of two handhelds of one name
  // docked at once, only the first is recorded.
  const SettingsLock lock;
  if (!lock) {
    LogError(LastErrorCode(), "Cannot read the handhelds this desktop knows");
    return DeviceTrust::Failed;
  }
  const auto name_owner = Recorded(kKnownDevicesKey, kEarlierKnownDevicesKey, name);
  if (name_owner && *name_owner != guid) {
    LogText("Refused handheld %s %s: that name belongs to handheld %s", shown_name.c_str(),
            guid.c_str(), name_owner->c_str());
    return DeviceTrust::Refused;
  }
  // The device id chooses the pending installation and the profile: a
  // handheld that claims another's partner id must not get them.
  const std::string id = IdText(device_id);
  const auto id_owner = Recorded(kKnownDeviceIdsKey, nullptr, id);
  if (id_owner && *id_owner != guid) {
    LogText("Refused handheld %s %s: its device id %s belongs to handheld %s", shown_name.c_str(),
            guid.c_str(), id.c_str(), id_owner->c_str());
    return DeviceTrust::Refused;
  }
  if (name_owner && id_owner) return DeviceTrust::Known;
  if ((!name_owner && !Record(kKnownDevicesKey, name, guid)) ||
      (!id_owner && !Record(kKnownDeviceIdsKey, id, guid))) {
    LogError(LastErrorCode(), "Cannot remember handheld %s %s", shown_name.c_str(), guid.c_str());
    return DeviceTrust::Failed;
  }
  return name_owner || id_owner ? DeviceTrust::Known : DeviceTrust::New;
}

bool IsListedHandheld(const std::string& guid, const std::string& name) {
  const RegKey key = RegOpen(Hive::LocalMachine, kListedHandheldsKey, RegAccess::Read);
  if (!key) return false;
  const auto listed = RegQueryString(key, guid, kNameBuffer);
  return listed && NarrowNames::Equal(*listed, name);
}

std::string ListingAdvice(const std::string& guid, const std::string& name) {
  return "To trust it, add \"" + guid + "\"=\"" + name + "\" to [HKEY_LOCAL_MACHINE\\" +
         kListedHandheldsKey + "]";
}

std::optional<std::string> DesktopPassword() {
  const RegKey key =
      RegOpen(Hive::CurrentUser, "Software\\Brenok\\ZAMO\\PocketPC", RegAccess::Read);
  if (!key) return std::nullopt;
  auto password = RegQueryString(key, kPasswordValue, kPasswordBuffer);
  if (!password || password->empty()) return std::nullopt;
  return password;
}

bool PasswordRefusedBefore(const std::string& guid, const std::string& password) {
  const auto hash = Recorded(kRefusedPasswordsKey, kEarlierRefusedPasswordsKey, guid);
  return hash && *hash == PasswordHash(guid, password);
}

void RememberRefusedPassword(const std::string& guid, const std::string& password) {
  if (!Record(kRefusedPasswordsKey, guid, PasswordHash(guid, password))) {
    LogError(LastErrorCode(), "Cannot remember the refused password of handheld %s", guid.c_str());
  }
}

}  // namespace zp::link
