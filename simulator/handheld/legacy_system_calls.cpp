// The older handheld's own state as its remote API reports it: the system
// information, its version (the info packet's), the memory division, its
// store (the world's file system), its power (always on the cradle,
// battery full) and its special folders (a Pocket PC's). Each passes the
// fault rules.
#include "simulator/handheld/legacy_calls.h"
#include "simulator/handheld/wire_values.h"

namespace zp::handheld {
namespace {

using link::WireReader;
using link::WireWriter;

constexpr std::uint32_t kSystemInfoSize = 36;
constexpr std::uint32_t kStoreSize = 8;
constexpr std::uint32_t kPowerStatusSize = 24;

// CeGetSystemMemoryDivision: store pages, RAM pages, the page size.
constexpr std::uint32_t kPageSize = 4096;
constexpr std::uint32_t kStorePages = 4096;
constexpr std::uint32_t kRamPages = 4096;

// CSIDL numbers and where a Pocket PC keeps them; folder 0 is
// \My Documents on these handhelds.
constexpr SpecialFolder kSpecialFolders[] = {
    {0x00, u"\\My Documents"},        {0x02, u"\\Windows\\Start Menu\\Programs"},
    {0x05, u"\\My Documents"},        {0x06, u"\\Windows\\Favorites"},
    {0x07, u"\\Windows\\StartUp"},    {0x08, u"\\Windows\\Recent"},
    {0x0B, u"\\Windows\\Start Menu"}, {0x10, u"\\Windows\\Desktop"},
    {0x14, u"\\Windows\\Fonts"},      {0x26, u"\\Program Files"},
};

}  // namespace

// le, then the SYSTEM_INFO: no rv.
Served LegacyCalls::GetSystemInfo(WireReader& in, WireWriter& out, SessionOwned&) {
  const bool asked = Room(in, kSystemInfoSize);
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t type = 0;
  const Done done = ops_.GetSystemInfo(type);
  if (done.lost) return Served::LinkLost;
  out.U32(done.ok ? 0 : done.error);
  WireWriter record;
  WriteSystemInfo(record, type);
  ReplyValue(out, asked, record.bytes());
  return Served::Reply;
}

Served LegacyCalls::GetVersionEx(WireReader& in, WireWriter& out, SessionOwned&) {
  if (!in.ok()) return Served::Unreadable;
  const Done done = ops_.Admit("CeGetVersionEx");
  if (done.lost) return Served::LinkLost;
  WriteVersion(out, done.error, info_.os_major, info_.os_minor, info_.build);
  return Served::Reply;
}

Served LegacyCalls::GetSystemMemoryDivision(WireReader& in, WireWriter& out, SessionOwned&) {
  const bool store_asked = Room(in, 4);
  const bool ram_asked = Room(in, 4);
  const bool page_asked = Room(in, 4);
  if (!in.ok()) return Served::Unreadable;
  const Done done = ops_.Admit("CeGetSystemMemoryDivision");
  if (done.lost) return Served::LinkLost;
  WriteOutcome(out, done);
  ReplyU32(out, done.ok && store_asked, kStorePages);
  ReplyU32(out, done.ok && ram_asked, kRamPages);
  ReplyU32(out, done.ok && page_asked, kPageSize);
  return Served::Reply;
}

Served LegacyCalls::GetStoreInformation(WireReader& in, WireWriter& out, SessionOwned&) {
  const bool asked = Room(in, kStoreSize);
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t capacity = 0;
  std::uint32_t available = 0;
  const Done done = ops_.GetStoreInformation(capacity, available);
  if (done.lost) return Served::LinkLost;
  WriteOutcome(out, done);
  WireWriter store;
  store.U32(capacity).U32(available);
  ReplyValue(out, done.ok && asked, store.bytes());
  return Served::Reply;
}

Served LegacyCalls::GetSystemPowerStatusEx(WireReader& in, WireWriter& out, SessionOwned&) {
  const bool asked = Room(in, kPowerStatusSize);
  in.U32();  // refresh
  if (!in.ok()) return Served::Unreadable;
  const Done done = ops_.Admit("CeGetSystemPowerStatusEx");
  if (done.lost) return Served::LinkLost;
  WriteOutcome(out, done);
  WireWriter status;
  WritePowerStatus(status);
  ReplyValue(out, done.ok && asked, status.bytes());
  return Served::Reply;
}

// le, the count of characters (no NUL), the characters and a NUL; the
// buffer must have room for the NUL too.
Served LegacyCalls::GetSpecialFolderPath(WireReader& in, WireWriter& out, SessionOwned&) {
  const std::uint32_t csidl = in.U32();
  const std::uint32_t room = in.U32();
  if (!in.ok()) return Served::Unreadable;
  std::u16string_view path;
  const Done done = ops_.GetSpecialFolderPath(kSpecialFolders, csidl, room, path);
  if (done.lost) return Served::LinkLost;
  out.U32(done.error).U32(static_cast<std::uint32_t>(path.size())).Utf16(path).U16(0);
  return Served::Reply;
}

}  // namespace zp::handheld
