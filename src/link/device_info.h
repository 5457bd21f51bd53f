// The device info packet a handheld sends on its control connection: who
// it says it is and whether it is locked. Everything in it is the device's
// own claim.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zp::link {

/// The lock key of a handheld that is not locked.
inline constexpr std::uint32_t kLockNone = 0;
/// The lock key of a handheld the user unlocks on the device itself.
inline constexpr std::uint32_t kLockOnDevice = 0xFFFFFFFFu;

/// The longest info packet taken; a larger one is refused before anything
/// is allocated. Real packets are a few hundred bytes.
inline constexpr std::uint32_t kMaxDeviceInfoBytes = 64 * 1024;
/// The longest device name taken, in characters. Observed names are at most
/// 31 characters; the cap only keeps a hostile packet's name bounded.
inline constexpr std::uint32_t kMaxDeviceNameUnits = 1024;

struct DeviceInfo {
  std::array<std::uint8_t, 16> guid{};
  std::uint32_t os_major = 0;
  std::uint32_t os_minor = 0;
  std::u16string name;
  std::uint32_t build = 0;
  std::uint32_t processor_type = 0;
  std::uint32_t unknown = 0;
  std::uint32_t partner_id = 0;
  std::uint32_t second_id = 0;
  std::string platform;  ///< NUL-separated names as sent
  std::string model;
  std::vector<std::array<std::uint8_t, 8>> components;
  std::uint32_t lock_key = kLockNone;
};

/// Parses the N bytes of an info packet. Nothing when a length overruns the
/// packet or a cap, or the name has no terminator; `problem` then says what
/// did not add up.
std::optional<DeviceInfo> ParseDeviceInfo(std::span<const std::uint8_t> bytes,
                                          std::string& problem);

/// The bytes of an info packet (the handheld's side, and tests).
std::vector<std::uint8_t> BuildDeviceInfo(const DeviceInfo& info);

/// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", upper case, as a GUID is printed.
std::string FormatGuid(const std::array<std::uint8_t, 16>& guid);
/// The reverse; nothing when the text is not such a GUID.
std::optional<std::array<std::uint8_t, 16>> ParseGuid(const std::string& text);

/// The device id of a handheld: its current partner id, or, for a handheld
/// that never had a partnership (0, or the guest id 0xFFFFFFFF), a number
/// made from its GUID that is
/// never 0 or 0xFFFFFFFF.
std::uint32_t LinkDeviceId(const DeviceInfo& info);

}  // namespace zp::link
