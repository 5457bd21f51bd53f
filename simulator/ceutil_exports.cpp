// The stand-in ceutil.dll: the device profiles of the handheld that the stand-in rapi.dll owns.
//
// A test fixture, never shipped. It holds no device of its own: it asks the
// rapi.dll beside it for the process's one SimulatedDevice (export ordinal
// 100), so that both DLLs serve the same session and its fault rules.
#include "platform/win32/windows_api.h"

#include <cstdint>
#include <string>

#include "device/rapi_translate.h"
#include "device/remote_device.h"

namespace {

using zp::rapi::FromWinSvc;
using zp::rapi::ToWinSvc;

// The ordinal of rapi.dll's accessor (rapi.def).
constexpr WORD kDeviceOrdinal = 100;
using DeviceAccessor = zp::RemoteDevice*(WINAPI*)();

// Any object of this module names the module to GetModuleHandleExA.
const char kAnchor = 0;

// The folder this DLL was loaded from, with its trailing backslash, or "".
std::string OwnFolder() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          &kAnchor, &self)) {
    return {};
  }
  std::string name(MAX_PATH, '\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(name.size());
    const DWORD length = GetModuleFileNameA(self, name.data(), size);
    if (length == 0) return {};
    if (length < size) {
      name.resize(length);
      break;
    }
    if (name.size() >= 32768) return {};
    name.resize(name.size() * 2);
  }
  const std::size_t cut = name.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : name.substr(0, cut + 1);
}

// rapi.dll from this DLL's own folder, never another one found on the
// search path. The reference taken here is never given back: the device
// lives in rapi.dll, which must outlast every call made through this DLL.
zp::RemoteDevice* FindDevice() {
  const std::string folder = OwnFolder();
  if (folder.empty()) return nullptr;
  const std::string path = folder + "rapi.dll";
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  const HMODULE rapi = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  SetErrorMode(previous);
  if (!rapi) return nullptr;
  const auto accessor = reinterpret_cast<DeviceAccessor>(
      reinterpret_cast<void (*)()>(GetProcAddress(rapi, MAKEINTRESOURCEA(kDeviceOrdinal))));
  return accessor ? accessor() : nullptr;
}

zp::RemoteDevice* Device() {
  static zp::RemoteDevice* const device = FindDevice();
  return device;
}

constexpr HRESULT kFail = E_FAIL;

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

}  // namespace

// The exports, named in ceutil.def; __stdcall as the real DLL's.
extern "C" {

DWORD WINAPI CeGetDeviceId() {
  return Guarded(DWORD{0}, [] {
    zp::RemoteDevice* device = Device();
    return device ? DWORD{device->CeGetDeviceId()} : DWORD{0};
  });
}

HRESULT WINAPI CeSvcEnumProfiles(HKEY* enumeration, DWORD index, DWORD* profile) {
  return Guarded(kFail, [&] {
    zp::RemoteDevice* device = Device();
    if (!device) return kFail;
    zp::CeSvcHandle handle = enumeration ? FromWinSvc(*enumeration) : zp::kNoCeSvcHandle;
    std::uint32_t id = profile ? *profile : 0;
    const HRESULT result =
        device->CeSvcEnumProfiles(enumeration ? &handle : nullptr, index, profile ? &id : nullptr);
    if (enumeration) *enumeration = ToWinSvc(handle);
    if (profile) *profile = id;
    return result;
  });
}

// The profile service takes the profile id cast to the path pointer.
HRESULT WINAPI CeSvcOpen(UINT service, LPSTR path, BOOL create, HKEY* opened) {
  return Guarded(kFail, [&] {
    zp::RemoteDevice* device = Device();
    if (opened) *opened = nullptr;
    if (!device) return kFail;
    const auto profile = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(path));
    zp::CeSvcHandle handle = zp::kNoCeSvcHandle;
    const HRESULT result =
        device->CeSvcOpen(service, profile, create != FALSE, opened ? &handle : nullptr);
    if (opened) *opened = ToWinSvc(handle);
    return result;
  });
}

HRESULT WINAPI CeSvcGetString(HKEY profile, LPCSTR name, LPSTR buffer, DWORD size) {
  return Guarded(kFail, [&] {
    zp::RemoteDevice* device = Device();
    if (!device) return kFail;
    return HRESULT{device->CeSvcGetString(FromWinSvc(profile), name, buffer, size)};
  });
}

HRESULT WINAPI CeSvcClose(HKEY handle) {
  return Guarded(kFail, [&] {
    zp::RemoteDevice* device = Device();
    if (!device) return kFail;
    return HRESULT{device->CeSvcClose(FromWinSvc(handle))};
  });
}

}  // extern "C"
