// Reading and writing the handheld's device info packet.
#include "link/device_info.h"

#include <cstdio>

#include "link/wire.h"

namespace zp::link {
namespace {

// Caps that only bound what a hostile packet can make us hold; real
// handhelds send far less (a platform and a model name of at most 255
// bytes, at most six components).
constexpr std::uint32_t kMaxNameListBytes = 4096;
constexpr std::uint32_t kMaxComponents = 256;

bool Refuse(std::string& problem, const char* what) {
  problem = what;
  return false;
}

}  // namespace

std::optional<DeviceInfo> ParseDeviceInfo(std::span<const std::uint8_t> bytes,
                                          std::string& problem) {
  WireReader in(bytes);
  DeviceInfo info;
  const auto guid = in.Bytes(16);
  if (!in.ok()) return Refuse(problem, "the packet ends inside the GUID"), std::nullopt;
  std::copy(guid.begin(), guid.end(), info.guid.begin());
  info.os_major = in.U32();
  info.os_minor = in.U32();
  const std::uint32_t name_units = in.U32();
  if (!in.ok()) return Refuse(problem, "the packet ends before the name"), std::nullopt;
  if (name_units > kMaxDeviceNameUnits)
    return Refuse(problem, "the name is longer than any device name"), std::nullopt;
  info.name = in.Utf16(name_units);
  const std::uint16_t terminator = in.U16();
  if (!in.ok()) return Refuse(problem, "the name overruns the packet"), std::nullopt;
  if (terminator != 0) return Refuse(problem, "the name is longer than its field"), std::nullopt;
  if (info.name.find(u'\0') != std::u16string::npos)
    return Refuse(problem, "the name holds a NUL inside its field"), std::nullopt;
  info.build = in.U32();
  info.processor_type = in.U32();
  info.unknown = in.U32();
  info.partner_id = in.U32();
  info.second_id = in.U32();
  const std::uint32_t platform_size = in.U32();
  if (!in.ok()) return Refuse(problem, "the packet ends before the platform name"), std::nullopt;
  if (platform_size > kMaxNameListBytes)
    return Refuse(problem, "the platform name is over its cap"), std::nullopt;
  const auto platform = in.Bytes(platform_size);
  const std::uint32_t model_size = in.U32();
  if (!in.ok()) return Refuse(problem, "the platform name overruns the packet"), std::nullopt;
  if (model_size > kMaxNameListBytes)
    return Refuse(problem, "the model name is over its cap"), std::nullopt;
  const auto model = in.Bytes(model_size);
  in.U8();  // the model name's NUL, not counted in its size
  if (!in.ok()) return Refuse(problem, "the model name overruns the packet"), std::nullopt;
  info.platform.assign(platform.begin(), platform.end());
  info.model.assign(model.begin(), model.end());
  const std::uint32_t components = in.U32();
  if (!in.ok()) return Refuse(problem, "the packet ends before the components"), std::nullopt;
  if (components > kMaxComponents || components * 8ull > in.left())
    return Refuse(problem, "the components overrun the packet"), std::nullopt;
  info.components.resize(components);
  for (auto& component : info.components) {
    const auto data = in.Bytes(8);
    std::copy(data.begin(), data.end(), component.begin());
  }
  info.lock_key = in.U32();
  if (!in.ok()) return Refuse(problem, "the packet ends before the lock key"), std::nullopt;
  // What may follow (a size and data of unknown meaning) is ignored.
  return info;
}

std::vector<std::uint8_t> BuildDeviceInfo(const DeviceInfo& info) {
  WireWriter out;
  out.Bytes(info.guid.data(), info.guid.size());
  out.U32(info.os_major).U32(info.os_minor);
  out.U32(static_cast<std::uint32_t>(info.name.size())).Utf16(info.name).U16(0);
  out.U32(info.build).U32(info.processor_type).U32(info.unknown);
  out.U32(info.partner_id).U32(info.second_id);
  out.U32(static_cast<std::uint32_t>(info.platform.size()))
      .Bytes(info.platform.data(), info.platform.size());
  out.U32(static_cast<std::uint32_t>(info.model.size()))
      .Bytes(info.model.data(), info.model.size())
      .U8(0);
  out.U32(static_cast<std::uint32_t>(info.components.size()));
  for (const auto& component : info.components) out.Bytes(component.data(), component.size());
  out.U32(info.lock_key);
  return std::move(out.bytes());
}

std::string FormatGuid(const std::array<std::uint8_t, 16>& g) {
  char text[39];
  std::snprintf(text, sizeof text,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g[3],
                g[2], g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13],
                g[14], g[15]);
  return text;
}

std::optional<std::array<std::uint8_t, 16>> ParseGuid(const std::string& text) {
  // The byte of the GUID each pair of hex digits fills, in the printed order.
  static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
  std::array<std::uint8_t, 16> guid{};
  std::size_t at = 1;
  for (int i = 0; i < 16; ++i) {
    if (at == 9 || at == 14 || at == 19 || at == 24) {
      if (text[at] != '-') return std::nullopt;
      ++at;
    }
    int value = 0;
    for (int digit = 0; digit < 2; ++digit, ++at) {
      const char c = text[at];
      int nibble = -1;
      if (c >= '0' && c <= '9') nibble = c - '0';
      if (c >= 'a' && c <= 'f') nibble = c - 'a' + 10;
      if (c >= 'A' && c <= 'F') nibble = c - 'A' + 10;
      if (nibble < 0) return std::nullopt;
      value = value * 16 + nibble;
    }
    guid[static_cast<std::size_t>(kOrder[i])] = static_cast<std::uint8_t>(value);
  }
  return at == 37 ? std::optional(guid) : std::nullopt;
}

std::uint32_t LinkDeviceId(const DeviceInfo& info) {
  if (info.partner_id != 0 && info.partner_id != 0xFFFFFFFFu) return info.partner_id;
  // FNV-1a over the GUID's 16 bytes, kept off the two ids that are never a
  // partner.
  std::uint32_t hash = 2166136261u;
  for (const std::uint8_t byte : info.guid) hash = (hash ^ byte) * 16777619u;
  if (hash == 0) return 1;
  if (hash == 0xFFFFFFFFu) return 0xFFFFFFFEu;
  return hash;
}

}  // namespace zp::link
