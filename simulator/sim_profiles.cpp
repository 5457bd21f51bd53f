// Device identity and the device profiles (CeUtil): the id comes from the
// handheld's device.reg, the profiles from the desktop's registry. None of
// these needs the remote connection.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/hex_number.h"
#include "platform/utf.h"
#include "simulator/sim_state.h"

namespace zp {
namespace {

constexpr std::string_view kPartners =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows CE Services\\Partners";

// The desktop's device profiles, as the registry holds them now.
regfile::Document DesktopRegistry(const SimulatedDevice::ProfileSource& source,
                                  const std::string& file) {
  if (source) return source();
  if (file.empty()) return {};
  auto doc = regfile::Load(file, regfile::Strings::Narrow);
  return doc ? std::move(*doc) : regfile::Document{};
}

// A profile key's name is the device id in 8 hex digits.
std::optional<std::uint32_t> ProfileId(std::string_view name) {
  if (name.size() != 8) return std::nullopt;
  return ParseHex32(name);
}

struct Profile {
  std::uint32_t id;
  std::string key;
};

// The profiles in key-name order; keys whose name is not an id are skipped.
std::vector<Profile> Profiles(const regfile::Document& doc) {
  std::vector<Profile> out;
  for (const std::string& name : regfile::SubkeyNames(doc, kPartners)) {
    if (const auto id = ProfileId(name)) out.push_back({*id, std::string(kPartners) + "\\" + name});
  }
  return out;
}

std::u16string HexId(std::uint32_t id) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", id);
  return utf::FromUtf8(text);
}

}  // namespace

std::uint32_t SimulatedDevice::CeGetDeviceId() {
  State& s = *state_;
  if (s.Gate("CeGetDeviceId", {}, kErrorNotConnected, false) == sim::Admit::Refuse) return 0;
  if (!s.DeviceExists()) {
    s.Error(kErrorNotConnected);
    return 0;
  }
  const auto doc = regfile::Load(s.DeviceRegFile(), regfile::Strings::Wide);
  const auto id = doc ? sim::ReadDword(*doc, sim::kIdentKey, "DeviceId") : std::nullopt;
  if (!id) s.Error(kErrorFileNotFound);
  return id.value_or(0);
}

void SimulatedDevice::SetProfileSource(ProfileSource source) {
  state_->profile_source = std::move(source);
}

std::int32_t SimulatedDevice::CeSvcEnumProfiles(CeSvcHandle* enumeration, std::uint32_t index,
                                                std::uint32_t* profile) {
  State& s = *state_;
  if (s.Gate("CeSvcEnumProfiles", {}, kErrorNoMoreItems, false) == sim::Admit::Refuse) {
    return static_cast<std::int32_t>(s.last_error);
  }
  if (!enumeration || !profile) return s.Code(kErrorInvalidParameter);
  if (*enumeration == kNoCeSvcHandle) {
    *enumeration = static_cast<CeSvcHandle>(s.next_service);
    s.next_service += 4;
    s.services.emplace(*enumeration, sim::OpenService{true, {}});
  }
  const auto it = s.services.find(*enumeration);
  if (it == s.services.end() || !it->second.enumeration) return s.Code(kErrorInvalidHandle);
  const std::vector<Profile> profiles =
      Profiles(DesktopRegistry(s.profile_source, s.desktop_registry));
  if (index >= profiles.size()) return s.Code(kErrorNoMoreItems);
  *profile = profiles[index].id;
  return 0;
}

std::int32_t SimulatedDevice::CeSvcOpen(std::uint32_t service, std::uint32_t profile, bool create,
                                        CeSvcHandle* opened) {
  State& s = *state_;
  if (opened) *opened = kNoCeSvcHandle;
  if (s.Gate("CeSvcOpen", HexId(profile), kErrorFileNotFound, false) == sim::Admit::Refuse) {
    return static_cast<std::int32_t>(s.last_error);
  }
  if (!opened || service != kCeSvcProfile) return s.Code(kErrorInvalidParameter);
  regfile::Document doc = DesktopRegistry(s.profile_source, s.desktop_registry);
  std::string key;
  for (const Profile& p : Profiles(doc)) {
    if (p.id == profile) {
      key = p.key;
      break;
    }
  }
  if (key.empty()) {
    if (!create) return s.Code(kErrorFileNotFound);
    key = std::string(kPartners) + "\\" + utf::ToUtf8(HexId(profile));
    regfile::FindOrAddKey(doc, key);
    if (s.profile_source || s.desktop_registry.empty() ||
        !regfile::Save(s.desktop_registry, doc, regfile::Strings::Narrow)) {
      return s.Code(kErrorRegistryIo);
    }
  }
  *opened = static_cast<CeSvcHandle>(s.next_service);
  s.next_service += 4;
  s.services.emplace(*opened, sim::OpenService{false, std::move(key)});
  return 0;
}

std::int32_t SimulatedDevice::CeSvcGetString(CeSvcHandle profile, const char* name, char* buffer,
                                             std::uint32_t size) {
  State& s = *state_;
  const std::string value_name = name ? name : "";
  if (s.Gate("CeSvcGetString", utf::FromUtf8(value_name), kErrorFileNotFound, false) ==
      sim::Admit::Refuse) {
    return static_cast<std::int32_t>(s.last_error);
  }
  const auto it = s.services.find(profile);
  if (it == s.services.end() || it->second.enumeration) return s.Code(kErrorInvalidHandle);
  if (!name || (!buffer && size > 0)) return s.Code(kErrorInvalidParameter);
  const regfile::Document doc = DesktopRegistry(s.profile_source, s.desktop_registry);
  const regfile::Key* key = regfile::FindKey(doc, it->second.key);
  const regfile::Value* value = key ? regfile::FindValue(*key, value_name) : nullptr;
  if (!value) return s.Code(kErrorFileNotFound);
  if (value->type != kRegSz && value->type != kRegExpandSz) return s.Code(kErrorInvalidData);
  const auto& bytes = value->bytes;
  const std::size_t length =
      static_cast<std::size_t>(std::find(bytes.begin(), bytes.end(), 0) - bytes.begin());
  // Never cut, never overflow (no buffer means a size of 0).
  if (length + 1 > size || !buffer) return s.Code(kErrorInsufficientBuffer);
  if (length > 0) std::memcpy(buffer, bytes.data(), length);
  buffer[length] = '\0';
  return 0;
}

std::int32_t SimulatedDevice::CeSvcClose(CeSvcHandle handle) {
  State& s = *state_;
  const bool known = s.services.erase(handle) > 0;  // released whatever the call reports
  if (s.Gate("CeSvcClose", {}, kErrorInvalidHandle, false) == sim::Admit::Refuse) {
    return static_cast<std::int32_t>(s.last_error);
  }
  return known ? 0 : s.Code(kErrorInvalidHandle);
}

}  // namespace zp
