// The stand-in rapi.dll: the simulated handheld of %ZAMOPOCKET_DEVICE% behind rapi.dll's exports.
//
// A test fixture, never shipped. It owns the one SimulatedDevice of the
// process; the stand-in ceutil.dll reaches the same device through the
// accessor exported by ordinal only, so that fault rules count every
// operation of a session, whichever DLL served it.
#include "platform/win32/windows_api.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "device/rapi_translate.h"
#include "platform/regfile.h"
#include "simulator/simulated_device.h"

namespace {

using zp::rapi::FromWinHandle;
using zp::rapi::FromWinKey;
using zp::rapi::FromWinPath;
using zp::rapi::ToWinHandle;
using zp::rapi::ToWinKey;

constexpr char kPartnersSubkey[] = "Software\\Microsoft\\Windows CE Services\\Partners";
constexpr char kPartnersPath[] =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows CE Services\\Partners";

// Every value of an open key, with its type and raw bytes (strings in the
// ANSI code page with their NUL, as the simulator's narrow documents hold
// them).
std::vector<zp::regfile::Value> ReadValues(HKEY key) {
  std::vector<zp::regfile::Value> values;
  std::vector<char> name(16384);  // the longest value name the registry allows, and its NUL
  std::vector<BYTE> data(1024);
  for (DWORD index = 0;;) {
    DWORD name_length = static_cast<DWORD>(name.size());
    DWORD data_size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LONG result = RegEnumValueA(key, index, name.data(), &name_length, nullptr, &type,
                                      data.data(), &data_size);
    if (result == ERROR_MORE_DATA && data_size > data.size()) {
      data.resize(data_size);  // the same value again with room for its data
      continue;
    }
    if (result != ERROR_SUCCESS) break;  // ERROR_NO_MORE_ITEMS, or a key gone meanwhile
    values.push_back({std::string(name.data(), name_length), static_cast<std::uint32_t>(type),
                      std::vector<std::uint8_t>(data.begin(), data.begin() + data_size)});
    ++index;
  }
  return values;
}

// The device profiles as ActiveSync keeps them in the real registry, in
// the form the simulator reads them from registry.reg natively.
zp::regfile::Document ReadPartners() {
  zp::regfile::Document doc;
  HKEY partners = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kPartnersSubkey, 0, KEY_READ, &partners) != ERROR_SUCCESS) {
    return doc;
  }
  for (DWORD index = 0;; ++index) {
    char name[256];  // key names are at most 255 characters
    DWORD length = sizeof name;
    const LONG result =
        RegEnumKeyExA(partners, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) break;
    HKEY profile = nullptr;
    if (RegOpenKeyExA(partners, name, 0, KEY_READ, &profile) != ERROR_SUCCESS) continue;
    zp::regfile::Key key;
    key.path = std::string(kPartnersPath) + "\\" + std::string(name, length);
    key.values = ReadValues(profile);
    RegCloseKey(profile);
    doc.keys.push_back(std::move(key));
  }
  RegCloseKey(partners);
  return doc;
}

// %ZAMOPOCKET_DEVICE%, or "" when it is unset (no device then; a folder
// that does not exist is the simulator's own "no device").
std::string DeviceFolder() {
  std::string value(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetEnvironmentVariableA("ZAMOPOCKET_DEVICE", value.data(),
                                                 static_cast<DWORD>(value.size()));
    if (length == 0) return {};
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.resize(length);  // the size asked for, its NUL included
  }
}

// The desktop registry's profiles come from the real registry, so no
// registry.reg is named.
struct Shared {
  Shared() : device(DeviceFolder(), "") { device.SetProfileSource(&ReadPartners); }
  zp::SimulatedDevice device;
};

// Made on first use, after the test or the program has set the environment.
zp::SimulatedDevice& Device() {
  static Shared shared;
  return shared.device;
}

// No C++ exception may leave a DLL export: a failure of the simulator
// itself reads as the operation failing.
template <typename Result, typename Call>
Result Guarded(Result failure, Call&& call) noexcept {
  try {
    return call();
  } catch (...) {
    return failure;
  }
}

constexpr HRESULT kFail = E_FAIL;

// The event of the connection CeRapiInitEx started, until CeRapiUninit.
HANDLE& InitEvent() {
  static HANDLE event = nullptr;
  return event;
}

}  // namespace

