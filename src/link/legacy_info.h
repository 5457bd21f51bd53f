// The info packet an older handheld sends on its control connection: who it
// says it is. There is no GUID: its name and partner ids are all it has,
// and all of it is the handheld's own claim.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zp::link {

struct LegacyInfo {
  std::uint32_t fixed_size = 0x24;  ///< 0x24 in every packet seen
  std::uint8_t os_major = 4;        ///< 3: Pocket PC 2000/2002, 4: 2003
  std::uint8_t os_minor = 20;
  std::uint16_t build = 0;
  std::uint16_t processor_type = 0x0A11;  ///< 2577, StrongARM
  std::uint16_t unknown16 = 0;
  std::uint32_t unknown32 = 0;
  std::uint32_t partner_id = 0;  ///< partner id 1, taken as the current partnership
  std::uint32_t partner_id2 = 0;
  std::u16string name;
  std::u16string platform;
  std::u16string model;
};

/// Parses an info packet of H bytes (the bytes after its length word). Nothing
/// when a string's offset is outside the packet or its NUL is not inside
/// it; `problem` then says what.
std::optional<LegacyInfo> ParseLegacyInfo(std::span<const std::uint8_t> bytes,
                                          std::string& problem);

/// The bytes of an info packet (the handheld's side, and tests).
std::vector<std::uint8_t> BuildLegacyInfo(const LegacyInfo& info);

/// The device id of an older handheld: its partner id, or, for one that
/// never had a partnership (0, or 0xFFFFFFFF), the 32-bit FNV-1a hash of
/// its name's UTF-16LE bytes, 1 instead of 0 and 0xFFFFFFFE instead of
/// 0xFFFFFFFF.
std::uint32_t LegacyDeviceId(const LegacyInfo& info);

}  // namespace zp::link
