// The handheld as the program reaches it: one member per remote API (RAPI)
// and device-profile (CeUtil) operation the program calls, named and tested
// as the real ones are. Implemented by the run-time RAPI binding on Windows
// and by the simulated handheld everywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zp {

// Remote handles, keys and profile handles are distinct types, so that one
// can never be passed where another is expected. Their values are the
// program's own: the Windows binding translates them to and from the real
// HANDLE and HKEY values, whose invalid and root values depend on the
// width of a pointer.

/// A remote file, process or thread handle; kInvalidCeHandle is failure.
enum class CeHandle : std::uintptr_t {};
inline constexpr CeHandle kInvalidCeHandle = static_cast<CeHandle>(~std::uintptr_t{0});

/// A remote registry key. kCeHkeyLocalMachine is the device's root; 0 is none.
enum class CeKey : std::uintptr_t {};
inline constexpr CeKey kNoCeKey = static_cast<CeKey>(0);
inline constexpr CeKey kCeHkeyLocalMachine = static_cast<CeKey>(0x80000002u);

/// A CeUtil enumeration or profile handle; 0 is none.
enum class CeSvcHandle : std::uintptr_t {};
inline constexpr CeSvcHandle kNoCeSvcHandle = static_cast<CeSvcHandle>(0);

inline constexpr std::uint32_t kGenericRead = 0x80000000u;
inline constexpr std::uint32_t kGenericWrite = 0x40000000u;
inline constexpr std::uint32_t kFileShareRead = 1;
inline constexpr std::uint32_t kCreateNew = 1;
inline constexpr std::uint32_t kCreateAlways = 2;
inline constexpr std::uint32_t kOpenExisting = 3;
inline constexpr std::uint32_t kFileAttributeNormal = 0x80;

// CeFindAllFiles: which fields of each record to fill.
inline constexpr std::uint32_t kFafAttributes = 0x01;
inline constexpr std::uint32_t kFafCreationTime = 0x02;
inline constexpr std::uint32_t kFafLastAccessTime = 0x04;
inline constexpr std::uint32_t kFafLastWriteTime = 0x08;
inline constexpr std::uint32_t kFafSizeHigh = 0x10;
inline constexpr std::uint32_t kFafSizeLow = 0x20;
inline constexpr std::uint32_t kFafOid = 0x40;
inline constexpr std::uint32_t kFafName = 0x80;
inline constexpr std::uint32_t kFafFoldersOnly = 0x4000;

/// CeSvcOpen's service code for the device profiles.
inline constexpr std::uint32_t kCeSvcProfile = 3;

/// CE_FIND_DATA as the remote API lays it out: 560 bytes.
struct CeFindData {
  std::uint32_t dwFileAttributes;
  std::uint32_t ftCreationTime[2];
  std::uint32_t ftLastAccessTime[2];
  std::uint32_t ftLastWriteTime[2];
  std::uint32_t nFileSizeHigh;
  std::uint32_t nFileSizeLow;
  std::uint32_t dwOID;
  char16_t cFileName[260];
};
static_assert(sizeof(CeFindData) == 560);
static_assert(offsetof(CeFindData, nFileSizeLow) == 32);
static_assert(offsetof(CeFindData, cFileName) == 40);

/// PROCESS_INFORMATION filled by CeCreateProcess.
struct CeProcessInfo {
  CeHandle hProcess = kInvalidCeHandle;
  CeHandle hThread = kInvalidCeHandle;
  std::uint32_t dwProcessId = 0;
  std::uint32_t dwThreadId = 0;
};

/// The part of SYSTEM_INFO the program reads.
struct CeSystemInfo {
  std::uint32_t dwProcessorType = 0;
};

class RemoteDevice {
 public:
  virtual ~RemoteDevice() = default;

  /// What the device is reached through, when no two sessions may share it
  /// (a network interface, or an address): a second session on it must not
  /// even look for a handheld. Empty: the device alone tells sessions apart.
  virtual std::string LinkName() const { return {}; }

  /// Why this desktop starts no installation on the device (a log line's
  /// end); empty: it may. Through ActiveSync's DLLs their partnership
  /// decides; over the link, the administrator's list of handhelds.
  virtual std::string WhyNoInstallation() const { return {}; }

  // Connection. A negative CeRapiInit means no connection.
  virtual std::int32_t CeRapiInit() = 0;
  virtual std::int32_t CeRapiUninit() = 0;

  // Device profiles (CeUtil); zero is success.
  virtual std::uint32_t CeGetDeviceId() = 0;
  virtual std::int32_t CeSvcEnumProfiles(CeSvcHandle* enumeration, std::uint32_t index,
                                         std::uint32_t* profile) = 0;
  virtual std::int32_t CeSvcOpen(std::uint32_t service, std::uint32_t profile, bool create,
                                 CeSvcHandle* opened) = 0;
  /// Reads the 8-bit string `name` into `buffer` of `size` bytes.
  virtual std::int32_t CeSvcGetString(CeSvcHandle profile, const char* name, char* buffer,
                                      std::uint32_t size) = 0;
  virtual std::int32_t CeSvcClose(CeSvcHandle handle) = 0;

  // Files; kInvalidCeHandle / kInvalidAttributes / false are failure.
  virtual CeHandle CeCreateFile(const std::u16string& path, std::uint32_t access,
                                std::uint32_t share, std::uint32_t disposition,
                                std::uint32_t attributes) = 0;
  virtual bool CeReadFile(CeHandle file, void* buffer, std::uint32_t size, std::uint32_t* got) = 0;
  virtual bool CeWriteFile(CeHandle file, const void* buffer, std::uint32_t size,
                           std::uint32_t* put) = 0;
  /// Closes a file, process or thread handle.
  virtual bool CeCloseHandle(CeHandle handle) = 0;
  virtual std::uint32_t CeGetFileAttributes(const std::u16string& path) = 0;
  virtual bool CeCreateDirectory(const std::u16string& path) = 0;
  virtual bool CeDeleteFile(const std::u16string& path) = 0;
  /// Lists a pattern ("\dir\*.ARR"); the buffer, when not null, is released
  /// with CeRapiFreeBuffer.
  virtual bool CeFindAllFiles(const std::u16string& pattern, std::uint32_t flags,
                              std::uint32_t* count, CeFindData** records) = 0;
  virtual void CeRapiFreeBuffer(void* buffer) = 0;

  // Registry under the device's HKEY_LOCAL_MACHINE; zero is success.
  virtual std::int32_t CeRegOpenKeyEx(CeKey root, const std::u16string& subkey, CeKey* opened) = 0;
  virtual std::int32_t CeRegCreateKeyEx(CeKey root, const std::u16string& subkey, CeKey* opened,
                                        std::uint32_t* disposition) = 0;
  /// `size` holds the buffer's size and receives the value's size.
  virtual std::int32_t CeRegQueryValueEx(CeKey key, const std::u16string& name, std::uint32_t* type,
                                         std::uint8_t* data, std::uint32_t* size) = 0;
  virtual std::int32_t CeRegSetValueEx(CeKey key, const std::u16string& name, std::uint32_t type,
                                       const std::uint8_t* data, std::uint32_t size) = 0;
  virtual std::int32_t CeRegCloseKey(CeKey key) = 0;

  // Processes and system.
  virtual bool CeCreateProcess(const std::u16string& application,
                               const std::u16string& command_line, CeProcessInfo* info) = 0;
  virtual void CeGetSystemInfo(CeSystemInfo* info) = 0;
  virtual std::uint32_t CeGetLastError() = 0;
  virtual std::int32_t CeRapiGetError() = 0;
};

}  // namespace zp
