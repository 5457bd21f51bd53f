// The simulated handheld's registry: device.reg held in memory from the
// moment the connection opens, written through on every change.
#include <algorithm>
#include <utility>

#include "platform/name_rules.h"
#include "platform/utf.h"
#include "simulator/sim_state.h"

namespace zp {
namespace {

constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";
constexpr std::uint32_t kCreatedNewKey = 1;
constexpr std::uint32_t kOpenedExistingKey = 2;

// `base` and the components of `subkey` ("Software\Brenok\ZAMO"), empty
// components skipped.
std::string Join(std::string base, const std::u16string& subkey) {
  const std::string sub = utf::ToUtf8(subkey);
  for (std::size_t start = 0; start <= sub.size();) {
    const std::size_t end = std::min(sub.find('\\', start), sub.size());
    if (end > start) base += "\\" + sub.substr(start, end - start);
    start = end + 1;
  }
  return base;
}

// The root always exists; any other key as the registry file tells.
bool KeyExists(const regfile::Document& doc, const std::string& path) {
  return NarrowNames::Equal(path, kRoot) || regfile::KeyExists(doc, path);
}

}  // namespace

namespace sim {

std::optional<std::uint32_t> ReadDword(const regfile::Document& doc, std::string_view key,
                                       std::string_view name) {
  const regfile::Key* k = regfile::FindKey(doc, key);
  const regfile::Value* v = k ? regfile::FindValue(*k, name) : nullptr;
  if (!v || v->type != kRegDword || v->bytes.size() != 4) return std::nullopt;
  const auto& b = v->bytes;
  return b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t{b[3]} << 24);
}

}  // namespace sim

std::optional<std::string> SimulatedDevice::State::KeyPath(CeKey key) const {
  if (key == kCeHkeyLocalMachine) return std::string(kRoot);
  const auto it = keys.find(key);
  if (it == keys.end()) return std::nullopt;
  return it->second.path;
}

CeKey SimulatedDevice::State::AddKey(std::string path) {
  const auto value = static_cast<CeKey>(next_key);
  next_key += 4;
  const std::string_view relative =
      std::string_view(path).substr(std::min(path.size(), kRoot.size() + 1));
  std::u16string subkey = utf::FromUtf8(relative);  // before `path` is moved from
  sim::OpenKey key{std::move(path), std::move(subkey)};
  keys.emplace(value, std::move(key));
  return value;
}

std::optional<std::string> SimulatedDevice::State::KeyToOpen(std::string_view call,
                                                             std::uint32_t usual, CeKey root,
                                                             const std::u16string& subkey,
                                                             CeKey* opened, std::int32_t& code) {
  if (opened) *opened = kNoCeKey;
  if (Gate(call, subkey, usual) == sim::Admit::Refuse) {
    code = static_cast<std::int32_t>(last_error);
    return std::nullopt;
  }
  const auto base = KeyPath(root);
  if (!opened || !base) {
    code = Code(opened ? kErrorInvalidHandle : kErrorInvalidParameter);
    return std::nullopt;
  }
  return Join(*base, subkey);
}

std::int32_t SimulatedDevice::CeRegOpenKeyEx(CeKey root, const std::u16string& subkey,
                                             CeKey* opened) {
  State& s = *state_;
  std::int32_t code = 0;
  auto path = s.KeyToOpen("CeRegOpenKeyEx", kErrorFileNotFound, root, subkey, opened, code);
  if (!path) return code;
  if (!KeyExists(s.registry, *path)) return s.Code(kErrorFileNotFound);
  *opened = s.AddKey(std::move(*path));
  return 0;
}

std::int32_t SimulatedDevice::CeRegCreateKeyEx(CeKey root, const std::u16string& subkey,
                                               CeKey* opened, std::uint32_t* disposition) {
  State& s = *state_;
  std::int32_t code = 0;
  auto path = s.KeyToOpen("CeRegCreateKeyEx", kErrorAccessDenied, root, subkey, opened, code);
  if (!path) return code;
  const bool existed = KeyExists(s.registry, *path);
  if (!existed) {
    regfile::FindOrAddKey(s.registry, *path);
    if (!regfile::Save(s.DeviceRegFile(), s.registry, regfile::Strings::Wide)) {
      s.registry.keys.pop_back();  // not on the device, so not in memory either
      return s.Code(kErrorRegistryIo);
    }
  }
  if (disposition) *disposition = existed ? kOpenedExistingKey : kCreatedNewKey;
  *opened = s.AddKey(std::move(*path));
  return 0;
}

std::int32_t SimulatedDevice::CeRegQueryValueEx(CeKey key, const std::u16string& name,
                                                std::uint32_t* type, std::uint8_t* data,
                                                std::uint32_t* size) {
  State& s = *state_;
  if (s.Gate("CeRegQueryValueEx", name, kErrorFileNotFound) == sim::Admit::Refuse) {
    return static_cast<std::int32_t>(s.last_error);
  }
  const auto path = s.KeyPath(key);
  if (!path) return s.Code(kErrorInvalidHandle);
  if (data && !size) return s.Code(kErrorInvalidParameter);
  const regfile::Key* k = regfile::FindKey(s.registry, *path);
  const regfile::Value* v = k ? regfile::FindValue(*k, utf::ToUtf8(name)) : nullptr;
  if (!v) return s.Code(kErrorFileNotFound);
  const auto needed = static_cast<std::uint32_t>(v->bytes.size());
  if (type) *type = v->type;
  if (data && *size < needed) {
    *size = needed;
    return s.Code(kErrorMoreData);
  }
  if (data) std::copy(v->bytes.begin(), v->bytes.end(), data);
  if (size) *size = needed;
  return 0;
}

std::int32_t SimulatedDevice::CeRegSetValueEx(CeKey key, const std::u16string& name,
                                              std::uint32_t type, const std::uint8_t* data,
                                              std::uint32_t size) {
  State& s = *state_;
  if (s.Gate("CeRegSetValueEx", name, kErrorAccessDenied) == sim::Admit::Refuse) {
    return static_cast<std::int32_t>(s.last_error);
  }
  const auto path = s.KeyPath(key);
  if (!path) return s.Code(kErrorInvalidHandle);
  if (!data && size > 0) return s.Code(kErrorInvalidParameter);
  std::vector<std::uint8_t> bytes(data, data + size);
  regfile::SetValue(regfile::FindOrAddKey(s.registry, *path), utf::ToUtf8(name), type,
                    std::move(bytes));
  if (!regfile::Save(s.DeviceRegFile(), s.registry, regfile::Strings::Wide)) {
    return s.Code(kErrorRegistryIo);
  }
  return 0;
}

std::int32_t SimulatedDevice::CeRegCloseKey(CeKey key) {
  State& s = *state_;
  auto node = s.keys.extract(key);  // released whatever the call reports, as handles are
  const std::u16string subkey = node ? node.mapped().subkey : std::u16string();
  if (s.Gate("CeRegCloseKey", subkey, kErrorInvalidHandle) == sim::Admit::Refuse) {
    return static_cast<std::int32_t>(s.last_error);
  }
  if (!node && key != kCeHkeyLocalMachine) return s.Code(kErrorInvalidHandle);
  return 0;
}

}  // namespace zp
