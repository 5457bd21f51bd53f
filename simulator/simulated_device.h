// The simulated handheld: a device in a folder (device.reg, files/,
// started.log, faults), behind the same boundary as the real remote API.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/remote_device.h"
#include "platform/regfile.h"
#include "simulator/fault_rules.h"

namespace zp {

class SimulatedDevice : public RemoteDevice {
 public:
  /// `folder` is the handheld's folder; an empty name or a folder that does
  /// not exist means no device is connected. `desktop_registry` is the
  /// desktop's registry.reg, where the device profiles live. The `faults`
  /// file of the folder, when present, is loaded into the rules.
  SimulatedDevice(std::string folder, std::string desktop_registry);
  ~SimulatedDevice() override;

  /// Where the device profiles come from when not from `desktop_registry`:
  /// a document holding the Partners keys (the Windows stand-in reads them
  /// from the real registry). Profiles cannot be created then.
  using ProfileSource = std::function<regfile::Document()>;
  void SetProfileSource(ProfileSource source);

  /// The rules in force; tests add to them.
  FaultRules& faults() { return faults_; }
  /// One line per operation served, in order: the operation's name, then
  /// its path argument when it has one ("CeGetFileAttributes \My Documents").
  /// Kept only from KeepJournal() on: a session of thousands of blocks would
  /// otherwise hold a line for each of them until it ends.
  const std::vector<std::string>& journal() const { return journal_; }
  void KeepJournal(bool keep = true);
  void ClearJournal() { journal_.clear(); }

  std::int32_t CeRapiInit() override;
  std::int32_t CeRapiUninit() override;
  std::uint32_t CeGetDeviceId() override;
  std::int32_t CeSvcEnumProfiles(CeSvcHandle* enumeration, std::uint32_t index,
                                 std::uint32_t* profile) override;
  std::int32_t CeSvcOpen(std::uint32_t service, std::uint32_t profile, bool create,
                         CeSvcHandle* opened) override;
  std::int32_t CeSvcGetString(CeSvcHandle profile, const char* name, char* buffer,
                              std::uint32_t size) override;
  std::int32_t CeSvcClose(CeSvcHandle handle) override;
  CeHandle CeCreateFile(const std::u16string& path, std::uint32_t access, std::uint32_t share,
                        std::uint32_t disposition, std::uint32_t attributes) override;
  bool CeReadFile(CeHandle file, void* buffer, std::uint32_t size, std::uint32_t* got) override;
  bool CeWriteFile(CeHandle file, const void* buffer, std::uint32_t size,
                   std::uint32_t* put) override;
  bool CeCloseHandle(CeHandle handle) override;
  std::uint32_t CeGetFileAttributes(const std::u16string& path) override;
  bool CeCreateDirectory(const std::u16string& path) override;
  bool CeDeleteFile(const std::u16string& path) override;
  bool CeFindAllFiles(const std::u16string& pattern, std::uint32_t flags, std::uint32_t* count,
                      CeFindData** records) override;
  void CeRapiFreeBuffer(void* buffer) override;
  std::int32_t CeRegOpenKeyEx(CeKey root, const std::u16string& subkey, CeKey* opened) override;
  std::int32_t CeRegCreateKeyEx(CeKey root, const std::u16string& subkey, CeKey* opened,
                                std::uint32_t* disposition) override;
  std::int32_t CeRegQueryValueEx(CeKey key, const std::u16string& name, std::uint32_t* type,
                                 std::uint8_t* data, std::uint32_t* size) override;
  std::int32_t CeRegSetValueEx(CeKey key, const std::u16string& name, std::uint32_t type,
                               const std::uint8_t* data, std::uint32_t size) override;
  std::int32_t CeRegCloseKey(CeKey key) override;
  bool CeCreateProcess(const std::u16string& application, const std::u16string& command_line,
                       CeProcessInfo* info) override;
  void CeGetSystemInfo(CeSystemInfo* info) override;
  std::uint32_t CeGetLastError() override;
  std::int32_t CeRapiGetError() override;

  /// Handles and buffers still open (tests check that everything was closed).
  std::size_t OpenHandles() const;
  std::size_t OpenBuffers() const;
  std::size_t OpenKeys() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
  FaultRules faults_;
  std::vector<std::string> journal_;
};

}  // namespace zp
