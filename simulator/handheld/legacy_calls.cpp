// The older remote API's dispatch, its flag word, the fault rules of the
// calls made here, and the argument readers the calls share.
#include "simulator/handheld/legacy_calls.h"

#include <utility>

#include "link/legacy_protocol.h"
#include "link/rapi1_wire.h"
#include "simulator/handheld/wire_values.h"
#include "simulator/sim_state.h"

namespace zp::handheld {

using namespace zp::link;

LegacyCalls::LegacyCalls(SimulatedDevice& device, std::filesystem::path files_root,
                         const LegacyInfo& info)
    : ops_(device, std::move(files_root)), info_(info) {}

const std::map<std::uint32_t, LegacyCalls::Handler>& LegacyCalls::Handlers() {
  static const std::map<std::uint32_t, Handler> handlers = {
      {kLegFindFirstFile, &LegacyCalls::FindFirstFile},
      {kLegFindNextFile, &LegacyCalls::FindNextFile},
      {kLegFindClose, &LegacyCalls::FindClose},
      {kLegGetFileAttributes, &LegacyCalls::GetFileAttributes},
      {kLegCreateFile, &LegacyCalls::CreateFile},
      {kLegReadFile, &LegacyCalls::ReadFile},
      {kLegWriteFile, &LegacyCalls::WriteFile},
      {kLegCloseHandle, &LegacyCalls::CloseHandle},
      {kLegFindAllFiles, &LegacyCalls::FindAllFiles},
      {kLegCreateDirectory, &LegacyCalls::CreateDirectory},
      {kLegRemoveDirectory, &LegacyCalls::RemoveDirectory},
      {kLegCreateProcess, &LegacyCalls::CreateProcess},
      {kLegMoveFile, &LegacyCalls::MoveFile},
      {kLegDeleteFile, &LegacyCalls::DeleteFile},
      {kLegRegOpenKeyEx, &LegacyCalls::RegOpenKeyEx},
      {kLegRegCreateKeyEx, &LegacyCalls::RegCreateKeyEx},
      {kLegRegCloseKey, &LegacyCalls::RegCloseKey},
      {kLegRegQueryValueEx, &LegacyCalls::RegQueryValueEx},
      {kLegRegSetValueEx, &LegacyCalls::RegSetValueEx},
      {kLegGetSystemMemoryDivision, &LegacyCalls::GetSystemMemoryDivision},
      {kLegGetStoreInformation, &LegacyCalls::GetStoreInformation},
      {kLegGetSystemInfo, &LegacyCalls::GetSystemInfo},
      {kLegGetVersionEx, &LegacyCalls::GetVersionEx},
      {kLegGetSystemPowerStatusEx, &LegacyCalls::GetSystemPowerStatusEx},
      {kLegGetSpecialFolderPath, &LegacyCalls::GetSpecialFolderPath},
  };
  return handlers;
}

Served LegacyCalls::Serve(std::span<const std::uint8_t> request, WireWriter& reply,
                          SessionOwned& owned) {
  WireReader in(request);
  const std::uint32_t command = in.U32();
  if (!in.ok()) return Served::Unreadable;
  const auto it = Handlers().find(command);
  if (it == Handlers().end()) {
    reply.U32(kReplyWithResult).U32(kENotImpl);
    return Served::Reply;
  }
  hresult_ = 0;
  WireWriter data;
  switch ((this->*(it->second))(in, data, owned)) {
    case Served::LinkLost:
      return Served::LinkLost;
    case Served::Unreadable:
      hresult_ = kEInvalidArg;
      break;
    case Served::Reply:
      break;
  }
  if (hresult_ != 0) {
    reply.U32(kReplyWithResult).U32(hresult_);
  } else {
    reply.U32(kReplyPlain).Bytes(data.bytes());
  }
  return Served::Reply;
}

void LegacyCalls::Release(SessionOwned& owned) {
  ops_.Release(owned);
}

std::u16string PlainText(WireReader& in) {
  auto arg = rapi1::ReadPlainString(in);
  return arg ? std::move(arg->value) : std::u16string();
}

std::u16string OptionalText(WireReader& in) {
  auto arg = rapi1::ReadOptionalString(in);
  return arg ? std::move(arg->value) : std::u16string();
}

bool Room(WireReader& in, std::uint32_t least) {
  const auto room = rapi1::ReadOptionalOut(in, 0xFFFFFFFFu);
  if (!room) return false;
  if (room->present && room->value < least) in.Fail();
  return room->present;
}

void ReplyValue(WireWriter& out, bool asked, std::span<const std::uint8_t> bytes) {
  if (asked) {
    rapi1::ReplyOptional(out, bytes);
  } else {
    rapi1::ReplyOptional(out, std::nullopt);
  }
}

void ReplyU32(WireWriter& out, bool asked, std::uint32_t value) {
  WireWriter bytes;
  bytes.U32(value);
  ReplyValue(out, asked, bytes.bytes());
}

std::uint32_t HresultOf(std::uint32_t error) {
  constexpr std::uint32_t kEFail = 0x80004005u;
  return error == 0 ? kEFail : 0x80070000u | (error & 0xFFFFu);
}

}  // namespace zp::handheld
