// The older remote API's calls (RAPI1) as an older handheld serves them:
// one request read in the older argument encodings, the call made on the
// simulated handheld (or, for the calls it lacks, here on the world's
// files/ through the same fault rules), and one reply written: its flag
// word, then the call's data.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <span>
#include <string>

#include "link/legacy_info.h"
#include "link/wire.h"
#include "simulator/handheld/device_ops.h"
#include "simulator/handheld/rapi_calls.h"
#include "simulator/simulated_device.h"

namespace zp::handheld {

/// What a request whose arguments do not add up is answered (flag 1).
inline constexpr std::uint32_t kEInvalidArg = 0x80070057u;
/// The most one CeReadFile answers, whatever it asks.
inline constexpr std::uint32_t kLegacyMaxRead = 64 * 1024;

class LegacyCalls {
 public:
  /// `info` gives the version CeGetVersionEx reports.
  LegacyCalls(SimulatedDevice& device, std::filesystem::path files_root,
              const link::LegacyInfo& info);

  /// Serves one request: `request` is the frame's body (command and
  /// arguments); the reply's body is appended to `reply`. An unknown
  /// command is answered flag 1 and E_NOTIMPL, a request whose arguments
  /// do not add up flag 1 and E_INVALIDARG; the session goes on after both.
  Served Serve(std::span<const std::uint8_t> request, link::WireWriter& reply, SessionOwned& owned);

  /// Closes what a session left open.
  void Release(SessionOwned& owned);

 private:
  using Handler = Served (LegacyCalls::*)(link::WireReader&, link::WireWriter&, SessionOwned&);
  static const std::map<std::uint32_t, Handler>& Handlers();

  // The program's file and process calls (legacy_file_calls.cpp).
  Served FindAllFiles(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served GetFileAttributes(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served CreateFile(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served ReadFile(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served WriteFile(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served CloseHandle(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served CreateDirectory(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served DeleteFile(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served CreateProcess(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);

  // Calls made here on files/ (legacy_folder_calls.cpp).
  Served MoveFile(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served RemoveDirectory(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served FindFirstFile(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served FindNextFile(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served FindClose(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);

  // The registry (legacy_registry_calls.cpp).
  Served RegOpenKeyEx(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served RegCreateKeyEx(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served RegCloseKey(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served RegQueryValueEx(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served RegSetValueEx(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);

  // The handheld's own state (legacy_system_calls.cpp).
  Served GetSystemInfo(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served GetVersionEx(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served GetSystemMemoryDivision(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served GetStoreInformation(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served GetSystemPowerStatusEx(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served GetSpecialFolderPath(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);

  DeviceOps ops_;
  link::LegacyInfo info_;
  /// Set by a call that fails at the protocol level: the reply is flag 1
  /// and this HRESULT, and nothing of the call's data.
  std::uint32_t hresult_ = 0;
};

// The older argument encodings as the calls read them (legacy_calls.cpp).
// A NULL string is an empty text; what does not add up fails the reader.
std::u16string PlainText(link::WireReader& in);
std::u16string OptionalText(link::WireReader& in);
/// Room asked for a value to be filled: whether it was (not NULL). Room
/// smaller than `least` fails the reader.
bool Room(link::WireReader& in, std::uint32_t least);
/// A value returned through a pointer: a reply optional of `bytes` when
/// `asked`, else u32 0.
void ReplyValue(link::WireWriter& out, bool asked, std::span<const std::uint8_t> bytes);
void ReplyU32(link::WireWriter& out, bool asked, std::uint32_t value);
/// A Win32 error as a failed call's HRESULT.
std::uint32_t HresultOf(std::uint32_t error);

}  // namespace zp::handheld
