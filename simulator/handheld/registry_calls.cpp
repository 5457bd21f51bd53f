// The remote API's registry calls, served by the simulated handheld's
// device.reg. Each returns a Win32 error code in rv (0: success), and its
// out data only when it succeeded.
#include <algorithm>

#include "simulator/handheld/rapi_calls.h"
#include "simulator/handheld/wire_values.h"

namespace zp::handheld {
namespace {

/// The largest value a query hands back; larger buffers are not allocated.
constexpr std::uint32_t kMaxValueBytes = 512 * 1024;

std::u16string Text(link::WireReader& in) {
  return in.String().value_or(std::u16string());
}

}  // namespace

Served RapiCalls::RegOpenKeyEx(link::WireReader& in, link::WireWriter& out, SessionOwned& owned) {
  const std::uint32_t root = in.U32();
  const std::u16string subkey = Text(in);
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t key = 0;
  const Done done = ops_.RegOpenKeyEx(root, subkey, owned, key);
  if (done.lost) return Served::LinkLost;
  out.U32(done.error).U32(done.error);
  if (done.ok) out.U32(key);
  return Served::Reply;
}

Served RapiCalls::RegCreateKeyEx(link::WireReader& in, link::WireWriter& out, SessionOwned& owned) {
  const std::uint32_t root = in.U32();
  const std::u16string subkey = Text(in);
  in.String();  // the class, unused
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t key = 0;
  std::uint32_t disposition = 0;
  const Done done = ops_.RegCreateKeyEx(root, subkey, owned, key, disposition);
  if (done.lost) return Served::LinkLost;
  out.U32(done.error).U32(done.error);
  if (done.ok) out.U32(key).U32(disposition);
  return Served::Reply;
}

Served RapiCalls::RegCloseKey(link::WireReader& in, link::WireWriter& out, SessionOwned& owned) {
  const std::uint32_t key = in.U32();
  if (!in.ok()) return Served::Unreadable;
  const Done done = ops_.RegCloseKey(key, owned);
  if (done.lost) return Served::LinkLost;
  out.U32(done.error).U32(done.error);
  return Served::Reply;
}

// A buffer size of 0 is a probe: rv 0, the type and the value's size, and
// no data (how a real handheld answers one is not settled).
Served RapiCalls::RegQueryValueEx(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  const std::uint32_t key = in.U32();
  const std::u16string name = Text(in);
  const std::uint32_t room = std::min(in.U32(), kMaxValueBytes);
  if (!in.ok()) return Served::Unreadable;
  std::vector<std::uint8_t> data(room);
  std::uint32_t type = 0;
  std::uint32_t size = room;
  const Done done = ops_.RegQueryValueEx(key, name, type, room > 0 ? data.data() : nullptr, &size);
  if (done.lost) return Served::LinkLost;
  out.U32(done.error).U32(done.error);
  if (done.ok) {
    out.U32(type).U32(size);
    if (room > 0) out.Bytes(data.data(), size);
  }
  return Served::Reply;
}

Served RapiCalls::RegSetValueEx(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  const std::uint32_t key = in.U32();
  const std::u16string name = Text(in);
  const std::uint32_t type = in.U32();
  const std::uint32_t size = in.U32();
  const auto data = in.Bytes(size);
  if (!in.ok()) return Served::Unreadable;
  const Done done = ops_.RegSetValueEx(key, name, type, data.data(), size);
  if (done.lost) return Served::LinkLost;
  out.U32(done.error).U32(done.error);
  return Served::Reply;
}

}  // namespace zp::handheld
