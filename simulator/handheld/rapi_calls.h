// The remote API's calls (RAPI2) as the handheld serves them: one request
// read, the call made on the simulated handheld, one reply written. The
// calls the simulated handheld lacks (moves, folder removal, the find
// handles, the store, the version, the power status, the special folders)
// are made here on the world's files/, through the same fault rules.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <span>

#include "link/wire.h"
#include "simulator/handheld/device_ops.h"
#include "simulator/simulated_device.h"

namespace zp::handheld {

class RapiCalls {
 public:
  RapiCalls(SimulatedDevice& device, std::filesystem::path files_root);

  /// Serves one request: `request` is the frame's body (command and
  /// arguments); the reply's body is appended to `reply`.
  Served Serve(std::span<const std::uint8_t> request, link::WireWriter& reply, SessionOwned& owned);

  /// Closes what a session left open.
  void Release(SessionOwned& owned);

 private:
  using Handler = Served (RapiCalls::*)(link::WireReader&, link::WireWriter&, SessionOwned&);
  static const std::map<std::uint32_t, Handler>& Handlers();

  // Calls of the simulated handheld (rapi_calls.cpp).
  Served FindAllFiles(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served GetFileAttributes(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served CreateFile(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served ReadFile(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served WriteFile(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served CloseHandle(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served CreateDirectory(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served CreateProcess(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served DeleteFile(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served GetSystemInfo(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);

  // The registry (registry_calls.cpp).
  Served RegOpenKeyEx(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served RegCreateKeyEx(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served RegCloseKey(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served RegQueryValueEx(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served RegSetValueEx(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);

  // Calls made here on files/ (file_calls.cpp).
  Served MoveFile(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served RemoveDirectory(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served FindFirstFile(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served FindNextFile(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served FindClose(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);

  // The handheld's own state (system_calls.cpp).
  Served GetStoreInformation(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served GetVersionEx(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served GetSystemPowerStatusEx(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);
  Served GetSpecialFolderPath(link::WireReader& in, link::WireWriter& out, SessionOwned& owned);

  DeviceOps ops_;
};

}  // namespace zp::handheld
