// Device identity from the profiles, and the remote sync state.
#include "device/device_identity.h"

#include <algorithm>
#include <cstring>

#include "device/remote_handles.h"
#include "platform/platform.h"
#include "report/log.h"

namespace zp {
namespace {

const std::u16string kDeviceKey = u"Software\\Brenok\\ZAMO";

// The profile's display name when `profile` belongs to the device.
bool ReadDisplayName(RemoteDevice& device, std::uint32_t profile, std::string& name) {
  CeSvcHandle opened = kNoCeSvcHandle;
  if (device.CeSvcOpen(kCeSvcProfile, profile, false, &opened) != 0) return false;
  SvcHandle guard(device, opened);
  char buffer[kDisplayNameBuffer] = {};
  if (device.CeSvcGetString(opened, "DisplayName", buffer, sizeof buffer) != 0) return false;
  buffer[sizeof buffer - 1] = '\0';
  name = buffer;
  return true;
}

// The device's registry calls return their error code and set no last
// error on the desktop: the code returned is the one logged.
void LogRegistryError(std::int32_t code, const char* caller) {
  LogError(static_cast<std::uint32_t>(code), "%s: Error accessing remote registry", caller);
}

}  // namespace

bool GetDeviceInfo(RemoteDevice& device, std::string& display_name, std::uint32_t& device_id) {
  const std::uint32_t id = device.CeGetDeviceId();
  if (id == 0 || id == 0xFFFFFFFFu) return false;
  // The enumeration handle is closed on every way out, the walk's end included.
  SvcHandle enumeration(device, kNoCeSvcHandle);
  for (std::uint32_t index = 0;; ++index) {
    std::uint32_t profile = 0;
    if (device.CeSvcEnumProfiles(enumeration.Address(), index, &profile) != 0) return false;
    if (profile != id) continue;
    std::string name;
    if (!ReadDisplayName(device, profile, name)) continue;
    display_name = name;
    device_id = id;
    return true;
  }
}

std::uint32_t GetRegState(RemoteDevice& device) {
  CeKey opened = kNoCeKey;
  if (const std::int32_t code = device.CeRegOpenKeyEx(kCeHkeyLocalMachine, kDeviceKey, &opened);
      code != 0) {
    LogRegistryError(code, "GetRegState");
    return kSyncStateIdle;
  }
  RemoteKey key(device, opened);
  std::uint8_t data[4] = {};
  std::uint32_t type = 0;
  std::uint32_t size = sizeof data;
  if (device.CeRegQueryValueEx(key.get(), u"DBState", &type, data, &size) != 0)
    return kSyncStateIdle;
  if (type != kRegDword || size != sizeof data) return kSyncStateIdle;
  std::int32_t state = 0;
  std::memcpy(&state, data, sizeof state);
  if (state < 0 || static_cast<std::uint32_t>(state) > kSyncStateDelivered) return kSyncStateIdle;
  return static_cast<std::uint32_t>(state);
}

bool SetRegState(RemoteDevice& device, std::uint32_t state) {
  CeKey opened = kNoCeKey;
  std::uint32_t disposition = 0;
  if (const std::int32_t code =
          device.CeRegCreateKeyEx(kCeHkeyLocalMachine, kDeviceKey, &opened, &disposition);
      code != 0) {
    LogRegistryError(code, "SetRegState");
    return false;
  }
  RemoteKey key(device, opened);
  std::uint8_t data[4];
  std::memcpy(data, &state, sizeof data);
  return device.CeRegSetValueEx(key.get(), u"DBState", kRegDword, data, sizeof data) == 0;
}

bool GetRunImport(RemoteDevice& device, std::u16string& path) {
  path.clear();
  CeKey opened = kNoCeKey;
  if (const std::int32_t code = device.CeRegOpenKeyEx(kCeHkeyLocalMachine, kDeviceKey, &opened);
      code != 0) {
    LogRegistryError(code, "GetRunImport");
    return false;
  }
  RemoteKey key(device, opened);
  char16_t buffer[kRunImportUnits] = {};
  std::uint32_t type = kRegSz;
  std::uint32_t size = sizeof buffer;
  if (device.CeRegQueryValueEx(key.get(), u"RunImport", &type,
                               reinterpret_cast<std::uint8_t*>(buffer), &size) != 0 ||
      type != kRegSz) {
    return false;
  }
  // The text ends at its terminator, or at the end of what was stored. A
  // value that fills the whole buffer without a terminator does not fit.
  const std::size_t units = std::min<std::size_t>(size / 2, kRunImportUnits);
  std::size_t length = 0;
  while (length < units && buffer[length] != 0) ++length;
  if (length == kRunImportUnits) return false;
  path.assign(buffer, length);
  return !path.empty();
}

}  // namespace zp
