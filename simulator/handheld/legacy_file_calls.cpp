// The older remote API's file and process calls, served by the simulated
// handheld: the listing, attributes, the file handles, folders, deletion
// and the started programs.
#include <algorithm>
#include <iterator>

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

std::size_t NameUnits(const CeFindData& record) {
  return static_cast<std::size_t>(
      std::find(std::begin(record.cFileName), std::end(record.cFileName) - 1, u'\0') -
      std::begin(record.cFileName));
}

void WriteTime(WireWriter& out, const std::uint32_t (&time)[2]) {
  out.U32(time[0]).U32(time[1]);
}

// One CeFindAllFiles entry of the older link: the fields asked for, the
// name's length first (in characters, its NUL counted) and the name (with
// its NUL) last.
void WriteEntry(WireWriter& out, const CeFindData& record, std::uint32_t flags) {
  const std::size_t units = NameUnits(record);
  if (flags & kFafName) out.U32(static_cast<std::uint32_t>(units + 1));
  if (flags & kFafAttributes) out.U32(record.dwFileAttributes);
  if (flags & kFafCreationTime) WriteTime(out, record.ftCreationTime);
  if (flags & kFafLastAccessTime) WriteTime(out, record.ftLastAccessTime);
  if (flags & kFafLastWriteTime) WriteTime(out, record.ftLastWriteTime);
  if (flags & kFafSizeHigh) out.U32(record.nFileSizeHigh);
  if (flags & kFafSizeLow) out.U32(record.nFileSizeLow);
  if (flags & kFafOid) out.U32(record.dwOID);
  if (flags & kFafName) out.Utf16(std::u16string_view(record.cFileName, units)).U16(0);
}

// le and rv of a call that gives TRUE or FALSE.
void Outcome(WireWriter& out, bool ok, std::uint32_t error) {
  LastErrorAndResult(out, ok, error, ok ? 1 : 0);
}

}  // namespace

// No last error in this reply: a listing that fails (not a folder that is
// missing: that lists empty) is a failure at the protocol level, the
// listing's error as its HRESULT.
Served LegacyCalls::FindAllFiles(WireReader& in, WireWriter& out, SessionOwned&) {
  const std::u16string pattern = PlainText(in);
  const std::uint32_t flags = in.U32();
  if (!in.ok()) return Served::Unreadable;
  const bool folders_only = (flags & kFafFoldersOnly) != 0;
  std::uint32_t count = 0;
  CeFindData* records = nullptr;
  const bool ok = device_.CeFindAllFiles(pattern, flags | (folders_only ? kFafAttributes : 0),
                                         &count, &records);
  if (After() == Served::LinkLost) {
    if (records) device_.CeRapiFreeBuffer(records);
    return Served::LinkLost;
  }
  if (!ok) hresult_ = HresultOf(device_.CeGetLastError());
  const std::size_t count_at = out.size();
  out.U32(0);
  std::uint32_t sent = 0;
  for (std::uint32_t i = 0; ok && i < count; ++i) {
    if (folders_only && !(records[i].dwFileAttributes & kAttributeDirectory)) continue;
    WriteEntry(out, records[i], flags);
    ++sent;
  }
  out.PatchU32(count_at, sent);
  if (records) device_.CeRapiFreeBuffer(records);
  return Served::Reply;
}

Served LegacyCalls::GetFileAttributes(WireReader& in, WireWriter& out, SessionOwned&) {
  const std::u16string path = PlainText(in);
  if (!in.ok()) return Served::Unreadable;
  const std::uint32_t attributes = device_.CeGetFileAttributes(path);
  if (After() == Served::LinkLost) return Served::LinkLost;
  LastErrorAndResult(out, attributes != kInvalidAttributes, device_.CeGetLastError(), attributes);
  return Served::Reply;
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
  const CeHandle handle = device_.CeCreateFile(path, access, share, disposition, attributes);
  if (After() == Served::LinkLost) return Served::LinkLost;
  const bool ok = handle != kInvalidCeHandle;
  if (ok) owned.files.insert(HandleToWire(handle));
  LastErrorAndResult(out, ok, device_.CeGetLastError(), HandleToWire(handle));
  return Served::Reply;
}

