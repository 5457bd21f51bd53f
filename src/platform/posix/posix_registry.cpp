// The desktop registry of the POSIX stand-in: both hives in <root>/registry.reg.
#include <algorithm>

#include "platform/platform.h"
#include "platform/posix/desktop_root.h"
#include "platform/posix/posix_paths.h"
#include "platform/regfile.h"
#include "platform/settings_lock.h"

namespace zp {

// An open key keeps the registry as it was read when the key was opened
// (and as this key last wrote it).
struct RegKey::Impl {
  std::string path;  // "HKEY_LOCAL_MACHINE\Software\Brenok\ZAMO"
  RegAccess access = RegAccess::Read;
  regfile::Document doc;
};

RegKey::RegKey() noexcept = default;
RegKey::RegKey(std::unique_ptr<Impl> impl) noexcept : impl_(std::move(impl)) {}
RegKey::RegKey(RegKey&&) noexcept = default;
RegKey& RegKey::operator=(RegKey&&) noexcept = default;
RegKey::~RegKey() = default;

namespace {

std::string RegistryFile() {
  return DesktopRoot() + "/registry.reg";
}

const regfile::Value* FindValue(const RegKey& key, std::string_view name) {
  if (!key) {
    SetLastErrorCode(kErrorInvalidHandle);
    return nullptr;
  }
  const regfile::Key* k = regfile::FindKey(key.impl()->doc, key.impl()->path);
  const regfile::Value* value = k ? regfile::FindValue(*k, name) : nullptr;
  if (!value) SetLastErrorCode(kErrorFileNotFound);
  return value;
}

}  // namespace

namespace {

// A key of the registry as the file holds it now; nothing when the file
// cannot be read.
std::unique_ptr<RegKey::Impl> LoadKey(Hive hive, std::string_view subkey, RegAccess access) {
  auto impl = std::make_unique<RegKey::Impl>();
  impl->path = hive == Hive::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
  impl->access = access;
  auto doc = regfile::Load(RegistryFile(), regfile::Strings::Narrow);
  if (!doc) {
    SetLastErrorCode(kErrorAccessDenied);
    return nullptr;
  }
  impl->doc = std::move(*doc);
  if (!subkey.empty()) {
    impl->path += '\\';
    impl->path += subkey;
  }
  return impl;
}

}  // namespace

RegKey RegOpen(Hive hive, std::string_view subkey, RegAccess access) {
  auto impl = LoadKey(hive, subkey, access);
  if (!impl) return {};
  if (!subkey.empty() && !regfile::KeyExists(impl->doc, impl->path)) {
    SetLastErrorCode(kErrorFileNotFound);
    return {};
  }
  return RegKey(std::move(impl));
}

RegKey RegCreate(Hive hive, std::string_view subkey) {
  // The stand-in makes a key with the first value written into it.
  auto impl = LoadKey(hive, subkey, RegAccess::ReadWrite);
  return impl ? RegKey(std::move(impl)) : RegKey();
}

std::optional<RegData> RegQuery(const RegKey& key, std::string_view name, std::size_t limit) {
  const regfile::Value* value = FindValue(key, name);
  if (!value) return std::nullopt;
  if (value->bytes.size() > limit) {
    SetLastErrorCode(kErrorMoreData);
    return std::nullopt;
  }
  return RegData{value->type, value->bytes};
}

bool RegSetString(const RegKey& key, std::string_view name, std::string_view value) {
  if (!key) {
    SetLastErrorCode(kErrorInvalidHandle);
    return false;
  }
  RegKey::Impl& impl = *key.impl();
  if (impl.access != RegAccess::ReadWrite) {
    SetLastErrorCode(kErrorAccessDenied);
    return false;
  }
  // A name that would break the file's lines is refused before the file is
  // touched.
  if (!regfile::IsWritableName(name) || !regfile::IsWritableName(impl.path)) {
    SetLastErrorCode(kErrorInvalidName);
    return false;
  }
  // Read again and written back whole under the settings lock, so that a
  // value another session wrote meanwhile stays; never over a file with
  // lines this program could not read, since they would be lost.
  const SettingsLock lock;
  if (!lock) return false;
  const std::string file = RegistryFile();
  bool complete = false;
  auto doc = regfile::Load(file, regfile::Strings::Narrow, &complete);
  if (!doc || !complete) {
    SetLastErrorCode(doc ? kErrorWriteFault : kErrorAccessDenied);
    return false;
  }
  std::vector<std::uint8_t> bytes(value.begin(), value.end());
  bytes.push_back(0);
  regfile::SetValue(regfile::FindOrAddKey(*doc, impl.path), name, kRegSz, std::move(bytes));
  if (!posix::ReplaceDesktopFile(file, regfile::Write(*doc, regfile::Strings::Narrow))) {
    return false;
  }
  impl.doc = std::move(*doc);
  return true;
}

}  // namespace zp
