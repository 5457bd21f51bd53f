// The remote API bound at run time from ActiveSync's rapi.dll and ceutil.dll (Windows only).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/remote_device.h"

namespace zp {

/// The handheld reached through the real DLLs. Each export is looked up by
/// its plain name when the DLLs load; an operation whose DLL or export is
/// missing fails as its caller expects (no device id, a negative
/// CeRapiInit, an invalid handle, false, a non-zero code), never crashes.
class RapiLibrary : public RemoteDevice {
 public:
  /// How long CeRapiInit waits for the connection. ActiveSync starts the
  /// program once a handheld is connected, so the connection is normally
  /// made at once; one that takes this long will not be made (the handheld
  /// was pulled out), and the session ends as a failed connect.
  static constexpr std::uint32_t kConnectTimeoutMs = 15000;

  /// Loads the DLLs from the program's own folder, the system folder, then
  /// ActiveSync's own folder; never from the current folder or PATH, where
  /// anyone could plant one.
  RapiLibrary();
  /// Loads the DLLs from these folders only, in order (tests).
  explicit RapiLibrary(std::vector<std::string> folders,
                       std::uint32_t connect_timeout_ms = kConnectTimeoutMs);
  ~RapiLibrary() override;
  RapiLibrary(const RapiLibrary&) = delete;
  RapiLibrary& operator=(const RapiLibrary&) = delete;

  /// True when rapi.dll or ceutil.dll loaded: ActiveSync or Windows Mobile
  /// Device Center is installed (or DLLs of those names are beside the
  /// program), whether a handheld is connected or not.
  bool Loaded() const;

  /// CeRapiInitEx, then a wait for its event of at most the connect
  /// timeout, this thread's windows answering meanwhile. On any outcome but
  /// success CeRapiUninit ends the attempt, so the caller uninitialises only
  /// a connection that was made.
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

 private:
  // The modules and typed pointers live behind the header, which must not
  // bring <windows.h> into the files that include it.
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zp
