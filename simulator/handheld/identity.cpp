// Reading the handheld's identity from its device.reg.
#include "simulator/handheld/identity.h"

#include <filesystem>

#include "platform/platform.h"
#include "platform/regfile.h"
#include "platform/utf.h"

namespace zp::handheld {
namespace {

constexpr std::string_view kIdentKey = "HKEY_LOCAL_MACHINE\\Ident";

const regfile::Value* Find(const regfile::Document& doc, std::string_view name) {
  const regfile::Key* key = regfile::FindKey(doc, kIdentKey);
  return key ? regfile::FindValue(*key, name) : nullptr;
}

std::optional<std::uint32_t> Dword(const regfile::Document& doc, std::string_view name) {
  const regfile::Value* v = Find(doc, name);
  if (!v || v->type != kRegDword || v->bytes.size() != 4) return std::nullopt;
  const auto& b = v->bytes;
  return b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t{b[3]} << 24);
}

// A string of the handheld's registry: UTF-16LE, its NUL dropped.
std::optional<std::u16string> Text(const regfile::Document& doc, std::string_view name) {
  const regfile::Value* v = Find(doc, name);
  if (!v || v->type != kRegSz) return std::nullopt;
  std::u16string text;
  for (std::size_t i = 0; i + 1 < v->bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(v->bytes[i] | (v->bytes[i + 1] << 8)));
  }
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

}  // namespace

std::array<std::uint8_t, 16> GuidFromPartner(std::uint32_t partner) {
  std::array<std::uint8_t, 16> guid{};
  for (std::size_t i = 0; i < 4; ++i) guid[i] = static_cast<std::uint8_t>(partner >> (8 * i));
  return guid;
}

std::optional<Identity> LoadIdentity(const Options& options, std::string& problem) {
  const std::string file = (std::filesystem::path(options.world) / "device.reg").string();
  const auto doc = regfile::Load(file, regfile::Strings::Wide);
  if (!doc) {
    problem = "cannot read " + file;
    return std::nullopt;
  }
  Identity id;
  link::DeviceInfo& info = id.info;
  info.partner_id = options.partner.value_or(Dword(*doc, "DeviceId").value_or(0));
  info.name = options.name ? utf::FromUtf8(*options.name)
                           : Text(*doc, "Name").value_or(utf::FromUtf8(kDefaultName));
  std::optional<std::string> guid_text = options.guid;
  if (!guid_text) {
    if (const auto text = Text(*doc, "Guid")) guid_text = utf::ToUtf8(*text);
  }
  if (guid_text) {
    const auto guid = link::ParseGuid(*guid_text);
    if (!guid) {
      problem = "not a GUID: " + *guid_text;
      return std::nullopt;
    }
    info.guid = *guid;
  } else {
    info.guid = GuidFromPartner(info.partner_id);
  }
  info.os_major = kOsMajor;
  info.os_minor = kOsMinor;
  info.build = kOsBuild;
  info.processor_type = Dword(*doc, "ProcessorType").value_or(kDefaultProcessor);
  info.platform = std::string("PocketPC\0\0", 10);
  info.model = "ZP-Sim";
  info.lock_key = options.lock.value_or(Dword(*doc, "LockKey").value_or(link::kLockNone));
  id.password = options.password ? utf::FromUtf8(*options.password)
                                 : Text(*doc, "Password").value_or(std::u16string());
  return id;
}

bool PasswordMatches(std::span<const std::uint8_t> encoded, std::uint32_t lock_key,
                     const std::u16string& password) {
  if (encoded.size() % 2 != 0) return false;
  const auto mask = static_cast<std::uint8_t>(lock_key & 0xFF);
  std::u16string text;
  for (std::size_t i = 0; i < encoded.size(); i += 2) {
    const auto low = static_cast<std::uint8_t>(encoded[i] ^ mask);
    const auto high = static_cast<std::uint8_t>(encoded[i + 1] ^ mask);
    text.push_back(static_cast<char16_t>(low | (high << 8)));
  }
  if (!text.empty() && text.back() == u'\0') text.pop_back();
  return text == password;
}

}  // namespace zp::handheld