// The exports, named in rapi.def; __stdcall as the real DLL's.
extern "C" {

// Exported by ordinal 100 only: the device for the stand-in ceutil.dll.
zp::RemoteDevice* WINAPI ZpSharedDevice() {
  return Guarded<zp::RemoteDevice*>(nullptr, [] { return &Device(); });
}

HRESULT WINAPI CeRapiInit() {
  return Guarded(kFail, [] { return HRESULT{Device().CeRapiInit()}; });
}

// RAPIINIT of the remote API.
struct RapiInit {
  DWORD cbSize;
  HANDLE heRapiInit;
  HRESULT hrRapiInit;
};

// The connection is made at once, and the event signalled with how it
// went; with no handheld folder at all it is never signalled, as when no
// handheld connects. The event is this DLL's, closed by CeRapiUninit.
HRESULT WINAPI CeRapiInitEx(RapiInit* init) {
  return Guarded(kFail, [&] {
    if (!init || init->cbSize != sizeof *init) return HRESULT{E_INVALIDARG};
    if (!InitEvent()) InitEvent() = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!InitEvent()) return HRESULT{E_OUTOFMEMORY};
    ResetEvent(InitEvent());
    init->heRapiInit = InitEvent();
    init->hrRapiInit = E_FAIL;
    const HRESULT result = Device().CeRapiInit();
    const DWORD folder = GetFileAttributesA(DeviceFolder().c_str());
    if (SUCCEEDED(result) ||
        (folder != INVALID_FILE_ATTRIBUTES && (folder & FILE_ATTRIBUTE_DIRECTORY) != 0)) {
      init->hrRapiInit = result;
      SetEvent(InitEvent());
    }
    return HRESULT{S_OK};
  });
}

HRESULT WINAPI CeRapiUninit() {
  return Guarded(kFail, [] {
    if (InitEvent()) {
      CloseHandle(InitEvent());
      InitEvent() = nullptr;
    }
    return HRESULT{Device().CeRapiUninit()};
  });
}

HANDLE WINAPI CeCreateFile(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                           DWORD disposition, DWORD flags_and_attributes, HANDLE) {
  return Guarded(INVALID_HANDLE_VALUE, [&] {
    return ToWinHandle(
        Device().CeCreateFile(FromWinPath(name), access, share, disposition, flags_and_attributes));
  });
}

BOOL WINAPI CeReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED) {
  return Guarded(BOOL{FALSE}, [&] {
    std::uint32_t got = 0;
    const bool ok = Device().CeReadFile(FromWinHandle(file), buffer, size, read ? &got : nullptr);
    if (read) *read = got;
    return ok ? TRUE : FALSE;
  });
}

BOOL WINAPI CeWriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED) {
  return Guarded(BOOL{FALSE}, [&] {
    std::uint32_t put = 0;
    const bool ok =
        Device().CeWriteFile(FromWinHandle(file), buffer, size, written ? &put : nullptr);
    if (written) *written = put;
    return ok ? TRUE : FALSE;
  });
}

BOOL WINAPI CeCloseHandle(HANDLE handle) {
  return Guarded(BOOL{FALSE},
                 [&] { return Device().CeCloseHandle(FromWinHandle(handle)) ? TRUE : FALSE; });
}

DWORD WINAPI CeGetFileAttributes(LPCWSTR name) {
  return Guarded(INVALID_FILE_ATTRIBUTES,
                 [&] { return DWORD{Device().CeGetFileAttributes(FromWinPath(name))}; });
}

BOOL WINAPI CeCreateDirectory(LPCWSTR name, LPSECURITY_ATTRIBUTES) {
  return Guarded(BOOL{FALSE},
                 [&] { return Device().CeCreateDirectory(FromWinPath(name)) ? TRUE : FALSE; });
}

BOOL WINAPI CeDeleteFile(LPCWSTR name) {
  return Guarded(BOOL{FALSE},
                 [&] { return Device().CeDeleteFile(FromWinPath(name)) ? TRUE : FALSE; });
}

