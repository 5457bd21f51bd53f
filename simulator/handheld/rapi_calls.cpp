// The remote API's dispatch, and the calls served by the simulated
// handheld's files, programs and system information.
#include "simulator/handheld/rapi_calls.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "link/protocol.h"
#include "platform/platform.h"
#include "simulator/handheld/wire_values.h"
#include "simulator/sim_state.h"

namespace zp::handheld {
namespace {

/// The most one CeReadFile answers: what fits a reply frame.
constexpr std::uint32_t kMaxRead = link::kMaxFrame - 64;

// CeGetSystemInfo's SYSTEM_INFO (36 bytes): the architecture of a processor type.
constexpr std::uint16_t kArchitectureMips = 1;
constexpr std::uint16_t kArchitectureShx = 4;
constexpr std::uint16_t kArchitectureArm = 5;

std::uint16_t ArchitectureOf(std::uint32_t processor_type) {
  switch (processor_type) {
    case 4000:  // MIPS R4000
      return kArchitectureMips;
    case 10003:  // SH3
    case 10004:  // SH4
      return kArchitectureShx;
    default:
      return kArchitectureArm;
  }
}

// A path argument: a null string is an empty path.
std::u16string Path(link::WireReader& in) {
  return in.String().value_or(std::u16string());
}

void WriteTime(link::WireWriter& out, const std::uint32_t (&time)[2]) {
  out.U32(time[0]).U32(time[1]);
}

std::size_t NameUnits(const CeFindData& record) {
  return static_cast<std::size_t>(
      std::find(std::begin(record.cFileName), std::end(record.cFileName) - 1, u'\0') -
      std::begin(record.cFileName));
}

// One CeFindAllFiles entry: the fields asked for, the name's size first
// and the name (with its NUL) last.
void WriteEntry(link::WireWriter& out, const CeFindData& record, std::uint32_t flags) {
  const std::size_t units = NameUnits(record);
  if (flags & kFafName) out.U32(static_cast<std::uint32_t>((units + 1) * 2));
  if (flags & kFafAttributes) out.U32(record.dwFileAttributes);
  if (flags & kFafCreationTime) WriteTime(out, record.ftCreationTime);
  if (flags & kFafLastAccessTime) WriteTime(out, record.ftLastAccessTime);
  if (flags & kFafLastWriteTime) WriteTime(out, record.ftLastWriteTime);
  if (flags & kFafSizeHigh) out.U32(record.nFileSizeHigh);
  if (flags & kFafSizeLow) out.U32(record.nFileSizeLow);
  if (flags & kFafOid) out.U32(record.dwOID);
  if (flags & kFafName) out.Utf16(std::u16string_view(record.cFileName, units)).U16(0);
}

}  // namespace

void WriteRecord(link::WireWriter& out, const CeFindData& record) {
  out.U32(record.dwFileAttributes);
  WriteTime(out, record.ftCreationTime);
  WriteTime(out, record.ftLastAccessTime);
  WriteTime(out, record.ftLastWriteTime);
  out.U32(record.nFileSizeHigh).U32(record.nFileSizeLow).U32(record.dwOID);
  for (const char16_t unit : record.cFileName) out.U16(unit);
}

RapiCalls::RapiCalls(SimulatedDevice& device, std::filesystem::path files_root)
    : device_(device), files_root_(std::move(files_root)) {}

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
  for (const std::uint32_t file : owned.files) device_.CeCloseHandle(HandleFromWire(file));
  for (const std::uint32_t key : owned.keys) device_.CeRegCloseKey(KeyFromWire(key));
  for (const std::uint32_t find : owned.finds) searches_.erase(find);
  owned = SessionOwned{};
}

Served RapiCalls::After() {
  return device_.CeRapiGetError() == kHresultConnectionLost ? Served::LinkLost : Served::Reply;
}

RapiCalls::Admit RapiCalls::Gate(std::string_view operation, const std::u16string& path,
                                 std::uint32_t usual, std::uint32_t& error) {
  FaultRules& faults = device_.faults();
  if (const int delay = faults.DelayMilliseconds(operation); delay > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  }
  switch (faults.Check(operation, path)) {
    case FaultRules::Outcome::Disconnected:
      return Admit::LinkLost;
    case FaultRules::Outcome::Fail:
    case FaultRules::Outcome::Lost:  // a lost reply is a CeDeleteFile's only
      error = faults.last_error() != 0 ? faults.last_error() : usual;
      return Admit::Fail;
    case FaultRules::Outcome::ShortWrite:
    case FaultRules::Outcome::Pass:
      break;
  }
  return Admit::Serve;
}

