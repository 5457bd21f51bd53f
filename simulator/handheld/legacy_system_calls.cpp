// The older handheld's own state as its remote API reports it: the system
// information, its version (the info packet's), the memory division, its
// store (the world's file system), its power (always on the cradle,
// battery full) and its special folders (a Pocket PC's). Each passes the
// fault rules.
#include <algorithm>
#include <iterator>
#include <system_error>
#include <utility>

#include "platform/platform.h"
#include "simulator/handheld/legacy_calls.h"
#include "simulator/handheld/wire_values.h"
#include "simulator/sim_state.h"

namespace zp::handheld {
namespace {

using link::WireReader;
using link::WireWriter;

constexpr std::uint32_t kSystemInfoSize = 36;
constexpr std::uint32_t kVersionInfoSize = 276;  // CEOSVERSIONINFO
constexpr std::uint32_t kPlatformWinCe = 3;
constexpr std::size_t kVersionTextUnits = 128;
constexpr std::uint32_t kStoreSize = 8;
constexpr std::uint32_t kPowerStatusSize = 24;

// CeGetSystemMemoryDivision: store pages, RAM pages, the page size.
constexpr std::uint32_t kPageSize = 4096;
constexpr std::uint32_t kStorePages = 4096;
constexpr std::uint32_t kRamPages = 4096;

constexpr std::uint8_t kAcOnline = 1;
constexpr std::uint8_t kBatteryHigh = 1;
constexpr std::uint32_t kUnknownLifeTime = 0xFFFFFFFFu;

// CSIDL numbers and where a Pocket PC keeps them; folder 0 is
// \My Documents on these handhelds.
constexpr std::pair<std::uint32_t, std::u16string_view> kSpecialFolders[] = {
    {0x00, u"\\My Documents"},        {0x02, u"\\Windows\\Start Menu\\Programs"},
    {0x05, u"\\My Documents"},        {0x06, u"\\Windows\\Favorites"},
    {0x07, u"\\Windows\\StartUp"},    {0x08, u"\\Windows\\Recent"},
    {0x0B, u"\\Windows\\Start Menu"}, {0x10, u"\\Windows\\Desktop"},
    {0x14, u"\\Windows\\Fonts"},      {0x26, u"\\Program Files"},
};

// SYSTEM_INFO's architecture of a processor type.
std::uint16_t ArchitectureOf(std::uint32_t processor_type) {
  constexpr std::uint16_t kMips = 1;
  constexpr std::uint16_t kShx = 4;
  constexpr std::uint16_t kArm = 5;
  switch (processor_type) {
    case 4000:  // MIPS R4000
      return kMips;
    case 10003:  // SH3
    case 10004:  // SH4
      return kShx;
    default:
      return kArm;
  }
}

std::uint32_t Clamp32(std::uintmax_t value) {
  return static_cast<std::uint32_t>(std::min<std::uintmax_t>(value, 0xFFFFFFFFu));
}

}  // namespace

// le, then the SYSTEM_INFO: no rv.
Served LegacyCalls::GetSystemInfo(WireReader& in, WireWriter& out, SessionOwned&) {
  const bool asked = Room(in, kSystemInfoSize);
  if (!in.ok()) return Served::Unreadable;
  CeSystemInfo info;
  device_.CeGetSystemInfo(&info);
  if (After() == Served::LinkLost) return Served::LinkLost;
  const std::uint32_t type = info.dwProcessorType;
  out.U32(type != 0 ? 0 : device_.CeGetLastError());
  WireWriter record;
  record.U16(type != 0 ? ArchitectureOf(type) : 0).U16(0);
  record.U32(kPageSize);
  record.U32(0x00010000);  // lowest application address
  record.U32(0x7FFFFFFF);  // highest application address
  record.U32(1).U32(1);    // processor mask, number of processors
  record.U32(type);
  record.U32(0x00010000);  // allocation granularity
  record.U16(0).U16(0);    // level, revision
  ReplyValue(out, asked, record.bytes());
  return Served::Reply;
}

Served LegacyCalls::GetVersionEx(WireReader& in, WireWriter& out, SessionOwned&) {
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t error = 0;
  if (Gate("CeGetVersionEx", {}, kErrorGenFailure, error) == Admit::LinkLost) {
    return Served::LinkLost;
  }
  LastErrorAndResult(out, error == 0, error, error == 0 ? 1 : 0);
  out.U32(kVersionInfoSize);
  out.U32(kVersionInfoSize);
  out.U32(error == 0 ? info_.os_major : 0).U32(error == 0 ? info_.os_minor : 0);
  out.U32(error == 0 ? info_.build : 0).U32(error == 0 ? kPlatformWinCe : 0);
  for (std::size_t i = 0; i < kVersionTextUnits; ++i) out.U16(0);
  return Served::Reply;
}

Served LegacyCalls::GetSystemMemoryDivision(WireReader& in, WireWriter& out, SessionOwned&) {
  const bool store_asked = Room(in, 4);
  const bool ram_asked = Room(in, 4);
  const bool page_asked = Room(in, 4);
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t error = 0;
  if (Gate("CeGetSystemMemoryDivision", {}, kErrorGenFailure, error) == Admit::LinkLost) {
    return Served::LinkLost;
  }
  const bool ok = error == 0;
  LastErrorAndResult(out, ok, error, ok ? 1 : 0);
  ReplyU32(out, ok && store_asked, kStorePages);
  ReplyU32(out, ok && ram_asked, kRamPages);
  ReplyU32(out, ok && page_asked, kPageSize);
  return Served::Reply;
}

Served LegacyCalls::GetStoreInformation(WireReader& in, WireWriter& out, SessionOwned&) {
  const bool asked = Room(in, kStoreSize);
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
  WireWriter store;
  store.U32(Clamp32(space.capacity)).U32(Clamp32(space.available));
  ReplyValue(out, error == 0 && asked, store.bytes());
  return Served::Reply;
}

Served LegacyCalls::GetSystemPowerStatusEx(WireReader& in, WireWriter& out, SessionOwned&) {
  const bool asked = Room(in, kPowerStatusSize);
  in.U32();  // refresh
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t error = 0;
  if (Gate("CeGetSystemPowerStatusEx", {}, kErrorGenFailure, error) == Admit::LinkLost) {
    return Served::LinkLost;
  }
  LastErrorAndResult(out, error == 0, error, error == 0 ? 1 : 0);
  WireWriter status;
  status.U8(kAcOnline).U8(kBatteryHigh).U8(100).U8(0);
  status.U32(kUnknownLifeTime).U32(kUnknownLifeTime);
  status.U8(0).U8(kBatteryHigh).U8(100).U8(0);
  status.U32(kUnknownLifeTime).U32(kUnknownLifeTime);
  ReplyValue(out, error == 0 && asked, status.bytes());
  return Served::Reply;
}

// le, the count of characters (no NUL), the characters and a NUL; the
// buffer must have room for the NUL too.
Served LegacyCalls::GetSpecialFolderPath(WireReader& in, WireWriter& out, SessionOwned&) {
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
    out.U32(error).U32(0).U16(0);
    return Served::Reply;
  }
  out.U32(0).U32(static_cast<std::uint32_t>(it->second.size())).Utf16(it->second).U16(0);
  return Served::Reply;
}

}  // namespace zp::handheld
