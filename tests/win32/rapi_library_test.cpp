// RapiLibrary under Wine: no DLLs, a partial rapi.dll, the stand-ins with no device, translation.
#include "platform/win32/windows_api.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "device/rapi_library.h"
#include "device/rapi_search.h"
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

  EXPECT_FALSE(device.Loaded());
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

  EXPECT_TRUE(device.Loaded());  // rapi.dll alone counts as ActiveSync's
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

// The partial rapi.dll's handles on its connection, from the module the
// library loaded (the same one: loaded again by its full path).
class PartialRapi {
 public:
  PartialRapi() {
    std::string path = std::string(ZP_PARTIAL_RAPI_DIR) + "/rapi.dll";
    std::replace(path.begin(), path.end(), '/', '\\');
    module_ = LoadLibraryA(path.c_str());
    if (!module_) throw std::runtime_error("cannot load " + path);
    at_once_ = Get<void(WINAPI*)(BOOL)>("PartialRapiConnectAtOnce");
    connect_ = Get<void(WINAPI*)()>("PartialRapiConnect");
    uninits_ = Get<LONG(WINAPI*)()>("PartialRapiUninits");
    at_once_(FALSE);
  }
  ~PartialRapi() {
    at_once_(TRUE);
    FreeLibrary(module_);
  }
  PartialRapi(const PartialRapi&) = delete;
  PartialRapi& operator=(const PartialRapi&) = delete;

  void Connect() const { connect_(); }
  LONG Uninits() const { return uninits_(); }

 private:
  template <typename Function>
  Function Get(const char* name) {
    const auto address = reinterpret_cast<void (*)()>(GetProcAddress(module_, name));
    if (!address) throw std::runtime_error(std::string("no export ") + name);
    return reinterpret_cast<Function>(address);
  }

  HMODULE module_ = nullptr;
  void(WINAPI* at_once_)(BOOL) = nullptr;
  void(WINAPI* connect_)() = nullptr;
  LONG(WINAPI* uninits_)() = nullptr;
};

// The handheld pulled out just after ActiveSync started the program: the
// connection is never made. CeRapiInit gives up after its timeout, as a
// failed connect, and ends the attempt with CeRapiUninit.
TEST(RapiLibraryTest, AConnectionNeverMadeFailsAfterTheTimeoutAndIsUninitialised) {
  RapiLibrary device(std::vector<std::string>{ZP_PARTIAL_RAPI_DIR}, 200);
  const PartialRapi partial;
  const LONG before = partial.Uninits();
  EXPECT_LT(device.CeRapiInit(), 0);
  EXPECT_EQ(partial.Uninits(), before + 1);
}

// While it waits for the connection, the thread's windows answer: a
// message sent to one from another thread is handled, and only then is
// the connection made.
TEST(RapiLibraryTest, WindowsAnswerWhileTheConnectionIsAwaited) {
  RapiLibrary device(std::vector<std::string>{ZP_PARTIAL_RAPI_DIR}, 60000);
  const PartialRapi partial;
  const HWND window =
      CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_TRUE(window);
  bool answered = false;
  std::thread other([&] {
    DWORD_PTR result = 0;
    answered = SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result) != 0;
    partial.Connect();
  });
  const std::int32_t connected = device.CeRapiInit();
  other.join();
  DestroyWindow(window);
  EXPECT_TRUE(answered);
  EXPECT_EQ(connected, 0);
  EXPECT_EQ(device.CeRapiUninit(), 0);
}

// Where the DLLs are looked for: the program's folder, the system folder,
// then ActiveSync's own, never the current folder.
TEST(RapiLibraryTest, TheDllsAreSearchedInActiveSyncsOwnFolderTooButNeverTheCurrentOne) {
  EmptyFolder current;
  char previous[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(current.path().c_str()));
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows CE Services", 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  const std::string installed = "C:\\Program Files\\Microsoft ActiveSync";
  RegSetValueExA(key, "InstalledDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(installed.c_str()),
                 static_cast<DWORD>(installed.size() + 1));
  const std::vector<std::string> folders = rapi::SearchFolders();
  // A relative folder would be looked up from the current one: never taken.
  RegSetValueExA(key, "InstalledDir", 0, REG_SZ, reinterpret_cast<const BYTE*>("ActiveSync"), 11);
  const std::vector<std::string> relative = rapi::SearchFolders();
  RegDeleteValueA(key, "InstalledDir");
  RegCloseKey(key);
  if (disposition == REG_CREATED_NEW_KEY) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows CE Services");
  }
  SetCurrentDirectoryA(previous);

  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  ASSERT_EQ(folders.size(), 3u);
  EXPECT_EQ(folders[1], system);
  EXPECT_EQ(folders[2], installed);
  EXPECT_EQ(relative.size(), 2u);
  for (const std::string& folder : folders) EXPECT_NE(folder, current.path());
}

TEST(RapiLibraryTest, StandInsWithAMissingDeviceFolderHaveNoDevice) {
  EmptyFolder folder;
  // Read by the stand-in rapi.dll when it first makes its device.
  ScopedEnvironment device_folder("ZAMOPOCKET_DEVICE", folder.path() + "\\no-such-device");
  // No handheld: the connection would never be made; no need to wait long.
  RapiLibrary device(std::vector<std::string>{ZP_STANDIN_DIR}, 200);

  // Loaded, with no device: WMDC installed, nothing docked.
  EXPECT_TRUE(device.Loaded());
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
