// The remote API's dispatch, and the calls served by the simulated
// handheld's files, programs and system information.
#include "simulator/handheld/rapi_calls.h"

#include <algorithm>
#include <utility>

#include "link/protocol.h"
#include "platform/platform.h"
#include "simulator/handheld/wire_values.h"
#include "simulator/sim_state.h"

namespace zp::handheld {
namespace {

/// The most one CeReadFile answers: what fits a reply frame.
constexpr std::uint32_t kMaxRead = link::kMaxFrame - 64;

// A path argument: a null string is an empty path.
std::u16string Path(link::WireReader& in) {
  return in.String().value_or(std::u16string());
}

}  // namespace

RapiCalls::RapiCalls(SimulatedDevice& device, std::filesystem::path files_root)
    : ops_(device, std::move(files_root)) {}

const std::map<std::uint32_t, RapiCalls::Handler>& RapiCalls::Handlers() {
  static const std::map<std::uint32_t, Handler> handlers = {
      {link::kCmdFindFirstFile, &RapiCalls::FindFirstFile},
      {link::kCmdFindNextFile, &RapiCalls::FindNextFile},
      {link::kCmdFindClose, &RapiCalls::FindClose},
      {link::kCmdGetFileAttributes, &RapiCalls::GetFileAttributes},
      {link::kCmdCreateFile, &RapiCalls::CreateFile},
      {link::kCmdReadFile, &RapiCalls::ReadFile},
      {link::kCmdWriteFile, &RapiCalls::WriteFile},
      {link::kCmdCloseHandle, &RapiCalls::CloseHandle},
      {link::kCmdFindAllFiles, &RapiCalls::FindAllFiles},
      {link::kCmdCreateDirectory, &RapiCalls::CreateDirectory},
      {link::kCmdRemoveDirectory, &RapiCalls::RemoveDirectory},
      {link::kCmdCreateProcess, &RapiCalls::CreateProcess},
      {link::kCmdMoveFile, &RapiCalls::MoveFile},
      {link::kCmdDeleteFile, &RapiCalls::DeleteFile},
      {link::kCmdRegOpenKeyEx, &RapiCalls::RegOpenKeyEx},
      {link::kCmdRegCreateKeyEx, &RapiCalls::RegCreateKeyEx},
      {link::kCmdRegCloseKey, &RapiCalls::RegCloseKey},
      {link::kCmdRegQueryValueEx, &RapiCalls::RegQueryValueEx},
      {link::kCmdRegSetValueEx, &RapiCalls::RegSetValueEx},
      {link::kCmdGetStoreInformation, &RapiCalls::GetStoreInformation},
      {link::kCmdGetSystemInfo, &RapiCalls::GetSystemInfo},
      {link::kCmdGetVersionEx, &RapiCalls::GetVersionEx},
      {link::kCmdGetSystemPowerStatusEx, &RapiCalls::GetSystemPowerStatusEx},
      {link::kCmdGetSpecialFolderPath, &RapiCalls::GetSpecialFolderPath},
  };
  return handlers;
}

Served RapiCalls::Serve(std::span<const std::uint8_t> request, link::WireWriter& reply,
                        SessionOwned& owned) {
  link::WireReader in(request);
  const std::uint32_t command = in.U32();
  if (!in.ok()) return Served::Unreadable;
  const auto it = Handlers().find(command);
  if (it == Handlers().end()) {
    reply.U32(link::kErrorCallNotImplemented).U32(0);
    return Served::Reply;
  }
  return (this->*(it->second))(in, reply, owned);
}

void RapiCalls::Release(SessionOwned& owned) {
  ops_.Release(owned);
}

Served RapiCalls::FindAllFiles(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  const std::u16string pattern = Path(in);
  const std::uint32_t flags = in.U32();
  if (!in.ok()) return Served::Unreadable;
  std::vector<CeFindData> records;
  const Done done = ops_.FindAllFiles(pattern, flags, records);
  if (done.lost) return Served::LinkLost;
  // le, then a word whose meaning is not known (the call's result is sent
  // there), then the count and the entries.
  out.U32(done.ok ? 0 : done.error).U32(done.ok ? 1 : 0);
  out.U32(static_cast<std::uint32_t>(records.size()));
  for (const CeFindData& record : records) WriteEntry(out, record, flags, 2);
  return Served::Reply;
}

Served RapiCalls::GetFileAttributes(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  const std::u16string path = Path(in);
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t attributes = 0;
  const Done done = ops_.GetFileAttributes(path, attributes);
  return Answer(out, done, attributes);
}

Served RapiCalls::CreateFile(link::WireReader& in, link::WireWriter& out, SessionOwned& owned) {
  const std::u16string path = Path(in);
  const std::uint32_t access = in.U32();
  const std::uint32_t share = in.U32();
  const std::uint32_t disposition = in.U32();
  const std::uint32_t attributes = in.U32();
  in.U32();  // the template, always 0
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t handle = 0;
  const Done done = ops_.CreateFile(path, access, share, disposition, attributes, owned, handle);
  return Answer(out, done, handle);
}

Served RapiCalls::ReadFile(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  const std::uint32_t handle = in.U32();
  const std::uint32_t wanted = std::min(in.U32(), kMaxRead);
  if (!in.ok()) return Served::Unreadable;
  std::vector<std::uint8_t> buffer(wanted);
  std::uint32_t got = 0;
  const Done done = ops_.ReadFile(handle, buffer.data(), wanted, got);
  if (done.lost) return Served::LinkLost;
  WriteOutcome(out, done);
  out.U32(got).Bytes(buffer.data(), got);
  return Served::Reply;
}

Served RapiCalls::WriteFile(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  const std::uint32_t handle = in.U32();
  const std::uint32_t size = in.U32();
  const auto bytes = in.Bytes(size);
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t put = 0;
  const Done done = ops_.WriteFile(handle, bytes.data(), size, put);
  if (done.lost) return Served::LinkLost;
  WriteOutcome(out, done);
  out.U32(put);
  return Served::Reply;
}

Served RapiCalls::CloseHandle(link::WireReader& in, link::WireWriter& out, SessionOwned& owned) {
  const std::uint32_t handle = in.U32();
  if (!in.ok()) return Served::Unreadable;
  return Answer(out, ops_.CloseHandle(handle, owned));
}

Served RapiCalls::CreateDirectory(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  const std::u16string path = Path(in);
  if (!in.ok()) return Served::Unreadable;
  return Answer(out, ops_.CreateDirectory(path));
}

Served RapiCalls::CreateProcess(link::WireReader& in, link::WireWriter& out, SessionOwned& owned) {
  const std::u16string program = Path(in);
  const std::u16string command_line = in.String().value_or(std::u16string());
  for (int i = 0; i < 7; ++i) in.U32();  // creation flags among zeros
  if (!in.ok()) return Served::Unreadable;
  CeProcessInfo info;
  const Done done = ops_.CreateProcess(program, command_line, owned, info);
  if (done.lost) return Served::LinkLost;
  WriteOutcome(out, done);
  out.U32(done.ok ? HandleToWire(info.hProcess) : 0).U32(done.ok ? HandleToWire(info.hThread) : 0);
  out.U32(info.dwProcessId).U32(info.dwThreadId);
  return Served::Reply;
}

Served RapiCalls::DeleteFile(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  const std::u16string path = Path(in);
  if (!in.ok()) return Served::Unreadable;
  return Answer(out, ops_.DeleteFile(path));
}

Served RapiCalls::GetSystemInfo(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  in.U32();  // 1
  in.U32();  // the out-buffer's size, 36
  in.U32();  // 0
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t type = 0;
  const Done done = ops_.GetSystemInfo(type);
  if (done.lost) return Served::LinkLost;
  // No result word: le, then the record.
  out.U32(done.ok ? 0 : done.error);
  WriteSystemInfo(out, type);
  return Served::Reply;
}

}  // namespace zp::handheld
