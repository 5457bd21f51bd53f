// The inside of SimulatedDevice, shared by the files that implement its
// members: the connection, open handles, keys and buffers, the device
// registry in memory, the error codes, and the choke point (Gate).
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/regfile.h"
#include "simulator/simulated_device.h"

namespace zp {

// Codes the simulator reports beyond those of platform.h.
inline constexpr std::uint32_t kErrorGenFailure = 31;
inline constexpr std::uint32_t kErrorInvalidData = 13;
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrorNoMoreItems = 259;
inline constexpr std::uint32_t kErrorRegistryIo = 1016;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::int32_t kHresultFail = static_cast<std::int32_t>(0x80004005u);
inline constexpr std::int32_t kHresultAlreadyInitialized = static_cast<std::int32_t>(0x80041001u);
/// What CeRapiGetError gives after an operation failed on a lost connection.
inline constexpr std::int32_t kHresultConnectionLost = static_cast<std::int32_t>(0x80072745u);

namespace sim {

/// Serve; serve half a write; refuse; or serve, then report a failure (a
/// lost reply: the member calls LoseReply after doing the work).
enum class Admit { Serve, ShortWrite, Refuse, ServeThenFail };

/// A file opened with CeCreateFile, or the process or thread of a started
/// program (no file then).
struct OpenHandle {
  std::u16string device_path;
  std::filesystem::path host;
  std::unique_ptr<std::filebuf> file;
  bool can_read = false;
  bool can_write = false;
  bool writing = false;  // the last transfer was a write (a seek comes between directions)
};

struct OpenKey {
  std::string path;       // "HKEY_LOCAL_MACHINE\Software\Brenok\ZAMO"
  std::u16string subkey;  // "Software\Brenok\ZAMO", for the journal
};

struct OpenService {
  bool enumeration = false;
  std::string key;  // the profile's key in the desktop registry
};

/// A REG_DWORD of the document; nothing when missing or of another form.
std::optional<std::uint32_t> ReadDword(const regfile::Document& doc, std::string_view key,
                                       std::string_view name);

inline constexpr std::string_view kIdentKey = "HKEY_LOCAL_MACHINE\\Ident";

}  // namespace sim

struct SimulatedDevice::State {
  State(std::string device_folder, std::string desktop_reg, FaultRules& rules,
        std::vector<std::string>& lines);

  /// The one choke point: journals the call, consults the fault rules, and
  /// refuses every operation that needs the connection when there is none.
  /// On Refuse the last error is set (the rule's code, else `usual`).
  sim::Admit Gate(std::string_view operation, const std::u16string& path, std::uint32_t usual,
                  bool needs_connection = true);

  /// After an operation admitted with ServeThenFail was carried out: the
  /// reply is lost (and the link with it when the rule says `drop`). False.
  bool LoseReply(std::uint32_t usual);

  /// Records a failure; the helpers return what the operation then gives.
  bool Error(std::uint32_t code) {
    last_error = code;
    return false;
  }
  std::int32_t Code(std::uint32_t code) {
    last_error = code;
    return static_cast<std::int32_t>(code);
  }

  bool DeviceExists() const;
  std::string DeviceRegFile() const;
  CeHandle AddHandle(sim::OpenHandle handle);
  /// The full path of HKEY_LOCAL_MACHINE or of an open key; nothing for
  /// a key that is not open.
  std::optional<std::string> KeyPath(CeKey key) const;
  CeKey AddKey(std::string path);
  /// What CeRegOpenKeyEx and CeRegCreateKeyEx check before they look at
  /// the key: the call's fault rule, the output and the root. The full path
  /// of `subkey` below `root`; nothing when a check fails, `code` then
  /// being what the call returns. `*opened` is cleared first.
  std::optional<std::string> KeyToOpen(std::string_view call, std::uint32_t usual, CeKey root,
                                       const std::u16string& subkey, CeKey* opened,
                                       std::int32_t& code);

  std::string folder;
  std::string desktop_registry;
  SimulatedDevice::ProfileSource profile_source;  // when set, read instead of desktop_registry
  std::filesystem::path files_root;
  FaultRules& faults;
  std::vector<std::string>& journal;
  bool keep_journal = false;

  bool connected = false;
  regfile::Document registry;  // device.reg, read when the connection opens

  std::map<CeHandle, sim::OpenHandle> handles;
  std::map<CeKey, sim::OpenKey> keys;
  std::map<CeSvcHandle, sim::OpenService> services;
  std::map<const void*, std::unique_ptr<CeFindData[]>> buffers;
  std::uintptr_t next_handle = 0x10000;
  std::uintptr_t next_key = 0x20000;
  std::uintptr_t next_service = 0x30000;
  std::uint32_t next_process_id = 0x1000;

  std::uint32_t last_error = 0;
  std::int32_t rapi_error = 0;
};

}  // namespace zp
