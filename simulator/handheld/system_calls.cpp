// The handheld's own state as the remote API reports it: its store (the
// world's file system), its version, its power (always on the cradle,
// battery full) and its special folders. Each passes the fault rules.
#include "simulator/handheld/identity.h"
#include "simulator/handheld/rapi_calls.h"
#include "simulator/handheld/wire_values.h"

namespace zp::handheld {
namespace {

// CSIDL numbers and where a Windows Mobile handheld keeps them.
constexpr SpecialFolder kSpecialFolders[] = {
    {0x00, u"\\Windows\\Desktop"},    {0x02, u"\\Windows\\Start Menu\\Programs"},
    {0x05, u"\\My Documents"},        {0x06, u"\\Windows\\Favorites"},
    {0x07, u"\\Windows\\StartUp"},    {0x08, u"\\Windows\\Recent"},
    {0x0B, u"\\Windows\\Start Menu"}, {0x10, u"\\Windows\\Desktop"},
    {0x14, u"\\Windows\\Fonts"},      {0x26, u"\\Program Files"},
};

}  // namespace

Served RapiCalls::GetStoreInformation(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t capacity = 0;
  std::uint32_t available = 0;
  const Done done = ops_.GetStoreInformation(capacity, available);
  if (done.lost) return Served::LinkLost;
  WriteOutcome(out, done);
  out.U32(capacity).U32(available);
  return Served::Reply;
}

Served RapiCalls::GetVersionEx(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  if (!in.ok()) return Served::Unreadable;
  const Done done = ops_.Admit("CeGetVersionEx");
  if (done.lost) return Served::LinkLost;
  WriteVersion(out, done.error, kOsMajor, kOsMinor, kOsBuild);
  return Served::Reply;
}

// No last error in this reply: rv, then the 24-byte status.
Served RapiCalls::GetSystemPowerStatusEx(link::WireReader& in, link::WireWriter& out,
                                         SessionOwned&) {
  in.U32();  // refresh
  if (!in.ok()) return Served::Unreadable;
  const Done done = ops_.Admit("CeGetSystemPowerStatusEx");
  if (done.lost) return Served::LinkLost;
  if (!done.ok) {
    out.U32(0);
    for (int i = 0; i < 6; ++i) out.U32(0);
    return Served::Reply;
  }
  out.U32(1);
  WritePowerStatus(out);
  return Served::Reply;
}

// le, the count of characters (no NUL), the characters; the buffer must
// have room for the NUL too.
Served RapiCalls::GetSpecialFolderPath(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  const std::uint32_t csidl = in.U32();
  const std::uint32_t room = in.U32();
  if (!in.ok()) return Served::Unreadable;
  std::u16string_view path;
  const Done done = ops_.GetSpecialFolderPath(kSpecialFolders, csidl, room, path);
  if (done.lost) return Served::LinkLost;
  if (!done.ok) {
    out.U32(done.error).U32(0);
    return Served::Reply;
  }
  out.U32(0).U32(static_cast<std::uint32_t>(path.size())).Utf16(path);
  return Served::Reply;
}

}  // namespace zp::handheld