Served RapiCalls::FindAllFiles(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  const std::u16string pattern = Path(in);
  const std::uint32_t flags = in.U32();
  if (!in.ok()) return Served::Unreadable;
  const bool folders_only = (flags & kFafFoldersOnly) != 0;
  std::uint32_t count = 0;
  CeFindData* records = nullptr;
  const bool ok = device_.CeFindAllFiles(pattern, flags | (folders_only ? kFafAttributes : 0),
                                         &count, &records);
  if (After() == Served::LinkLost) return Served::LinkLost;
  // le, then a word whose meaning is not known (the call's result is sent
  // there), then the count and the entries.
  out.U32(ok ? 0 : device_.CeGetLastError()).U32(ok ? 1 : 0);
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

Served RapiCalls::GetFileAttributes(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  const std::u16string path = Path(in);
  if (!in.ok()) return Served::Unreadable;
  const std::uint32_t attributes = device_.CeGetFileAttributes(path);
  if (After() == Served::LinkLost) return Served::LinkLost;
  const bool ok = attributes != kInvalidAttributes;
  LastErrorAndResult(out, ok, device_.CeGetLastError(), attributes);
  return Served::Reply;
}

Served RapiCalls::CreateFile(link::WireReader& in, link::WireWriter& out, SessionOwned& owned) {
  const std::u16string path = Path(in);
  const std::uint32_t access = in.U32();
  const std::uint32_t share = in.U32();
  const std::uint32_t disposition = in.U32();
  const std::uint32_t attributes = in.U32();
  in.U32();  // the template, always 0
  if (!in.ok()) return Served::Unreadable;
  const CeHandle handle = device_.CeCreateFile(path, access, share, disposition, attributes);
  if (After() == Served::LinkLost) return Served::LinkLost;
  const bool ok = handle != kInvalidCeHandle;
  if (ok) owned.files.insert(HandleToWire(handle));
  LastErrorAndResult(out, ok, device_.CeGetLastError(), HandleToWire(handle));
  return Served::Reply;
}

Served RapiCalls::ReadFile(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  const std::uint32_t handle = in.U32();
  const std::uint32_t wanted = std::min(in.U32(), kMaxRead);
  if (!in.ok()) return Served::Unreadable;
  std::vector<std::uint8_t> buffer(wanted);
  std::uint32_t got = 0;
  const bool ok = device_.CeReadFile(HandleFromWire(handle), buffer.data(), wanted, &got);
  if (After() == Served::LinkLost) return Served::LinkLost;
  if (!ok) got = 0;
  LastErrorAndResult(out, ok, device_.CeGetLastError(), ok ? 1 : 0);
  out.U32(got).Bytes(buffer.data(), got);
  return Served::Reply;
}

Served RapiCalls::WriteFile(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  const std::uint32_t handle = in.U32();
  const std::uint32_t size = in.U32();
  const auto bytes = in.Bytes(size);
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t put = 0;
  const bool ok = device_.CeWriteFile(HandleFromWire(handle), bytes.data(), size, &put);
  if (After() == Served::LinkLost) return Served::LinkLost;
  LastErrorAndResult(out, ok, device_.CeGetLastError(), ok ? 1 : 0);
  out.U32(put);
  return Served::Reply;
}

Served RapiCalls::CloseHandle(link::WireReader& in, link::WireWriter& out, SessionOwned& owned) {
  const std::uint32_t handle = in.U32();
  if (!in.ok()) return Served::Unreadable;
  owned.files.erase(handle);
  const bool ok = device_.CeCloseHandle(HandleFromWire(handle));
  if (After() == Served::LinkLost) return Served::LinkLost;
  LastErrorAndResult(out, ok, device_.CeGetLastError(), ok ? 1 : 0);
  return Served::Reply;
}

Served RapiCalls::CreateDirectory(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  const std::u16string path = Path(in);
  if (!in.ok()) return Served::Unreadable;
  const bool ok = device_.CeCreateDirectory(path);
  if (After() == Served::LinkLost) return Served::LinkLost;
  LastErrorAndResult(out, ok, device_.CeGetLastError(), ok ? 1 : 0);
  return Served::Reply;
}

Served RapiCalls::CreateProcess(link::WireReader& in, link::WireWriter& out, SessionOwned& owned) {
  const std::u16string program = Path(in);
  const std::u16string command_line = in.String().value_or(std::u16string());
  for (int i = 0; i < 7; ++i) in.U32();  // creation flags among zeros
  if (!in.ok()) return Served::Unreadable;
  CeProcessInfo info;
  const bool ok = device_.CeCreateProcess(program, command_line, &info);
  if (After() == Served::LinkLost) return Served::LinkLost;
  if (ok) {
    owned.files.insert(HandleToWire(info.hProcess));
    owned.files.insert(HandleToWire(info.hThread));
  }
  LastErrorAndResult(out, ok, device_.CeGetLastError(), ok ? 1 : 0);
  out.U32(ok ? HandleToWire(info.hProcess) : 0).U32(ok ? HandleToWire(info.hThread) : 0);
  out.U32(info.dwProcessId).U32(info.dwThreadId);
  return Served::Reply;
}

Served RapiCalls::DeleteFile(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  const std::u16string path = Path(in);
  if (!in.ok()) return Served::Unreadable;
  const bool ok = device_.CeDeleteFile(path);
  if (After() == Served::LinkLost) return Served::LinkLost;
  LastErrorAndResult(out, ok, device_.CeGetLastError(), ok ? 1 : 0);
  return Served::Reply;
}

Served RapiCalls::GetSystemInfo(link::WireReader& in, link::WireWriter& out, SessionOwned&) {
  in.U32();  // 1
  in.U32();  // the out-buffer's size, 36
  in.U32();  // 0
  if (!in.ok()) return Served::Unreadable;
  CeSystemInfo info;
  device_.CeGetSystemInfo(&info);
  if (After() == Served::LinkLost) return Served::LinkLost;
  const std::uint32_t type = info.dwProcessorType;
  // No result word: le, then the record.
  out.U32(type != 0 ? 0 : device_.CeGetLastError());
  out.U16(type != 0 ? ArchitectureOf(type) : 0).U16(0);
  out.U32(4096);        // page size
  out.U32(0x00010000);  // lowest application address
  out.U32(0x7FFFFFFF);  // highest application address
  out.U32(1).U32(1);    // processor mask, number of processors
  out.U32(type);        // @24
  out.U32(0x00010000);  // allocation granularity
  out.U16(0).U16(0);    // level, revision
  return Served::Reply;
}

}  // namespace zp::handheld
