// The calls both generations make on the simulated handheld, the session's
// handles and keys, and the records both reply alike.
#include "simulator/handheld/device_ops.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "platform/platform.h"
#include "simulator/handheld/wire_values.h"
#include "simulator/sim_state.h"

namespace zp::handheld {
namespace {

// SYSTEM_INFO's architecture of a processor type.
std::uint16_t ArchitectureOf(std::uint32_t processor_type) {
  constexpr std::uint16_t kMips = 1;
  constexpr std::uint16_t kShx = 4;
  constexpr std::uint16_t kArm = 5;
  switch (processor_type) {
    case 4000:  // MIPS R4000
      return kMips;
    case 10003:  // SH3
    case 10004:  // SH4
      return kShx;
    default:
      return kArm;
  }
}

constexpr std::uint32_t kVersionInfoSize = 276;  // CEOSVERSIONINFO
constexpr std::uint32_t kPlatformWinCe = 3;
constexpr std::size_t kVersionTextUnits = 128;

constexpr std::uint8_t kAcOnline = 1;
constexpr std::uint8_t kBatteryHigh = 1;
constexpr std::uint32_t kUnknownLifeTime = 0xFFFFFFFFu;

void WriteTime(link::WireWriter& out, const std::uint32_t (&time)[2]) {
  out.U32(time[0]).U32(time[1]);
}

std::size_t NameUnits(const CeFindData& record) {
  return static_cast<std::size_t>(
      std::find(std::begin(record.cFileName), std::end(record.cFileName) - 1, u'\0') -
      std::begin(record.cFileName));
}

// A registry call's code as its outcome.
Done Coded(bool lost, std::int32_t code) {
  const auto error = static_cast<std::uint32_t>(code);
  return Done{lost, error == 0, error};
}

}  // namespace

DeviceOps::DeviceOps(SimulatedDevice& device, std::filesystem::path files_root)
    : device_(device), files_root_(std::move(files_root)) {}

void DeviceOps::Release(SessionOwned& owned) {
  for (const std::uint32_t file : owned.files) device_.CeCloseHandle(HandleFromWire(file));
  for (const std::uint32_t key : owned.keys) device_.CeRegCloseKey(KeyFromWire(key));
  for (const std::uint32_t find : owned.finds) searches_.erase(find);
  owned = SessionOwned{};
}

Done DeviceOps::After(bool ok) {
  if (device_.CeRapiGetError() == kHresultConnectionLost) return Done{true, false, 0};
  return Done{false, ok, device_.CeGetLastError()};
}

Done DeviceOps::FindAllFiles(const std::u16string& pattern, std::uint32_t flags,
                             std::vector<CeFindData>& records) {
  const bool folders_only = (flags & kFafFoldersOnly) != 0;
  std::uint32_t count = 0;
  CeFindData* found = nullptr;
  const bool ok =
      device_.CeFindAllFiles(pattern, flags | (folders_only ? kFafAttributes : 0), &count, &found);
  const Done done = After(ok);
  for (std::uint32_t i = 0; !done.lost && ok && i < count; ++i) {
    if (folders_only && !(found[i].dwFileAttributes & kAttributeDirectory)) continue;
    records.push_back(found[i]);
  }
  if (found) device_.CeRapiFreeBuffer(found);
  return done;
}

Done DeviceOps::GetFileAttributes(const std::u16string& path, std::uint32_t& attributes) {
  attributes = device_.CeGetFileAttributes(path);
  return After(attributes != kInvalidAttributes);
}

Done DeviceOps::CreateFile(const std::u16string& path, std::uint32_t access, std::uint32_t share,
                           std::uint32_t disposition, std::uint32_t attributes, SessionOwned& owned,
                           std::uint32_t& handle) {
  const CeHandle opened = device_.CeCreateFile(path, access, share, disposition, attributes);
  const Done done = After(opened != kInvalidCeHandle);
  handle = HandleToWire(opened);
  if (!done.lost && done.ok) owned.files.insert(handle);
  return done;
}

Done DeviceOps::ReadFile(std::uint32_t handle, std::uint8_t* buffer, std::uint32_t wanted,
                         std::uint32_t& got) {
  got = 0;
  const Done done = After(device_.CeReadFile(HandleFromWire(handle), buffer, wanted, &got));
  if (!done.ok) got = 0;
  return done;
}

Done DeviceOps::WriteFile(std::uint32_t handle, const std::uint8_t* data, std::uint32_t size,
                          std::uint32_t& put) {
  put = 0;
  return After(device_.CeWriteFile(HandleFromWire(handle), data, size, &put));
}

Done DeviceOps::CloseHandle(std::uint32_t handle, SessionOwned& owned) {
  owned.files.erase(handle);
  return After(device_.CeCloseHandle(HandleFromWire(handle)));
}

Done DeviceOps::CreateDirectory(const std::u16string& path) {
  return After(device_.CeCreateDirectory(path));
}

Done DeviceOps::DeleteFile(const std::u16string& path) {
  return After(device_.CeDeleteFile(path));
}

Done DeviceOps::CreateProcess(const std::u16string& program, const std::u16string& command_line,
                              SessionOwned& owned, CeProcessInfo& info) {
  const Done done = After(device_.CeCreateProcess(program, command_line, &info));
  if (!done.lost && done.ok) {
    owned.files.insert(HandleToWire(info.hProcess));
    owned.files.insert(HandleToWire(info.hThread));
  }
  return done;
}

Done DeviceOps::GetSystemInfo(std::uint32_t& processor_type) {
  CeSystemInfo info;
  device_.CeGetSystemInfo(&info);
  processor_type = info.dwProcessorType;
  return After(processor_type != 0);
}

Done DeviceOps::RegOpenKeyEx(std::uint32_t root, const std::u16string& subkey, SessionOwned& owned,
                             std::uint32_t& key) {
  CeKey opened = kNoCeKey;
  const std::int32_t code = device_.CeRegOpenKeyEx(KeyFromWire(root), subkey, &opened);
  const Done done = Coded(After(true).lost, code);
  key = KeyToWire(opened);
  if (!done.lost && done.ok) owned.keys.insert(key);
  return done;
}

Done DeviceOps::RegCreateKeyEx(std::uint32_t root, const std::u16string& subkey,
                               SessionOwned& owned, std::uint32_t& key,
                               std::uint32_t& disposition) {
  CeKey opened = kNoCeKey;
  disposition = 0;
  const std::int32_t code =
      device_.CeRegCreateKeyEx(KeyFromWire(root), subkey, &opened, &disposition);
  const Done done = Coded(After(true).lost, code);
  key = KeyToWire(opened);
  if (!done.lost && done.ok) owned.keys.insert(key);
  return done;
}

Done DeviceOps::RegCloseKey(std::uint32_t key, SessionOwned& owned) {
  owned.keys.erase(key);
  const std::int32_t code = device_.CeRegCloseKey(KeyFromWire(key));
  return Coded(After(true).lost, code);
}

Done DeviceOps::RegQueryValueEx(std::uint32_t key, const std::u16string& name, std::uint32_t& type,
                                std::uint8_t* data, std::uint32_t* size) {
  type = 0;
  const std::int32_t code = device_.CeRegQueryValueEx(KeyFromWire(key), name, &type, data, size);
  return Coded(After(true).lost, code);
}

Done DeviceOps::RegSetValueEx(std::uint32_t key, const std::u16string& name, std::uint32_t type,
                              const std::uint8_t* data, std::uint32_t size) {
  const std::int32_t code = device_.CeRegSetValueEx(KeyFromWire(key), name, type, data, size);
  return Coded(After(true).lost, code);
}

void WriteOutcome(link::WireWriter& out, const Done& done) {
  LastErrorAndResult(out, done.ok, done.error, done.ok ? 1 : 0);
}

Served Answer(link::WireWriter& out, const Done& done) {
  return Answer(out, done, done.ok ? 1 : 0);
}

Served Answer(link::WireWriter& out, const Done& done, std::uint32_t result) {
  if (done.lost) return Served::LinkLost;
  LastErrorAndResult(out, done.ok, done.error, result);
  return Served::Reply;
}

void WriteRecord(link::WireWriter& out, const CeFindData& record) {
  out.U32(record.dwFileAttributes);
  WriteTime(out, record.ftCreationTime);
  WriteTime(out, record.ftLastAccessTime);
  WriteTime(out, record.ftLastWriteTime);
  out.U32(record.nFileSizeHigh).U32(record.nFileSizeLow).U32(record.dwOID);
  for (const char16_t unit : record.cFileName) out.U16(unit);
}

void WriteEntry(link::WireWriter& out, const CeFindData& record, std::uint32_t flags,
                std::uint32_t name_unit) {
  const std::size_t units = NameUnits(record);
  if (flags & kFafName) out.U32(static_cast<std::uint32_t>((units + 1) * name_unit));
  if (flags & kFafAttributes) out.U32(record.dwFileAttributes);
  if (flags & kFafCreationTime) WriteTime(out, record.ftCreationTime);
  if (flags & kFafLastAccessTime) WriteTime(out, record.ftLastAccessTime);
  if (flags & kFafLastWriteTime) WriteTime(out, record.ftLastWriteTime);
  if (flags & kFafSizeHigh) out.U32(record.nFileSizeHigh);
  if (flags & kFafSizeLow) out.U32(record.nFileSizeLow);
  if (flags & kFafOid) out.U32(record.dwOID);
  if (flags & kFafName) out.Utf16(std::u16string_view(record.cFileName, units)).U16(0);
}

void WriteSystemInfo(link::WireWriter& out, std::uint32_t processor_type) {
  out.U16(processor_type != 0 ? ArchitectureOf(processor_type) : 0).U16(0);
  out.U32(4096);            // page size
  out.U32(0x00010000);      // lowest application address
  out.U32(0x7FFFFFFF);      // highest application address
  out.U32(1).U32(1);        // processor mask, number of processors
  out.U32(processor_type);  // @24
  out.U32(0x00010000);      // allocation granularity
  out.U16(0).U16(0);        // level, revision
}

void WritePowerStatus(link::WireWriter& out) {
  out.U8(kAcOnline).U8(kBatteryHigh).U8(100).U8(0);
  out.U32(kUnknownLifeTime).U32(kUnknownLifeTime);
  out.U8(0).U8(kBatteryHigh).U8(100).U8(0);
  out.U32(kUnknownLifeTime).U32(kUnknownLifeTime);
}

void WriteVersion(link::WireWriter& out, std::uint32_t error, std::uint32_t major,
                  std::uint32_t minor, std::uint32_t build) {
  LastErrorAndResult(out, error == 0, error, error == 0 ? 1 : 0);
  out.U32(kVersionInfoSize);
  out.U32(kVersionInfoSize);
  out.U32(error == 0 ? major : 0).U32(error == 0 ? minor : 0);
  out.U32(error == 0 ? build : 0).U32(error == 0 ? kPlatformWinCe : 0);
  for (std::size_t i = 0; i < kVersionTextUnits; ++i) out.U16(0);
}

}  // namespace zp::handheld
