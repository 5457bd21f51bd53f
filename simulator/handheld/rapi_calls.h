// The remote API's calls (RAPI2) as the handheld serves them: one request
// read, the call made on the simulated handheld, one reply written. The
// calls the simulated handheld lacks (moves, folder removal, the find
// handles, the store, the version, the power status, the special folders)
// are made here on the world's files/, through the same fault rules.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/remote_device.h"
#include "link/wire.h"
#include "simulator/simulated_device.h"

namespace zp::handheld {

/// What serving one request came to.
enum class Served {
  Reply,       ///< the reply is written
  LinkLost,    ///< the link is gone: no reply, the session closes
  Unreadable,  ///< the request does not parse: the session closes
};

/// What a session opened and has not closed; closed when the session ends.
struct SessionOwned {
  std::set<std::uint32_t> files;
  std::set<std::uint32_t> keys;
  std::set<std::uint32_t> finds;
};

/// The size of a CE_FIND_DATA record on the wire.
inline constexpr std::uint32_t kRecordSize = sizeof(CeFindData);

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

  /// After a call on the simulated handheld: LinkLost when it lost the link.
  Served After();
  /// For a call made here: consults the fault rules as the simulated
  /// handheld's choke point does. Serve, or `error` set (Fail), or the
  /// link is gone (LinkLost).
  enum class Admit { Serve, Fail, LinkLost };
  Admit Gate(std::string_view operation, const std::u16string& path, std::uint32_t usual,
             std::uint32_t& error);

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

  /// An open CeFindFirstFile search: its records and the next one to give.
  struct Search {
    std::vector<CeFindData> records;
    std::size_t next = 0;
  };

  SimulatedDevice& device_;
  std::filesystem::path files_root_;
  std::map<std::uint32_t, Search> searches_;
  std::uint32_t next_search_ = 0x50000;
};

/// A record as CeFindFirstFile and CeFindNextFile send it: 560 bytes.
void WriteRecord(link::WireWriter& out, const CeFindData& record);

}  // namespace zp::handheld
