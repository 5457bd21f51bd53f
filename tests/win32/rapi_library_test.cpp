// RapiLibrary under Wine: no DLLs, a partial rapi.dll, the stand-ins with no device, translation.
#include "platform/win32/windows_api.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "device/rapi_library.h"
#include "device/rapi_translate.h"
#include "platform/platform.h"

// The build tells where the DLLs built for these tests are.
#ifndef ZP_PARTIAL_RAPI_DIR
#error "ZP_PARTIAL_RAPI_DIR must name the folder of the partial rapi.dll"
#endif
#ifndef ZP_STANDIN_DIR
#error "ZP_STANDIN_DIR must name the folder of the stand-in rapi.dll and ceutil.dll"
#endif

namespace zp::test {
namespace {

constexpr std::int32_t kProcNotFound = 127;  // ERROR_PROC_NOT_FOUND
const std::int32_t kEFail = static_cast<std::int32_t>(E_FAIL);

// A fresh empty folder under the temporary folder, removed afterwards.
class EmptyFolder {
 public:
  EmptyFolder() {
    char base[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof base, base);
    if (length == 0 || length > MAX_PATH) throw std::runtime_error("no temporary folder");
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
      path_ = std::string(base, length) + "zprapi." + std::to_string(GetCurrentProcessId()) + "." +
              std::to_string(attempt);
      if (CreateDirectoryA(path_.c_str(), nullptr)) return;
    }
    throw std::runtime_error("cannot create a temporary folder");
  }
  ~EmptyFolder() { RemoveDirectoryA(path_.c_str()); }
  EmptyFolder(const EmptyFolder&) = delete;
  EmptyFolder& operator=(const EmptyFolder&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Sets an environment variable for the test's lifetime.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    SetEnvironmentVariableA(name_, value.c_str());
  }
  ~ScopedEnvironment() { SetEnvironmentVariableA(name_, nullptr); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
};

TEST(RapiLibraryTest, WithNoDllEveryConnectionAndProfileCallFails) {
  EmptyFolder folder;
  RapiLibrary device(std::vector<std::string>{folder.path()});

  EXPECT_LT(device.CeRapiInit(), 0);
  EXPECT_LT(device.CeRapiUninit(), 0);
  EXPECT_EQ(device.CeGetDeviceId(), 0u);

  CeSvcHandle enumeration = kNoCeSvcHandle;
  std::uint32_t profile = 0;
  EXPECT_EQ(device.CeSvcEnumProfiles(&enumeration, 0, &profile), kProcNotFound);
  EXPECT_EQ(enumeration, kNoCeSvcHandle);
  CeSvcHandle opened = static_cast<CeSvcHandle>(0x30000);
  EXPECT_EQ(device.CeSvcOpen(kCeSvcProfile, 0x1a2b3c4du, false, &opened), kProcNotFound);
  EXPECT_EQ(opened, kNoCeSvcHandle);
  char name[16] = "unchanged";
  EXPECT_EQ(
      device.CeSvcGetString(static_cast<CeSvcHandle>(0x30000), "DisplayName", name, sizeof name),
      kProcNotFound);
  EXPECT_STREQ(name, "unchanged");
  EXPECT_EQ(device.CeSvcClose(static_cast<CeSvcHandle>(0x30000)), kProcNotFound);
}

TEST(RapiLibraryTest, WithNoDllEveryFileCallFails) {
  EmptyFolder folder;
  RapiLibrary device(std::vector<std::string>{folder.path()});
  const CeHandle file = static_cast<CeHandle>(0x10000);

  EXPECT_EQ(device.CeCreateFile(u"\\My Documents\\A.ARR", kGenericRead, kFileShareRead,
                                kOpenExisting, kFileAttributeNormal),
            kInvalidCeHandle);
  std::uint8_t bytes[8] = {};
  std::uint32_t moved = 99;
  EXPECT_FALSE(device.CeReadFile(file, bytes, sizeof bytes, &moved));
  EXPECT_EQ(moved, 0u);
  moved = 99;
  EXPECT_FALSE(device.CeWriteFile(file, bytes, sizeof bytes, &moved));
  EXPECT_EQ(moved, 0u);
  EXPECT_FALSE(device.CeCloseHandle(file));
  EXPECT_EQ(device.CeGetFileAttributes(u"\\My Documents"), 0xFFFFFFFFu);
  EXPECT_FALSE(device.CeCreateDirectory(u"\\My Documents\\New"));
  EXPECT_FALSE(device.CeDeleteFile(u"\\My Documents\\A.ARR"));

  std::uint32_t count = 5;
  CeFindData one{};
  CeFindData* records = &one;
  EXPECT_FALSE(device.CeFindAllFiles(u"\\My Documents\\*.ARR", kFafName, &count, &records));
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(records, nullptr);
  // Not the program's memory to release: with no DLL nothing is done.
  device.CeRapiFreeBuffer(&one);
  device.CeRapiFreeBuffer(nullptr);
  EXPECT_FALSE(device.CeFindAllFiles(u"\\*.*", kFafName, nullptr, nullptr));
}

TEST(RapiLibraryTest, WithNoDllEveryRegistryProcessAndSystemCallFails) {
  EmptyFolder folder;
  RapiLibrary device(std::vector<std::string>{folder.path()});

  CeKey key = static_cast<CeKey>(0x20000);
  EXPECT_EQ(device.CeRegOpenKeyEx(kCeHkeyLocalMachine, u"Software\\Brenok\\ZAMO", &key),
            kProcNotFound);
  EXPECT_EQ(key, kNoCeKey);
  key = static_cast<CeKey>(0x20000);
  std::uint32_t disposition = 0;
  EXPECT_EQ(
      device.CeRegCreateKeyEx(kCeHkeyLocalMachine, u"Software\\Brenok\\ZAMO", &key, &disposition),
      kProcNotFound);
  EXPECT_EQ(key, kNoCeKey);
  std::uint8_t data[4] = {};
  std::uint32_t type = 0;
  std::uint32_t size = sizeof data;
  EXPECT_EQ(device.CeRegQueryValueEx(kCeHkeyLocalMachine, u"DBState", &type, data, &size),
            kProcNotFound);
  EXPECT_EQ(device.CeRegSetValueEx(kCeHkeyLocalMachine, u"DBState", kRegDword, data, sizeof data),
            kProcNotFound);
  EXPECT_EQ(device.CeRegCloseKey(static_cast<CeKey>(0x20000)), kProcNotFound);

  CeProcessInfo process;
  process.dwProcessId = 7;
  EXPECT_FALSE(device.CeCreateProcess(u"\\Windows\\import.exe", u"", &process));
  EXPECT_EQ(process.hProcess, kInvalidCeHandle);
  EXPECT_EQ(process.hThread, kInvalidCeHandle);
  EXPECT_EQ(process.dwProcessId, 0u);
  EXPECT_FALSE(device.CeCreateProcess(u"\\Windows\\import.exe", u"", nullptr));

  CeSystemInfo system;
  system.dwProcessorType = 0xA11;
  device.CeGetSystemInfo(&system);
  EXPECT_EQ(system.dwProcessorType, 0u);
  device.CeGetSystemInfo(nullptr);

  EXPECT_EQ(device.CeGetLastError(), static_cast<std::uint32_t>(kProcNotFound));
  EXPECT_EQ(device.CeRapiGetError(), kEFail);
}

TEST(RapiLibraryTest, PartialRapiServesOnlyWhatItExports) {
  RapiLibrary device(std::vector<std::string>{ZP_PARTIAL_RAPI_DIR});

  EXPECT_EQ(device.CeRapiInit(), 0);
  EXPECT_EQ(device.CeCreateFile(u"\\My Documents\\A.ARR", kGenericRead, kFileShareRead,
                                kOpenExisting, kFileAttributeNormal),
            kInvalidCeHandle);
  std::uint32_t count = 5;
  CeFindData* records = nullptr;
  EXPECT_FALSE(device.CeFindAllFiles(u"\\My Documents\\*.ARR", kFafName, &count, &records));
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(records, nullptr);
  EXPECT_EQ(device.CeGetLastError(), static_cast<std::uint32_t>(kProcNotFound));
  EXPECT_EQ(device.CeRapiUninit(), 0);
}

TEST(RapiLibraryTest, StandInsWithAMissingDeviceFolderHaveNoDevice) {
  EmptyFolder folder;
  // Read by the stand-in rapi.dll when it first makes its device.
  ScopedEnvironment device_folder("ZAMOPOCKET_DEVICE", folder.path() + "\\no-such-device");
  RapiLibrary device(std::vector<std::string>{ZP_STANDIN_DIR});

  EXPECT_EQ(device.CeGetDeviceId(), 0u);
  // The last error comes from rapi.dll: it tells the call made through
  // ceutil.dll reached the same device.
  EXPECT_EQ(device.CeGetLastError(), kErrorNotConnected);
  EXPECT_LT(device.CeRapiInit(), 0);
}

TEST(RapiTranslateTest, InvalidHandleValueBothWays) {
  EXPECT_EQ(rapi::ToWinHandle(kInvalidCeHandle), INVALID_HANDLE_VALUE);
  EXPECT_EQ(rapi::FromWinHandle(INVALID_HANDLE_VALUE), kInvalidCeHandle);
  const CeHandle file = static_cast<CeHandle>(0x10000);
  EXPECT_EQ(rapi::FromWinHandle(rapi::ToWinHandle(file)), file);
  EXPECT_EQ(rapi::ToWinHandle(static_cast<CeHandle>(0)), nullptr);
}

TEST(RapiTranslateTest, LocalMachineBothWays) {
  EXPECT_EQ(rapi::ToWinKey(kCeHkeyLocalMachine), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(rapi::FromWinKey(HKEY_LOCAL_MACHINE), kCeHkeyLocalMachine);
  const CeKey key = static_cast<CeKey>(0x20000);
  EXPECT_EQ(rapi::FromWinKey(rapi::ToWinKey(key)), key);
  EXPECT_EQ(rapi::ToWinKey(kNoCeKey), nullptr);
}

TEST(RapiTranslateTest, ProfileHandlesAndProcessRecords) {
  const CeSvcHandle profile = static_cast<CeSvcHandle>(0x30004);
  EXPECT_EQ(rapi::FromWinSvc(rapi::ToWinSvc(profile)), profile);
  EXPECT_EQ(rapi::ToWinSvc(kNoCeSvcHandle), nullptr);

  CeProcessInfo process;
  process.hProcess = static_cast<CeHandle>(0x10000);
  process.dwProcessId = 0x1000;
  process.dwThreadId = 0x1004;
  const CeProcessInfo back = rapi::FromWinProcess(rapi::ToWinProcess(process));
  EXPECT_EQ(back.hProcess, process.hProcess);
  EXPECT_EQ(back.hThread, kInvalidCeHandle);
  EXPECT_EQ(back.dwProcessId, 0x1000u);
  EXPECT_EQ(back.dwThreadId, 0x1004u);
}

}  // namespace
}  // namespace zp::test