// The records handed out are the simulator's own buffer (CE_FIND_DATA has
// CeFindData's layout); CeRapiFreeBuffer gives it back.
BOOL WINAPI CeFindAllFiles(LPCWSTR pattern, DWORD flags, LPDWORD count, zp::CeFindData** data) {
  if (count) *count = 0;
  if (data) *data = nullptr;
  return Guarded(BOOL{FALSE}, [&] {
    std::uint32_t found = 0;
    const bool ok =
        Device().CeFindAllFiles(FromWinPath(pattern), flags, count ? &found : nullptr, data);
    if (count) *count = found;
    return ok ? TRUE : FALSE;
  });
}

HRESULT WINAPI CeRapiFreeBuffer(LPVOID buffer) {
  return Guarded(kFail, [&] {
    Device().CeRapiFreeBuffer(buffer);
    return HRESULT{S_OK};
  });
}

LONG WINAPI CeRegOpenKeyEx(HKEY root, LPCWSTR subkey, DWORD, REGSAM, PHKEY opened) {
  return Guarded(LONG{ERROR_GEN_FAILURE}, [&] {
    zp::CeKey key = zp::kNoCeKey;
    const LONG result =
        Device().CeRegOpenKeyEx(FromWinKey(root), FromWinPath(subkey), opened ? &key : nullptr);
    if (opened) *opened = ToWinKey(key);
    return result;
  });
}

LONG WINAPI CeRegCreateKeyEx(HKEY root, LPCWSTR subkey, DWORD, LPWSTR, DWORD, REGSAM,
                             LPSECURITY_ATTRIBUTES, PHKEY opened, LPDWORD disposition) {
  return Guarded(LONG{ERROR_GEN_FAILURE}, [&] {
    zp::CeKey key = zp::kNoCeKey;
    std::uint32_t how = disposition ? *disposition : 0;
    const LONG result =
        Device().CeRegCreateKeyEx(FromWinKey(root), FromWinPath(subkey), opened ? &key : nullptr,
                                  disposition ? &how : nullptr);
    if (opened) *opened = ToWinKey(key);
    if (disposition) *disposition = how;
    return result;
  });
}

LONG WINAPI CeRegQueryValueEx(HKEY key, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data,
                              LPDWORD size) {
  return Guarded(LONG{ERROR_GEN_FAILURE}, [&] {
    std::uint32_t value_type = type ? *type : 0;
    std::uint32_t value_size = size ? *size : 0;
    const LONG result =
        Device().CeRegQueryValueEx(FromWinKey(key), FromWinPath(name), type ? &value_type : nullptr,
                                   data, size ? &value_size : nullptr);
    if (type) *type = value_type;
    if (size) *size = value_size;
    return result;
  });
}

LONG WINAPI CeRegSetValueEx(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE* data,
                            DWORD size) {
  return Guarded(LONG{ERROR_GEN_FAILURE}, [&] {
    return LONG{Device().CeRegSetValueEx(FromWinKey(key), FromWinPath(name), type, data, size)};
  });
}

LONG WINAPI CeRegCloseKey(HKEY key) {
  return Guarded(LONG{ERROR_GEN_FAILURE},
                 [&] { return LONG{Device().CeRegCloseKey(FromWinKey(key))}; });
}

BOOL WINAPI CeCreateProcess(LPCWSTR application, LPCWSTR command_line, LPSECURITY_ATTRIBUTES,
                            LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPWSTR, LPSTARTUPINFOW,
                            LPPROCESS_INFORMATION info) {
  return Guarded(BOOL{FALSE}, [&] {
    zp::CeProcessInfo process;
    const bool ok = Device().CeCreateProcess(FromWinPath(application), FromWinPath(command_line),
                                             info ? &process : nullptr);
    if (info) *info = zp::rapi::ToWinProcess(process);
    return ok ? TRUE : FALSE;
  });
}

// Only the processor type is simulated; the rest stays zero.
void WINAPI CeGetSystemInfo(LPSYSTEM_INFO info) {
  if (!info) return;
  *info = SYSTEM_INFO{};
  Guarded(0, [&] {
    zp::CeSystemInfo system;
    Device().CeGetSystemInfo(&system);
    info->dwProcessorType = system.dwProcessorType;
    return 0;
  });
}

DWORD WINAPI CeGetLastError() {
  return Guarded(DWORD{ERROR_GEN_FAILURE}, [] { return DWORD{Device().CeGetLastError()}; });
}

HRESULT WINAPI CeRapiGetError() {
  return Guarded(kFail, [] { return HRESULT{Device().CeRapiGetError()}; });
}

}  // extern "C"