Served LegacyCalls::ReadFile(WireReader& in, WireWriter& out, SessionOwned&) {
  const std::uint32_t handle = in.U32();
  const auto room = link::rapi1::ReadOptionalOut(in, 0xFFFFFFFFu);
  in.U32();  // NULL: the count read comes in the reply
  if (!in.ok() || !room) return Served::Unreadable;
  const std::uint32_t wanted = room->present ? std::min(room->value, kLegacyMaxRead) : 0;
  std::vector<std::uint8_t> buffer(std::max<std::uint32_t>(wanted, 1));
  std::uint32_t got = 0;
  const bool ok = device_.CeReadFile(HandleFromWire(handle), buffer.data(), wanted, &got);
  if (After() == Served::LinkLost) return Served::LinkLost;
  if (!ok) got = 0;
  Outcome(out, ok, device_.CeGetLastError());
  out.U32(got).Bytes(buffer.data(), got);
  return Served::Reply;
}

Served LegacyCalls::WriteFile(WireReader& in, WireWriter& out, SessionOwned&) {
  const std::uint32_t handle = in.U32();
  const auto data = link::rapi1::ReadWriteData(in, link::kMaxFrame);
  in.U32();  // NULL: the count written comes in the reply
  if (!in.ok() || !data) return Served::Unreadable;
  std::uint32_t put = 0;
  const bool ok = device_.CeWriteFile(HandleFromWire(handle), data->data(),
                                      static_cast<std::uint32_t>(data->size()), &put);
  if (After() == Served::LinkLost) return Served::LinkLost;
  Outcome(out, ok, device_.CeGetLastError());
  out.U32(put);
  return Served::Reply;
}

Served LegacyCalls::CloseHandle(WireReader& in, WireWriter& out, SessionOwned& owned) {
  const std::uint32_t handle = in.U32();
  if (!in.ok()) return Served::Unreadable;
  owned.files.erase(handle);
  const bool ok = device_.CeCloseHandle(HandleFromWire(handle));
  if (After() == Served::LinkLost) return Served::LinkLost;
  Outcome(out, ok, device_.CeGetLastError());
  return Served::Reply;
}

Served LegacyCalls::CreateDirectory(WireReader& in, WireWriter& out, SessionOwned&) {
  const std::u16string path = OptionalText(in);
  in.U32();  // NULL: no security attributes
  if (!in.ok()) return Served::Unreadable;
  const bool ok = device_.CeCreateDirectory(path);
  if (After() == Served::LinkLost) return Served::LinkLost;
  Outcome(out, ok, device_.CeGetLastError());
  return Served::Reply;
}

Served LegacyCalls::DeleteFile(WireReader& in, WireWriter& out, SessionOwned&) {
  const std::u16string path = OptionalText(in);
  if (!in.ok()) return Served::Unreadable;
  const bool ok = device_.CeDeleteFile(path);
  if (After() == Served::LinkLost) return Served::LinkLost;
  Outcome(out, ok, device_.CeGetLastError());
  return Served::Reply;
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
  const bool ok = device_.CeCreateProcess(program, command_line, &info);
  if (After() == Served::LinkLost) return Served::LinkLost;
  if (ok) {
    owned.files.insert(HandleToWire(info.hProcess));
    owned.files.insert(HandleToWire(info.hThread));
  }
  Outcome(out, ok, device_.CeGetLastError());
  WireWriter record;
  record.U32(HandleToWire(info.hProcess)).U32(HandleToWire(info.hThread));
  record.U32(info.dwProcessId).U32(info.dwThreadId);
  ReplyValue(out, ok && asked, record.bytes());
  return Served::Reply;
}

}  // namespace zp::handheld
