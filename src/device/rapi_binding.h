// The binding table of ActiveSync's rapi.dll and ceutil.dll: each export's
// type, and the typed pointers bound to the exports by name (Windows only).
#pragma once

#include "platform/win32/windows_api.h"

#include <string>
#include <vector>

#include "device/rapi_library.h"
#include "device/remote_device.h"

namespace zp {
namespace rapi {

/// RAPIINIT of the remote API: CeRapiInitEx returns at once and signals
/// heRapiInit when the connection is made, hrRapiInit then telling how it
/// went; with no device it is never signalled. The event belongs to the
/// remote API, which closes it in CeRapiUninit.
struct InitData {
  DWORD cbSize;
  HANDLE heRapiInit;
  HRESULT hrRapiInit;
};

// WINAPI matters on 32-bit Windows, where every export is __stdcall.
namespace fn {
using CeRapiInitEx = HRESULT(WINAPI*)(InitData*);
using CeRapiUninit = HRESULT(WINAPI*)();
using CeCreateFile = HANDLE(WINAPI*)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                     HANDLE);
using CeReadFile = BOOL(WINAPI*)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
using CeWriteFile = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
using CeCloseHandle = BOOL(WINAPI*)(HANDLE);
using CeGetFileAttributes = DWORD(WINAPI*)(LPCWSTR);
using CeCreateDirectory = BOOL(WINAPI*)(LPCWSTR, LPSECURITY_ATTRIBUTES);
using CeDeleteFile = BOOL(WINAPI*)(LPCWSTR);
// The records are CE_FIND_DATA, laid out as CeFindData (checked above).
using CeFindAllFiles = BOOL(WINAPI*)(LPCWSTR, DWORD, LPDWORD, CeFindData**);
using CeRapiFreeBuffer = HRESULT(WINAPI*)(LPVOID);
using CeRegOpenKeyEx = LONG(WINAPI*)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
using CeRegCreateKeyEx = LONG(WINAPI*)(HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM,
                                       LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD);
using CeRegQueryValueEx = LONG(WINAPI*)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
using CeRegSetValueEx = LONG(WINAPI*)(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD);
using CeRegCloseKey = LONG(WINAPI*)(HKEY);
using CeCreateProcess = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, LPSECURITY_ATTRIBUTES,
                                      LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPWSTR,
                                      LPSTARTUPINFOW, LPPROCESS_INFORMATION);
using CeGetSystemInfo = void(WINAPI*)(LPSYSTEM_INFO);
using CeGetLastError = DWORD(WINAPI*)();
using CeRapiGetError = HRESULT(WINAPI*)();

using CeGetDeviceId = DWORD(WINAPI*)();
using CeSvcEnumProfiles = HRESULT(WINAPI*)(HKEY*, DWORD, DWORD*);
using CeSvcOpen = HRESULT(WINAPI*)(UINT, LPSTR, BOOL, HKEY*);
using CeSvcGetString = HRESULT(WINAPI*)(HKEY, LPCSTR, LPSTR, DWORD);
using CeSvcClose = HRESULT(WINAPI*)(HKEY);
}  // namespace fn

}  // namespace rapi

struct RapiLibrary::Impl {
  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  // Owns the modules, so that they are released even when the constructor
  // does not finish. rapi.dll goes first: it was loaded last.
  ~Impl() {
    if (rapi) FreeLibrary(rapi);
    if (ceutil) FreeLibrary(ceutil);
  }

  /// Loads ceutil.dll and rapi.dll, each from the first of `folders` that
  /// holds it, and binds every export by its plain name. A missing DLL or
  /// export leaves its pointer null.
  void BindExports(const std::vector<std::string>& folders);

  HMODULE ceutil = nullptr;
  HMODULE rapi = nullptr;
  /// How long CeRapiInit waits for the connection.
  DWORD connect_timeout_ms = 0;

  rapi::fn::CeRapiInitEx rapi_init_ex = nullptr;
  rapi::fn::CeRapiUninit rapi_uninit = nullptr;
  rapi::fn::CeCreateFile create_file = nullptr;
  rapi::fn::CeReadFile read_file = nullptr;
  rapi::fn::CeWriteFile write_file = nullptr;
  rapi::fn::CeCloseHandle close_handle = nullptr;
  rapi::fn::CeGetFileAttributes get_file_attributes = nullptr;
  rapi::fn::CeCreateDirectory create_directory = nullptr;
  rapi::fn::CeDeleteFile delete_file = nullptr;
  rapi::fn::CeFindAllFiles find_all_files = nullptr;
  rapi::fn::CeRapiFreeBuffer rapi_free_buffer = nullptr;
  rapi::fn::CeRegOpenKeyEx reg_open_key_ex = nullptr;
  rapi::fn::CeRegCreateKeyEx reg_create_key_ex = nullptr;
  rapi::fn::CeRegQueryValueEx reg_query_value_ex = nullptr;
  rapi::fn::CeRegSetValueEx reg_set_value_ex = nullptr;
  rapi::fn::CeRegCloseKey reg_close_key = nullptr;
  rapi::fn::CeCreateProcess create_process = nullptr;
  rapi::fn::CeGetSystemInfo get_system_info = nullptr;
  rapi::fn::CeGetLastError get_last_error = nullptr;
  rapi::fn::CeRapiGetError rapi_get_error = nullptr;

  rapi::fn::CeGetDeviceId get_device_id = nullptr;
  rapi::fn::CeSvcEnumProfiles svc_enum_profiles = nullptr;
  rapi::fn::CeSvcOpen svc_open = nullptr;
  rapi::fn::CeSvcGetString svc_get_string = nullptr;
  rapi::fn::CeSvcClose svc_close = nullptr;
};

}  // namespace zp
