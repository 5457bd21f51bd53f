// Reading and writing the older handhelds' info packet.
#include "link/legacy_info.h"

#include "link/legacy_protocol.h"
#include "link/wire.h"

namespace zp::link {
namespace {

constexpr std::size_t kFixedBytes = 36;

// The NUL-terminated UTF-16 string at `offset`, inside `bytes`.
std::optional<std::u16string> StringAt(std::span<const std::uint8_t> bytes, std::uint32_t offset,
                                       const char* what, std::string& problem) {
  if (offset < kFixedBytes || offset >= bytes.size()) {
    problem = std::string("the ") + what + " is outside the packet";
    return std::nullopt;
  }
  std::u16string text;
  for (std::size_t at = offset; at + 1 < bytes.size(); at += 2) {
    const auto unit = static_cast<char16_t>(bytes[at] | bytes[at + 1] << 8);
    if (unit == 0) return text;
    text.push_back(unit);
  }
  problem = std::string("the ") + what + " has no NUL inside the packet";
  return std::nullopt;
}

}  // namespace

std::optional<LegacyInfo> ParseLegacyInfo(std::span<const std::uint8_t> bytes,
                                          std::string& problem) {
  if (bytes.size() < kLegacyLeastInfo || bytes.size() > kLegacyMostInfo) {
    problem = "an info packet of " + std::to_string(bytes.size()) + " bytes";
    return std::nullopt;
  }
  WireReader in(bytes);
  LegacyInfo info;
  info.fixed_size = in.U32();
  info.os_major = in.U8();
  info.os_minor = in.U8();
  info.build = in.U16();
  info.processor_type = in.U16();
  info.unknown16 = in.U16();
  info.unknown32 = in.U32();
  info.partner_id = in.U32();
  info.partner_id2 = in.U32();
  const std::uint32_t name_at = in.U32();
  const std::uint32_t platform_at = in.U32();
  const std::uint32_t model_at = in.U32();
  if (!in.ok()) {
    problem = "the packet ends inside its fixed part";
    return std::nullopt;
  }
  auto name = StringAt(bytes, name_at, "name", problem);
  if (!name) return std::nullopt;
  auto platform = StringAt(bytes, platform_at, "platform name", problem);
  if (!platform) return std::nullopt;
  auto model = StringAt(bytes, model_at, "model name", problem);
  if (!model) return std::nullopt;
  info.name = std::move(*name);
  info.platform = std::move(*platform);
  info.model = std::move(*model);
  return info;
}

std::vector<std::uint8_t> BuildLegacyInfo(const LegacyInfo& info) {
  WireWriter out;
  out.U32(info.fixed_size).U8(info.os_major).U8(info.os_minor).U16(info.build);
  out.U16(info.processor_type).U16(info.unknown16).U32(info.unknown32);
  out.U32(info.partner_id).U32(info.partner_id2);
  const auto name_at = static_cast<std::uint32_t>(kFixedBytes);
  const auto platform_at = static_cast<std::uint32_t>(name_at + 2 * (info.name.size() + 1));
  const auto model_at = static_cast<std::uint32_t>(platform_at + 2 * (info.platform.size() + 1));
  out.U32(name_at).U32(platform_at).U32(model_at);
  for (const std::u16string* text : {&info.name, &info.platform, &info.model}) {
    out.Utf16(*text).U16(0);
  }
  return std::move(out.bytes());
}

std::uint32_t LegacyDeviceId(const LegacyInfo& info) {
  if (info.partner_id != 0 && info.partner_id != 0xFFFFFFFFu) return info.partner_id;
  std::uint32_t hash = 2166136261u;
  for (const char16_t unit : info.name) {
    hash = (hash ^ static_cast<std::uint8_t>(unit & 0xFF)) * 16777619u;
    hash = (hash ^ static_cast<std::uint8_t>(unit >> 8)) * 16777619u;
  }
  if (hash == 0) return 1;
  if (hash == 0xFFFFFFFFu) return 0xFFFFFFFEu;
  return hash;
}

}  // namespace zp::link
