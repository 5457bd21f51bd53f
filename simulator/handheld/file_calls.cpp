// The file calls the simulated handheld does not have (moves, folder
// removal, the find handles), as the remote API reads and answers them.
#include "simulator/handheld/rapi_calls.h"
#include "simulator/handheld/wire_values.h"

namespace zp::handheld {
namespace {

std::u16string Path(link::WireReader& in) {
  return in.String().value_or(std::u16string());
}

// le, rv, and a record (zeros when there is none) as the find calls reply.
void FindReply(link::WireWriter& out, std::uint32_t error, std::uint32_t result,
               const CeFindData* record) {
  out.U32(error).U32(result).U32(kRecordSize);
  WriteRecord(out, record ? *record : CeFindData{});
}

}  // namespace

Served RapiCalls::MoveFile(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  const std::u16string from = Path(in);
  const std::u16string to = Path(in);
  if (!in.ok()) return Served::Unreadable;
  return Answer(out, ops_.MoveFile(from, to));
}

Served RapiCalls::RemoveDirectory(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  const std::u16string path = Path(in);
  if (!in.ok()) return Served::Unreadable;
  return Answer(out, ops_.RemoveDirectory(path));
}

Served RapiCalls::FindFirstFile(link::WireReader& in, link::WireWriter& out, SessionOwned& owned) {
  const std::u16string pattern = Path(in);
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t handle = 0;
  const CeFindData* first = nullptr;
  const Done done = ops_.FindFirstFile(pattern, owned, handle, first);
  if (done.lost) return Served::LinkLost;
  FindReply(out, done.ok ? 0 : done.error, done.ok ? handle : kWireInvalidHandle, first);
  return Served::Reply;
}

Served RapiCalls::FindNextFile(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  const std::uint32_t handle = in.U32();
  if (!in.ok()) return Served::Unreadable;
  const CeFindData* record = nullptr;
  const Done done = ops_.FindNextFile(handle, record);
  if (done.lost) return Served::LinkLost;
  FindReply(out, done.error, done.ok ? 1 : 0, record);
  return Served::Reply;
}

Served RapiCalls::FindClose(link::WireReader& in, link::WireWriter& out, SessionOwned& owned) {
  const std::uint32_t handle = in.U32();
  if (!in.ok()) return Served::Unreadable;
  return Answer(out, ops_.FindClose(handle, owned));
}

}  // namespace zp::handheld
