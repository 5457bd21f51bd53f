// The desktop registry on Windows: RegOpenKeyExA, RegCreateKeyExA, RegQueryValueExA,
// RegSetValueExA.
#include "platform/win32/windows_api.h"

#include <algorithm>
#include <limits>

#include "platform/platform.h"

namespace zp {

struct RegKey::Impl {
  explicit Impl(HKEY opened) noexcept : key(opened) {}
  ~Impl() { ::RegCloseKey(key); }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  HKEY key;
};

RegKey::RegKey() noexcept = default;
RegKey::RegKey(std::unique_ptr<Impl> impl) noexcept : impl_(std::move(impl)) {}
RegKey::RegKey(RegKey&&) noexcept = default;
RegKey& RegKey::operator=(RegKey&&) noexcept = default;
RegKey::~RegKey() = default;

namespace {

// The registry calls return their code instead of setting the last error.
bool Succeeded(LSTATUS status) {
  if (status == ERROR_SUCCESS) return true;
  ::SetLastError(static_cast<DWORD>(status));
  return false;
}

bool IsOpen(const RegKey& key) {
  if (key) return true;
  ::SetLastError(ERROR_INVALID_HANDLE);
  return false;
}

}  // namespace

// The program's settings live in the 32-bit view of the registry, where the
// 32-bit programs of the field system keep theirs: the 64-bit program reads
// and writes the same PathSync as the 32-bit one, whichever package put it
// there. A 32-bit program is in that view already; HKEY_CURRENT_USER\Software
// is one for both.
RegKey RegOpen(Hive hive, std::string_view subkey, RegAccess access) {
  const HKEY root = hive == Hive::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  const REGSAM sam =
      (access == RegAccess::Read ? KEY_READ : KEY_READ | KEY_WRITE) | KEY_WOW64_32KEY;
  const std::string name(subkey);
  HKEY opened = nullptr;
  if (!Succeeded(::RegOpenKeyExA(root, name.c_str(), 0, sam, &opened))) return {};
  return RegKey(std::make_unique<RegKey::Impl>(opened));
}

// The same view as RegOpen; the key gets the default security of its
// parent (under HKEY_CURRENT_USER: the user's own account, the system and
// the administrators).
RegKey RegCreate(Hive hive, std::string_view subkey) {
  const HKEY root = hive == Hive::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  const std::string name(subkey);
  HKEY made = nullptr;
  if (!Succeeded(::RegCreateKeyExA(root, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_READ | KEY_WRITE | KEY_WOW64_32KEY, nullptr, &made,
                                   nullptr))) {
    return {};
  }
  return RegKey(std::make_unique<RegKey::Impl>(made));
}

std::optional<RegData> RegQuery(const RegKey& key, std::string_view name, std::size_t limit) {
  if (!IsOpen(key)) return std::nullopt;
  const std::string value_name(name);
  const DWORD capacity =
      static_cast<DWORD>(std::min<std::size_t>(limit, std::numeric_limits<DWORD>::max()));
  // Never a null buffer: with one, the call would only report the size.
  std::vector<std::uint8_t> bytes(std::max<std::size_t>(capacity, 1));
  DWORD type = 0;
  DWORD size = capacity;
  if (!Succeeded(::RegQueryValueExA(key.impl()->key, value_name.c_str(), nullptr, &type,
                                    bytes.data(), &size))) {
    return std::nullopt;
  }
  bytes.resize(size);
  return RegData{static_cast<std::uint32_t>(type), std::move(bytes)};
}

bool RegSetString(const RegKey& key, std::string_view name, std::string_view value) {
  if (!IsOpen(key)) return false;
  const std::string value_name(name);
  const std::string text(value);  // c_str() adds the terminator stored with the text
  if (text.size() >= std::numeric_limits<DWORD>::max()) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return Succeeded(::RegSetValueExA(key.impl()->key, value_name.c_str(), 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(text.c_str()),
                                    static_cast<DWORD>(text.size() + 1)));
}

}  // namespace zp
