// The older remote API's registry calls, served by the simulated handheld's
// device.reg. Each returns a Win32 error code in rv (0: success), also sent
// as the last error, and its out data only when it succeeded.
#include <algorithm>

#include "link/protocol.h"
#include "link/rapi1_wire.h"
#include "platform/platform.h"
#include "simulator/handheld/legacy_calls.h"
#include "simulator/handheld/wire_values.h"

namespace zp::handheld {
namespace {

using link::WireReader;
using link::WireWriter;

/// The largest value a query hands back; larger buffers are not allocated.
constexpr std::uint32_t kMaxValueBytes = 512 * 1024;

void Code(WireWriter& out, std::uint32_t code) {
  out.U32(code).U32(code);
}

}  // namespace

Served LegacyCalls::RegOpenKeyEx(WireReader& in, WireWriter& out, SessionOwned& owned) {
  const std::uint32_t root = in.U32();
  const std::u16string subkey = PlainText(in);
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t key = 0;
  const Done done = ops_.RegOpenKeyEx(root, subkey, owned, key);
  if (done.lost) return Served::LinkLost;
  Code(out, done.error);
  if (done.ok) out.U32(key);
  return Served::Reply;
}

Served LegacyCalls::RegCreateKeyEx(WireReader& in, WireWriter& out, SessionOwned& owned) {
  const std::uint32_t root = in.U32();
  const std::u16string subkey = PlainText(in);
  PlainText(in);  // the class, unused
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t key = 0;
  std::uint32_t disposition = 0;
  const Done done = ops_.RegCreateKeyEx(root, subkey, owned, key, disposition);
  if (done.lost) return Served::LinkLost;
  Code(out, done.error);
  if (done.ok) out.U32(key).U32(disposition);
  return Served::Reply;
}

Served LegacyCalls::RegCloseKey(WireReader& in, WireWriter& out, SessionOwned& owned) {
  const std::uint32_t key = in.U32();
  if (!in.ok()) return Served::Unreadable;
  const Done done = ops_.RegCloseKey(key, owned);
  if (done.lost) return Served::LinkLost;
  Code(out, done.error);
  return Served::Reply;
}

// The key, the name, a reserved NULL, room for the type, room for the data
// (the buffer's size), and cbData handed in (the buffer's size again; 0
// with no data room: a size probe). On success the type, the data (the
// value's own size) and cbData come back for each pointer that was not
// NULL; nothing follows a failure (ERROR_MORE_DATA for a buffer too small).
Served LegacyCalls::RegQueryValueEx(WireReader& in, WireWriter& out, SessionOwned&) {
  const std::uint32_t key = in.U32();
  const std::u16string name = OptionalText(in);
  in.U32();  // reserved
  const bool type_asked = Room(in, 4);
  const auto data_room = link::rapi1::ReadOptionalOut(in, 0xFFFFFFFFu);
  const auto size_in = link::rapi1::ReadOptionalIn(in, 4);
  if (!in.ok() || !data_room || !size_in) return Served::Unreadable;
  const bool data_asked = data_room->present;
  const bool size_asked = size_in->present;
  std::uint32_t room = data_asked ? std::min(data_room->value, kMaxValueBytes) : 0;
  if (size_asked && size_in->value.size() == 4) {
    room = std::min(room, link::WireReader(size_in->value).U32());
  }
  if (data_asked && !size_asked) {  // a buffer with no size, as the call refuses it
    Code(out, kErrorInvalidParameter);
    return Served::Reply;
  }
  std::vector<std::uint8_t> data(std::max<std::uint32_t>(room, 1));
  std::uint32_t type = 0;
  std::uint32_t size = room;
  const Done done = ops_.RegQueryValueEx(key, name, type, data_asked ? data.data() : nullptr,
                                         size_asked ? &size : nullptr);
  if (done.lost) return Served::LinkLost;
  Code(out, done.error);
  if (!done.ok) return Served::Reply;
  ReplyU32(out, type_asked, type);
  ReplyValue(out, data_asked, std::span(data).first(data_asked ? size : 0));
  ReplyU32(out, size_asked, size);
  return Served::Reply;
}

// The key, the name, the type, the data handed in, then cbData: how many of
// its bytes are the value.
Served LegacyCalls::RegSetValueEx(WireReader& in, WireWriter& out, SessionOwned&) {
  const std::uint32_t key = in.U32();
  const std::u16string name = OptionalText(in);
  const std::uint32_t type = in.U32();
  const auto data = link::rapi1::ReadOptionalIn(in, link::kMaxFrame);
  const std::uint32_t size = in.U32();
  if (!in.ok() || !data) return Served::Unreadable;
  if (size > data->value.size()) {  // more bytes than came
    Code(out, kErrorInvalidParameter);
    return Served::Reply;
  }
  const Done done =
      ops_.RegSetValueEx(key, name, type, data->present ? data->value.data() : nullptr, size);
  if (done.lost) return Served::LinkLost;
  Code(out, done.error);
  return Served::Reply;
}

}  // namespace zp::handheld
