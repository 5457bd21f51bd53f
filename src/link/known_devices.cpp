// The handhelds the desktop has seen over the link, in its registry.
#include "link/known_devices.h"

#include <cstdint>
#include <cstdio>

#include "platform/platform.h"
#include "platform/settings_lock.h"
#include "report/log.h"

namespace zp::link {
namespace {

constexpr std::size_t kGuidBuffer = 64;
constexpr std::size_t kPasswordBuffer = 256;

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

}  // namespace

DeviceTrust CheckDeviceGuid(const std::string& name, const std::string& guid) {
  // Read and recorded under the settings lock: of two handhelds of one name
  // docked at once, only the first is recorded.
  const SettingsLock lock;
  if (!lock) {
    LogError(LastErrorCode(), "Cannot read the handhelds this desktop knows");
    return DeviceTrust::Failed;
  }
  if (const RegKey known = RegOpen(Hive::CurrentUser, kKnownDevicesKey, RegAccess::Read)) {
    if (const auto first = RegQueryString(known, name, kGuidBuffer)) {
      if (*first == guid) return DeviceTrust::Known;
      LogText("Refused handheld %s %s: that name belongs to handheld %s", name.c_str(),
              guid.c_str(), first->c_str());
      return DeviceTrust::Refused;
    }
  }
  const RegKey key = RegCreate(Hive::CurrentUser, kKnownDevicesKey);
  if (!key || !RegSetString(key, name, guid)) {
    LogError(LastErrorCode(), "Cannot remember handheld %s %s", name.c_str(), guid.c_str());
    return DeviceTrust::Failed;
  }
  return DeviceTrust::New;
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
  const RegKey key = RegOpen(Hive::CurrentUser, kRefusedPasswordsKey, RegAccess::Read);
  if (!key) return false;
  const auto hash = RegQueryString(key, guid, kGuidBuffer);
  return hash && *hash == PasswordHash(guid, password);
}

void RememberRefusedPassword(const std::string& guid, const std::string& password) {
  const RegKey key = RegCreate(Hive::CurrentUser, kRefusedPasswordsKey);
  if (!key || !RegSetString(key, guid, PasswordHash(guid, password))) {
    LogError(LastErrorCode(), "Cannot remember the refused password of handheld %s", guid.c_str());
  }
}

}  // namespace zp::link
