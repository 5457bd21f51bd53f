// The handheld's own state as the remote API reports it: its store (the
// world's file system), its version, its power (always on the cradle,
// battery full) and its special folders. Each passes the fault rules.
#include <algorithm>
#include <iterator>
#include <system_error>
#include <utility>

#include "platform/platform.h"
#include "simulator/handheld/identity.h"
#include "simulator/handheld/rapi_calls.h"
#include "simulator/handheld/wire_values.h"
#include "simulator/sim_state.h"

namespace zp::handheld {
namespace {

constexpr std::uint32_t kVersionInfoSize = 276;  // CEOSVERSIONINFO
constexpr std::uint32_t kPlatformWinCe = 3;
constexpr std::size_t kVersionTextUnits = 128;

constexpr std::uint8_t kAcOnline = 1;
constexpr std::uint8_t kBatteryHigh = 1;
constexpr std::uint32_t kUnknownLifeTime = 0xFFFFFFFFu;

// CSIDL numbers and where a Windows Mobile handheld keeps them.
constexpr std::pair<std::uint32_t, std::u16string_view> kSpecialFolders[] = {
    {0x00, u"\\Windows\\Desktop"},    {0x02, u"\\Windows\\Start Menu\\Programs"},
    {0x05, u"\\My Documents"},        {0x06, u"\\Windows\\Favorites"},
    {0x07, u"\\Windows\\StartUp"},    {0x08, u"\\Windows\\Recent"},
    {0x0B, u"\\Windows\\Start Menu"}, {0x10, u"\\Windows\\Desktop"},
    {0x14, u"\\Windows\\Fonts"},      {0x26, u"\\Program Files"},
};

std::uint32_t Clamp32(std::uintmax_t value) {
  return static_cast<std::uint32_t>(std::min<std::uintmax_t>(value, 0xFFFFFFFFu));
}

}  // namespace

Served RapiCalls::GetStoreInformation(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t error = 0;
  if (Gate("CeGetStoreInformation", {}, kErrorGenFailure, error) == Admit::LinkLost) {
    return Served::LinkLost;
  }
  std::filesystem::space_info space{};
  if (error == 0) {
    std::error_code ec;
    space = std::filesystem::space(files_root_, ec);
    if (ec) error = kErrorReadFault;
  }
  LastErrorAndResult(out, error == 0, error, error == 0 ? 1 : 0);
  out.U32(error == 0 ? Clamp32(space.capacity) : 0);
  out.U32(error == 0 ? Clamp32(space.available) : 0);
  return Served::Reply;
}

Served RapiCalls::GetVersionEx(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t error = 0;
  if (Gate("CeGetVersionEx", {}, kErrorGenFailure, error) == Admit::LinkLost) {
    return Served::LinkLost;
  }
  LastErrorAndResult(out, error == 0, error, error == 0 ? 1 : 0);
  out.U32(kVersionInfoSize);
  out.U32(kVersionInfoSize);
  out.U32(error == 0 ? kOsMajor : 0).U32(error == 0 ? kOsMinor : 0);
  out.U32(error == 0 ? kOsBuild : 0).U32(error == 0 ? kPlatformWinCe : 0);
  for (std::size_t i = 0; i < kVersionTextUnits; ++i) out.U16(0);
  return Served::Reply;
}

// No last error in this reply: rv, then the 24-byte status.
Served RapiCalls::GetSystemPowerStatusEx(link::WireReader& in, link::WireWriter& out,
                                         SessionOwned&) {
  in.U32();  // refresh
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t error = 0;
  if (Gate("CeGetSystemPowerStatusEx", {}, kErrorGenFailure, error) == Admit::LinkLost) {
    return Served::LinkLost;
  }
  if (error != 0) {
    out.U32(0);
    for (int i = 0; i < 6; ++i) out.U32(0);
    return Served::Reply;
  }
  out.U32(1);
  out.U8(kAcOnline).U8(kBatteryHigh).U8(100).U8(0);
  out.U32(kUnknownLifeTime).U32(kUnknownLifeTime);
  out.U8(0).U8(kBatteryHigh).U8(100).U8(0);
  out.U32(kUnknownLifeTime).U32(kUnknownLifeTime);
  return Served::Reply;
}

// le, the count of characters (no NUL), the characters; the buffer must
// have room for the NUL too.
Served RapiCalls::GetSpecialFolderPath(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  const std::uint32_t csidl = in.U32();
  const std::uint32_t room = in.U32();
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t error = 0;
  if (Gate("CeGetSpecialFolderPath", {}, kErrorGenFailure, error) == Admit::LinkLost) {
    return Served::LinkLost;
  }
  const auto it = std::find_if(std::begin(kSpecialFolders), std::end(kSpecialFolders),
                               [&](const auto& entry) { return entry.first == csidl; });
  if (error == 0 && it == std::end(kSpecialFolders)) error = kErrorInvalidParameter;
  if (error == 0 && it->second.size() + 1 > room) error = kErrorInsufficientBuffer;
  if (error != 0) {
    out.U32(error).U32(0);
    return Served::Reply;
  }
  out.U32(0).U32(static_cast<std::uint32_t>(it->second.size())).Utf16(it->second);
  return Served::Reply;
}

}  // namespace zp::handheld
