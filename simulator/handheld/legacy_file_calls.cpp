// The older remote API's file and process calls, served by the simulated
// handheld: the listing, attributes, the file handles, folders, deletion
// and the started programs.
#include <algorithm>
#include <vector>

#include "link/protocol.h"
#include "link/rapi1_wire.h"
#include "platform/platform.h"
#include "simulator/handheld/legacy_calls.h"
#include "simulator/handheld/wire_values.h"

namespace zp::handheld {
namespace {

using link::WireReader;
using link::WireWriter;

/// CeCreateProcess's PROCESS_INFORMATION: two handles and two ids.
constexpr std::uint32_t kProcessInfoSize = 16;

}  // namespace

// No last error in this reply: a listing that fails (not a folder that is
// missing: that lists empty) is a failure at the protocol level, the
// listing's error as its HRESULT.
Served LegacyCalls::FindAllFiles(WireReader& in, WireWriter& out, SessionOwned&) {
  const std::u16string pattern = PlainText(in);
  const std::uint32_t flags = in.U32();
  if (!in.ok()) return Served::Unreadable;
  std::vector<CeFindData> records;
  const Done done = ops_.FindAllFiles(pattern, flags, records);
  if (done.lost) return Served::LinkLost;
  if (!done.ok) hresult_ = HresultOf(done.error);
  // The name's length is in characters on the older link.
  out.U32(static_cast<std::uint32_t>(records.size()));
  for (const CeFindData& record : records) WriteEntry(out, record, flags, 1);
  return Served::Reply;
}

Served LegacyCalls::GetFileAttributes(WireReader& in, WireWriter& out, SessionOwned&) {
  const std::u16string path = PlainText(in);
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t attributes = 0;
  const Done done = ops_.GetFileAttributes(path, attributes);
  return Answer(out, done, attributes);
}

// The older link sends the name after the other arguments.
Served LegacyCalls::CreateFile(WireReader& in, WireWriter& out, SessionOwned& owned) {
  const std::uint32_t access = in.U32();
  const std::uint32_t share = in.U32();
  const std::uint32_t disposition = in.U32();
  const std::uint32_t attributes = in.U32();
  in.U32();  // the template, always 0
  const std::u16string path = PlainText(in);
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t handle = 0;
  const Done done = ops_.CreateFile(path, access, share, disposition, attributes, owned, handle);
  return Answer(out, done, handle);
}

Served LegacyCalls::ReadFile(WireReader& in, WireWriter& out, SessionOwned&) {
  const std::uint32_t handle = in.U32();
  const auto room = link::rapi1::ReadOptionalOut(in, 0xFFFFFFFFu);
  in.U32();  // NULL: the count read comes in the reply
  if (!in.ok() || !room) return Served::Unreadable;
  const std::uint32_t wanted = room->present ? std::min(room->value, kLegacyMaxRead) : 0;
  std::vector<std::uint8_t> buffer(std::max<std::uint32_t>(wanted, 1));
  std::uint32_t got = 0;
  const Done done = ops_.ReadFile(handle, buffer.data(), wanted, got);
  if (done.lost) return Served::LinkLost;
  WriteOutcome(out, done);
  out.U32(got).Bytes(buffer.data(), got);
  return Served::Reply;
}

Served LegacyCalls::WriteFile(WireReader& in, WireWriter& out, SessionOwned&) {
  const std::uint32_t handle = in.U32();
  const auto data = link::rapi1::ReadWriteData(in, link::kMaxFrame);
  in.U32();  // NULL: the count written comes in the reply
  if (!in.ok() || !data) return Served::Unreadable;
  std::uint32_t put = 0;
  const Done done =
      ops_.WriteFile(handle, data->data(), static_cast<std::uint32_t>(data->size()), put);
  if (done.lost) return Served::LinkLost;
  WriteOutcome(out, done);
  out.U32(put);
  return Served::Reply;
}

Served LegacyCalls::CloseHandle(WireReader& in, WireWriter& out, SessionOwned& owned) {
  const std::uint32_t handle = in.U32();
  if (!in.ok()) return Served::Unreadable;
  return Answer(out, ops_.CloseHandle(handle, owned));
}

Served LegacyCalls::CreateDirectory(WireReader& in, WireWriter& out, SessionOwned&) {
  const std::u16string path = OptionalText(in);
  in.U32();  // NULL: no security attributes
  if (!in.ok()) return Served::Unreadable;
  return Answer(out, ops_.CreateDirectory(path));
}

Served LegacyCalls::DeleteFile(WireReader& in, WireWriter& out, SessionOwned&) {
  const std::u16string path = OptionalText(in);
  if (!in.ok()) return Served::Unreadable;
  return Answer(out, ops_.DeleteFile(path));
}

// The program, its command line, seven words (the fourth the creation
// flags, the rest NULLs and zeros), and room for the PROCESS_INFORMATION,
// which comes back only when the program started.
Served LegacyCalls::CreateProcess(WireReader& in, WireWriter& out, SessionOwned& owned) {
  const std::u16string program = OptionalText(in);
  const std::u16string command_line = OptionalText(in);
  for (int i = 0; i < 7; ++i) in.U32();
  const bool asked = Room(in, kProcessInfoSize);
  if (!in.ok()) return Served::Unreadable;
  CeProcessInfo info;
  const Done done = ops_.CreateProcess(program, command_line, owned, info);
  if (done.lost) return Served::LinkLost;
  WriteOutcome(out, done);
  WireWriter record;
  record.U32(HandleToWire(info.hProcess)).U32(HandleToWire(info.hThread));
  record.U32(info.dwProcessId).U32(info.dwThreadId);
  ReplyValue(out, done.ok && asked, record.bytes());
  return Served::Reply;
}

}  // namespace zp::handheld
