// What both generations of the remote API do with a call once its
// arguments are read: the call made on the simulated handheld (or, for the
// calls it lacks, here on the world's files/ through the same fault rules),
// the handles, keys and searches a session owns, and the records both
// generations reply alike. Each generation keeps only its own reading of
// the arguments and writing of the reply.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
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

/// How a call came out: the link lost (no reply), or done, `ok` or failed
/// with `error` (a Win32 error; for the registry, the call's own code).
struct Done {
  bool lost = false;
  bool ok = false;
  std::uint32_t error = 0;
};

/// A special folder: its CSIDL number and where the handheld keeps it.
using SpecialFolder = std::pair<std::uint32_t, std::u16string_view>;

class DeviceOps {
 public:
  DeviceOps(SimulatedDevice& device, std::filesystem::path files_root);

  /// Closes what a session left open.
  void Release(SessionOwned& owned);

  // Calls of the simulated handheld (device_ops.cpp). Handles and keys
  // are as the wire carries them; what opens one records it in `owned`.
  Done FindAllFiles(const std::u16string& pattern, std::uint32_t flags,
                    std::vector<CeFindData>& records);
  Done GetFileAttributes(const std::u16string& path, std::uint32_t& attributes);
  Done CreateFile(const std::u16string& path, std::uint32_t access, std::uint32_t share,
                  std::uint32_t disposition, std::uint32_t attributes, SessionOwned& owned,
                  std::uint32_t& handle);
  /// `got` is 0 when the read failed.
  Done ReadFile(std::uint32_t handle, std::uint8_t* buffer, std::uint32_t wanted,
                std::uint32_t& got);
  Done WriteFile(std::uint32_t handle, const std::uint8_t* data, std::uint32_t size,
                 std::uint32_t& put);
  Done CloseHandle(std::uint32_t handle, SessionOwned& owned);
  Done CreateDirectory(const std::u16string& path);
  Done DeleteFile(const std::u16string& path);
  Done CreateProcess(const std::u16string& program, const std::u16string& command_line,
                     SessionOwned& owned, CeProcessInfo& info);
  /// `ok` when the processor type is known.
  Done GetSystemInfo(std::uint32_t& processor_type);

  // The registry (device_ops.cpp): `error` is the call's code.
  Done RegOpenKeyEx(std::uint32_t root, const std::u16string& subkey, SessionOwned& owned,
                    std::uint32_t& key);
  Done RegCreateKeyEx(std::uint32_t root, const std::u16string& subkey, SessionOwned& owned,
                      std::uint32_t& key, std::uint32_t& disposition);
  Done RegCloseKey(std::uint32_t key, SessionOwned& owned);
  Done RegQueryValueEx(std::uint32_t key, const std::u16string& name, std::uint32_t& type,
                       std::uint8_t* data, std::uint32_t* size);
  Done RegSetValueEx(std::uint32_t key, const std::u16string& name, std::uint32_t type,
                     const std::uint8_t* data, std::uint32_t size);

  // Calls made here on files/ (device_folder_ops.cpp).
  Done MoveFile(const std::u16string& from, const std::u16string& to);
  Done RemoveDirectory(const std::u16string& path);
  /// Served from one CeFindAllFiles of the pattern (its fault rules
  /// apply); the records are kept until FindClose or the session's end.
  /// On success `handle` is the search's and `first` its first record.
  Done FindFirstFile(const std::u16string& pattern, SessionOwned& owned, std::uint32_t& handle,
                     const CeFindData*& first);
  Done FindNextFile(std::uint32_t handle, const CeFindData*& record);
  Done FindClose(std::uint32_t handle, SessionOwned& owned);

  // The handheld's own state, each through the fault rules
  // (device_folder_ops.cpp).
  /// Only the fault rules: for the calls that report fixed values.
  Done Admit(std::string_view operation);
  Done GetStoreInformation(std::uint32_t& capacity, std::uint32_t& available);
  /// The folder `csidl` of `folders`, when `room` holds it and its NUL.
  Done GetSpecialFolderPath(std::span<const SpecialFolder> folders, std::uint32_t csidl,
                            std::uint32_t room, std::u16string_view& path);

 private:
  /// After a call on the simulated handheld: whether it lost the link,
  /// else its outcome and last error.
  Done After(bool ok);
  /// For a call made here: consults the fault rules as the simulated
  /// handheld's choke point does. `lost`, or failed with the rule's error
  /// (else `usual`), or ok to be served.
  Done Gate(std::string_view operation, const std::u16string& path, std::uint32_t usual);

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

// Records both generations reply alike (device_ops.cpp).
/// le and rv of a call that gives TRUE or FALSE.
void WriteOutcome(link::WireWriter& out, const Done& done);
/// A reply of le and rv alone (rv `result`, else TRUE or FALSE), or none
/// when the link is lost.
Served Answer(link::WireWriter& out, const Done& done);
Served Answer(link::WireWriter& out, const Done& done, std::uint32_t result);
/// A CE_FIND_DATA as the find calls send it: 560 bytes.
void WriteRecord(link::WireWriter& out, const CeFindData& record);
/// One CeFindAllFiles entry: the fields asked for, the name's size first
/// (`name_unit` per character, its NUL counted) and the name (with its
/// NUL) last.
void WriteEntry(link::WireWriter& out, const CeFindData& record, std::uint32_t flags,
                std::uint32_t name_unit);
/// SYSTEM_INFO's 36 bytes after the processor type's architecture.
void WriteSystemInfo(link::WireWriter& out, std::uint32_t processor_type);
/// The 24-byte SYSTEM_POWER_STATUS_EX: on the cradle, battery full.
void WritePowerStatus(link::WireWriter& out);
/// le and rv of CeGetVersionEx, then the CEOSVERSIONINFO (zeros when
/// `error` is set).
void WriteVersion(link::WireWriter& out, std::uint32_t error, std::uint32_t major,
                  std::uint32_t minor, std::uint32_t build);

}  // namespace zp::handheld
