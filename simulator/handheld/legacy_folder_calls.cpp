// The older remote API's file calls the simulated handheld does not have
// (moves, folder removal, the find handles), as the older link reads and
// answers them.
#include "simulator/handheld/legacy_calls.h"
#include "simulator/handheld/wire_values.h"

namespace zp::handheld {
namespace {

using link::WireReader;
using link::WireWriter;

// le, rv, and the record when there is one (u32 n, n bytes) as the find
// calls reply.
void FindReply(WireWriter& out, std::uint32_t error, std::uint32_t result,
               const CeFindData* record) {
  out.U32(error).U32(result);
  if (!record) {
    out.U32(0);
    return;
  }
  out.U32(kRecordSize);
  WriteRecord(out, *record);
}

}  // namespace

Served LegacyCalls::MoveFile(WireReader& in, WireWriter& out, SessionOwned&) {
  const std::u16string from = OptionalText(in);
  const std::u16string to = OptionalText(in);
  if (!in.ok()) return Served::Unreadable;
  return Answer(out, ops_.MoveFile(from, to));
}

Served LegacyCalls::RemoveDirectory(WireReader& in, WireWriter& out, SessionOwned&) {
  const std::u16string path = OptionalText(in);
  if (!in.ok()) return Served::Unreadable;
  return Answer(out, ops_.RemoveDirectory(path));
}

Served LegacyCalls::FindFirstFile(WireReader& in, WireWriter& out, SessionOwned& owned) {
  const std::u16string pattern = PlainText(in);
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t handle = 0;
  const CeFindData* first = nullptr;
  const Done done = ops_.FindFirstFile(pattern, owned, handle, first);
  if (done.lost) return Served::LinkLost;
  FindReply(out, done.ok ? 0 : done.error, done.ok ? handle : kWireInvalidHandle, first);
  return Served::Reply;
}

Served LegacyCalls::FindNextFile(WireReader& in, WireWriter& out, SessionOwned&) {
  const std::uint32_t handle = in.U32();
  if (!in.ok()) return Served::Unreadable;
  const CeFindData* record = nullptr;
  const Done done = ops_.FindNextFile(handle, record);
  if (done.lost) return Served::LinkLost;
  FindReply(out, done.error, done.ok ? 1 : 0, record);
  return Served::Reply;
}

Served LegacyCalls::FindClose(WireReader& in, WireWriter& out, SessionOwned& owned) {
  const std::uint32_t handle = in.U32();
  if (!in.ok()) return Served::Unreadable;
  return Answer(out, ops_.FindClose(handle, owned));
}

}  // namespace zp::handheld
