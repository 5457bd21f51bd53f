// RapiLibrary: ActiveSync's rapi.dll and ceutil.dll loaded at run time, each export bound by name.
#include "device/rapi_library.h"

#include "platform/win32/windows_api.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <type_traits>
#include <utility>

#include "device/rapi_translate.h"
#include "platform/platform.h"

namespace zp {
namespace {

// ------------------------------------------------- what the program assumes

// The boundary carries Windows values in fixed-width types: they must agree
// with the SDK's, here where both are in sight.
static_assert(sizeof(DWORD) == sizeof(std::uint32_t) && std::is_unsigned_v<DWORD>);
static_assert(std::numeric_limits<DWORD>::digits == 32);
static_assert(sizeof(LONG) == sizeof(std::int32_t) && sizeof(HRESULT) == sizeof(std::int32_t));
static_assert(sizeof(WCHAR) == sizeof(char16_t));

static_assert(kGenericRead == GENERIC_READ);
static_assert(kGenericWrite == GENERIC_WRITE);
static_assert(kFileShareRead == FILE_SHARE_READ);
static_assert(kCreateNew == CREATE_NEW);
static_assert(kCreateAlways == CREATE_ALWAYS);
static_assert(kOpenExisting == OPEN_EXISTING);
static_assert(kFileAttributeNormal == FILE_ATTRIBUTE_NORMAL);
static_assert(kAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY);
static_assert(kInvalidAttributes == INVALID_FILE_ATTRIBUTES);
static_assert(kMaxPath == MAX_PATH);
static_assert(kRegSz == REG_SZ);
static_assert(kRegExpandSz == REG_EXPAND_SZ);
static_assert(kRegBinary == REG_BINARY);
static_assert(kRegDword == REG_DWORD);
static_assert(kRegMultiSz == REG_MULTI_SZ);
static_assert(kErrorFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(kErrorPathNotFound == ERROR_PATH_NOT_FOUND);
static_assert(kErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(kErrorInvalidHandle == ERROR_INVALID_HANDLE);
static_assert(kErrorFileExists == ERROR_FILE_EXISTS);
static_assert(kErrorInvalidParameter == ERROR_INVALID_PARAMETER);
static_assert(kErrorMoreData == ERROR_MORE_DATA);
static_assert(kErrorNoMoreFiles == ERROR_NO_MORE_FILES);
static_assert(kErrorNotConnected == ERROR_NOT_CONNECTED);

// CE_FIND_DATA written with the Windows types it is made of. CeFindAllFiles
// fills an array of them, which the program reads as CeFindData: the two
// must match field for field.
struct WinCeFindData {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwOID;
  WCHAR cFileName[MAX_PATH];
};
static_assert(sizeof(WinCeFindData) == 560 && sizeof(CeFindData) == sizeof(WinCeFindData));
static_assert(offsetof(CeFindData, dwFileAttributes) == offsetof(WinCeFindData, dwFileAttributes));
static_assert(offsetof(CeFindData, ftCreationTime) == offsetof(WinCeFindData, ftCreationTime));
static_assert(offsetof(CeFindData, ftLastAccessTime) == offsetof(WinCeFindData, ftLastAccessTime));
static_assert(offsetof(CeFindData, ftLastWriteTime) == offsetof(WinCeFindData, ftLastWriteTime));
static_assert(offsetof(CeFindData, nFileSizeHigh) == offsetof(WinCeFindData, nFileSizeHigh));
static_assert(offsetof(CeFindData, nFileSizeLow) == offsetof(WinCeFindData, nFileSizeLow));
static_assert(offsetof(CeFindData, dwOID) == offsetof(WinCeFindData, dwOID));
static_assert(offsetof(CeFindData, cFileName) == offsetof(WinCeFindData, cFileName));

// ------------------------------------------------------ the exports' types

// WINAPI matters on 32-bit Windows, where every export is __stdcall.
namespace fn {
using CeRapiInit = HRESULT(WINAPI*)();
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

// What an operation whose export is missing gives.
constexpr std::int32_t kHresultFail = static_cast<std::int32_t>(E_FAIL);
constexpr std::uint32_t kErrorProcNotFound = ERROR_PROC_NOT_FOUND;
constexpr std::int32_t kUnboundCode = static_cast<std::int32_t>(ERROR_PROC_NOT_FOUND);

// The one typed lookup. GetProcAddress's generic pointer goes through
// void (*)(), which GCC lets any function pointer be cast from and to
// without -Wcast-function-type, into the export's own type. A missing
// module or export leaves the pointer null.
template <typename Function>
void Bind(HMODULE module, const char* name, Function& pointer) {
  static_assert(std::is_function_v<std::remove_pointer_t<Function>>);
  pointer = nullptr;
  if (!module) return;
  pointer = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The program's own full file name (long paths included), or "".
std::string ProgramFile() {
  std::string name(MAX_PATH, '\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(name.size());
    const DWORD length = GetModuleFileNameA(nullptr, name.data(), size);
    if (length == 0) return {};
    if (length < size) {
      name.resize(length);
      return name;
    }
    if (name.size() >= 32768) return {};  // the longest path Windows has
    name.resize(name.size() * 2);
  }
}

// The program's folder, then the system folder: the places an installed
// ActiveSync or a test's stand-ins are. The current folder and PATH are
// left out, so that a DLL planted there is never loaded.
std::vector<std::string> DefaultFolders() {
  std::vector<std::string> folders;
  const std::string program = ProgramFile();
  const std::size_t cut = program.find_last_of("\\/");
  if (cut != std::string::npos) folders.push_back(program.substr(0, cut));
  char system[MAX_PATH];
  const UINT length = GetSystemDirectoryA(system, MAX_PATH);
  if (length > 0 && length < MAX_PATH) folders.emplace_back(system, length);
  return folders;
}

// The first folder holding the DLL wins. A full path with
// LOAD_WITH_ALTERED_SEARCH_PATH also finds the DLL's own dependencies
// beside it. The loader's error boxes are kept off the screen: a missing or
// broken DLL is an ordinary "no connection", not a question to the user.
HMODULE LoadFirst(const std::vector<std::string>& folders, const char* dll) {
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    // The loader wants backslashes; a test's folder may come with slashes.
    std::string path = folder;
    std::replace(path.begin(), path.end(), '/', '\\');
    if (path.back() != '\\') path += '\\';
    path += dll;
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    SetErrorMode(previous);
    if (module) return module;
  }
  return nullptr;
}

}  // namespace

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

  HMODULE ceutil = nullptr;
  HMODULE rapi = nullptr;

  fn::CeRapiInit rapi_init = nullptr;
  fn::CeRapiUninit rapi_uninit = nullptr;
  fn::CeCreateFile create_file = nullptr;
  fn::CeReadFile read_file = nullptr;
  fn::CeWriteFile write_file = nullptr;
  fn::CeCloseHandle close_handle = nullptr;
  fn::CeGetFileAttributes get_file_attributes = nullptr;
  fn::CeCreateDirectory create_directory = nullptr;
  fn::CeDeleteFile delete_file = nullptr;
  fn::CeFindAllFiles find_all_files = nullptr;
  fn::CeRapiFreeBuffer rapi_free_buffer = nullptr;
  fn::CeRegOpenKeyEx reg_open_key_ex = nullptr;
  fn::CeRegCreateKeyEx reg_create_key_ex = nullptr;
  fn::CeRegQueryValueEx reg_query_value_ex = nullptr;
  fn::CeRegSetValueEx reg_set_value_ex = nullptr;
  fn::CeRegCloseKey reg_close_key = nullptr;
  fn::CeCreateProcess create_process = nullptr;
  fn::CeGetSystemInfo get_system_info = nullptr;
  fn::CeGetLastError get_last_error = nullptr;
  fn::CeRapiGetError rapi_get_error = nullptr;

  fn::CeGetDeviceId get_device_id = nullptr;
  fn::CeSvcEnumProfiles svc_enum_profiles = nullptr;
  fn::CeSvcOpen svc_open = nullptr;
  fn::CeSvcGetString svc_get_string = nullptr;
  fn::CeSvcClose svc_close = nullptr;
};

RapiLibrary::RapiLibrary() : RapiLibrary(DefaultFolders()) {}

RapiLibrary::RapiLibrary(std::vector<std::string> folders) : impl_(std::make_unique<Impl>()) {
  Impl& d = *impl_;
  d.ceutil = LoadFirst(folders, "ceutil.dll");
  d.rapi = LoadFirst(folders, "rapi.dll");

  Bind(d.rapi, "CeRapiInit", d.rapi_init);
  Bind(d.rapi, "CeRapiUninit", d.rapi_uninit);
  Bind(d.rapi, "CeCreateFile", d.create_file);
  Bind(d.rapi, "CeReadFile", d.read_file);
  Bind(d.rapi, "CeWriteFile", d.write_file);
  Bind(d.rapi, "CeCloseHandle", d.close_handle);
  Bind(d.rapi, "CeGetFileAttributes", d.get_file_attributes);
  Bind(d.rapi, "CeCreateDirectory", d.create_directory);
  Bind(d.rapi, "CeDeleteFile", d.delete_file);
  Bind(d.rapi, "CeFindAllFiles", d.find_all_files);
  Bind(d.rapi, "CeRapiFreeBuffer", d.rapi_free_buffer);
  Bind(d.rapi, "CeRegOpenKeyEx", d.reg_open_key_ex);
  Bind(d.rapi, "CeRegCreateKeyEx", d.reg_create_key_ex);
  Bind(d.rapi, "CeRegQueryValueEx", d.reg_query_value_ex);
  Bind(d.rapi, "CeRegSetValueEx", d.reg_set_value_ex);
  Bind(d.rapi, "CeRegCloseKey", d.reg_close_key);
  Bind(d.rapi, "CeCreateProcess", d.create_process);
  Bind(d.rapi, "CeGetSystemInfo", d.get_system_info);
  Bind(d.rapi, "CeGetLastError", d.get_last_error);
  Bind(d.rapi, "CeRapiGetError", d.rapi_get_error);

  Bind(d.ceutil, "CeGetDeviceId", d.get_device_id);
  Bind(d.ceutil, "CeSvcEnumProfiles", d.svc_enum_profiles);
  Bind(d.ceutil, "CeSvcOpen", d.svc_open);
  Bind(d.ceutil, "CeSvcGetString", d.svc_get_string);
  Bind(d.ceutil, "CeSvcClose", d.svc_close);
}

RapiLibrary::~RapiLibrary() = default;

// ---------------------------------------------------------------- connection

std::int32_t RapiLibrary::CeRapiInit() {
  const Impl& d = *impl_;
  return d.rapi_init ? static_cast<std::int32_t>(d.rapi_init()) : kHresultFail;
}

std::int32_t RapiLibrary::CeRapiUninit() {
  const Impl& d = *impl_;
  return d.rapi_uninit ? static_cast<std::int32_t>(d.rapi_uninit()) : kHresultFail;
}

// ----------------------------------------------------------- device profiles

std::uint32_t RapiLibrary::CeGetDeviceId() {
  const Impl& d = *impl_;
  return d.get_device_id ? static_cast<std::uint32_t>(d.get_device_id()) : 0;
}

// In/out arguments go through locals of the Windows types that start with
// the caller's values, so what the DLL leaves untouched stays as it was.

std::int32_t RapiLibrary::CeSvcEnumProfiles(CeSvcHandle* enumeration, std::uint32_t index,
                                            std::uint32_t* profile) {
  const Impl& d = *impl_;
  if (!d.svc_enum_profiles) return kUnboundCode;
  HKEY handle = enumeration ? rapi::ToWinSvc(*enumeration) : nullptr;
  DWORD id = profile ? *profile : 0;
  const HRESULT result =
      d.svc_enum_profiles(enumeration ? &handle : nullptr, index, profile ? &id : nullptr);
  if (enumeration) *enumeration = rapi::FromWinSvc(handle);
  if (profile) *profile = static_cast<std::uint32_t>(id);
  return static_cast<std::int32_t>(result);
}

std::int32_t RapiLibrary::CeSvcOpen(std::uint32_t service, std::uint32_t profile, bool create,
                                    CeSvcHandle* opened) {
  const Impl& d = *impl_;
  if (!d.svc_open) {
    if (opened) *opened = kNoCeSvcHandle;
    return kUnboundCode;
  }
  HKEY handle = opened ? rapi::ToWinSvc(*opened) : nullptr;
  // The profile service takes the profile id in the place of a path.
  const auto path = reinterpret_cast<LPSTR>(static_cast<std::uintptr_t>(profile));
  const HRESULT result =
      d.svc_open(service, path, create ? TRUE : FALSE, opened ? &handle : nullptr);
  if (opened) *opened = rapi::FromWinSvc(handle);
  return static_cast<std::int32_t>(result);
}

std::int32_t RapiLibrary::CeSvcGetString(CeSvcHandle profile, const char* name, char* buffer,
                                         std::uint32_t size) {
  const Impl& d = *impl_;
  if (!d.svc_get_string) return kUnboundCode;
  return static_cast<std::int32_t>(d.svc_get_string(rapi::ToWinSvc(profile), name, buffer, size));
}

std::int32_t RapiLibrary::CeSvcClose(CeSvcHandle handle) {
  const Impl& d = *impl_;
  if (!d.svc_close) return kUnboundCode;
  return static_cast<std::int32_t>(d.svc_close(rapi::ToWinSvc(handle)));
}

// --------------------------------------------------------------------- files

CeHandle RapiLibrary::CeCreateFile(const std::u16string& path, std::uint32_t access,
                                   std::uint32_t share, std::uint32_t disposition,
                                   std::uint32_t attributes) {
  const Impl& d = *impl_;
  if (!d.create_file) return kInvalidCeHandle;
  return rapi::FromWinHandle(
      d.create_file(rapi::WinPath(path), access, share, nullptr, disposition, attributes, nullptr));
}

bool RapiLibrary::CeReadFile(CeHandle file, void* buffer, std::uint32_t size, std::uint32_t* got) {
  const Impl& d = *impl_;
  if (got) *got = 0;
  if (!d.read_file) return false;
  DWORD count = 0;
  const BOOL ok =
      d.read_file(rapi::ToWinHandle(file), buffer, size, got ? &count : nullptr, nullptr);
  if (got) *got = static_cast<std::uint32_t>(count);
  return ok != FALSE;
}

bool RapiLibrary::CeWriteFile(CeHandle file, const void* buffer, std::uint32_t size,
                              std::uint32_t* put) {
  const Impl& d = *impl_;
  if (put) *put = 0;
  if (!d.write_file) return false;
  DWORD count = 0;
  const BOOL ok =
      d.write_file(rapi::ToWinHandle(file), buffer, size, put ? &count : nullptr, nullptr);
  if (put) *put = static_cast<std::uint32_t>(count);
  return ok != FALSE;
}

bool RapiLibrary::CeCloseHandle(CeHandle handle) {
  const Impl& d = *impl_;
  return d.close_handle && d.close_handle(rapi::ToWinHandle(handle)) != FALSE;
}

std::uint32_t RapiLibrary::CeGetFileAttributes(const std::u16string& path) {
  const Impl& d = *impl_;
  if (!d.get_file_attributes) return kInvalidAttributes;
  return static_cast<std::uint32_t>(d.get_file_attributes(rapi::WinPath(path)));
}

bool RapiLibrary::CeCreateDirectory(const std::u16string& path) {
  const Impl& d = *impl_;
  return d.create_directory && d.create_directory(rapi::WinPath(path), nullptr) != FALSE;
}

bool RapiLibrary::CeDeleteFile(const std::u16string& path) {
  const Impl& d = *impl_;
  return d.delete_file && d.delete_file(rapi::WinPath(path)) != FALSE;
}

bool RapiLibrary::CeFindAllFiles(const std::u16string& pattern, std::uint32_t flags,
                                 std::uint32_t* count, CeFindData** records) {
  const Impl& d = *impl_;
  if (count) *count = 0;
  if (records) *records = nullptr;
  if (!d.find_all_files) return false;
  DWORD found = 0;
  CeFindData* buffer = nullptr;
  const BOOL ok = d.find_all_files(rapi::WinPath(pattern), flags, count ? &found : nullptr,
                                   records ? &buffer : nullptr);
  if (count) *count = static_cast<std::uint32_t>(found);
  if (records) *records = buffer;
  return ok != FALSE;
}

// The buffer came from the DLL's heap: only the DLL can release it.
void RapiLibrary::CeRapiFreeBuffer(void* buffer) {
  const Impl& d = *impl_;
  if (d.rapi_free_buffer && buffer) d.rapi_free_buffer(buffer);
}

// ------------------------------------------------------------------ registry

// The device's registry takes neither options nor an access mask: both 0.

std::int32_t RapiLibrary::CeRegOpenKeyEx(CeKey root, const std::u16string& subkey, CeKey* opened) {
  const Impl& d = *impl_;
  if (opened) *opened = kNoCeKey;
  if (!d.reg_open_key_ex) return kUnboundCode;
  HKEY key = nullptr;
  const LONG result =
      d.reg_open_key_ex(rapi::ToWinKey(root), rapi::WinPath(subkey), 0, 0, opened ? &key : nullptr);
  if (opened && result == ERROR_SUCCESS) *opened = rapi::FromWinKey(key);
  return static_cast<std::int32_t>(result);
}

std::int32_t RapiLibrary::CeRegCreateKeyEx(CeKey root, const std::u16string& subkey, CeKey* opened,
                                           std::uint32_t* disposition) {
  const Impl& d = *impl_;
  if (opened) *opened = kNoCeKey;
  if (!d.reg_create_key_ex) return kUnboundCode;
  HKEY key = nullptr;
  DWORD how = disposition ? *disposition : 0;
  const LONG result =
      d.reg_create_key_ex(rapi::ToWinKey(root), rapi::WinPath(subkey), 0, nullptr, 0, 0, nullptr,
                          opened ? &key : nullptr, disposition ? &how : nullptr);
  if (opened && result == ERROR_SUCCESS) *opened = rapi::FromWinKey(key);
  if (disposition) *disposition = static_cast<std::uint32_t>(how);
  return static_cast<std::int32_t>(result);
}

std::int32_t RapiLibrary::CeRegQueryValueEx(CeKey key, const std::u16string& name,
                                            std::uint32_t* type, std::uint8_t* data,
                                            std::uint32_t* size) {
  const Impl& d = *impl_;
  if (!d.reg_query_value_ex) return kUnboundCode;
  DWORD value_type = type ? *type : 0;
  DWORD value_size = size ? *size : 0;
  const LONG result =
      d.reg_query_value_ex(rapi::ToWinKey(key), rapi::WinPath(name), nullptr,
                           type ? &value_type : nullptr, data, size ? &value_size : nullptr);
  if (type) *type = static_cast<std::uint32_t>(value_type);
  if (size) *size = static_cast<std::uint32_t>(value_size);
  return static_cast<std::int32_t>(result);
}

std::int32_t RapiLibrary::CeRegSetValueEx(CeKey key, const std::u16string& name, std::uint32_t type,
                                          const std::uint8_t* data, std::uint32_t size) {
  const Impl& d = *impl_;
  if (!d.reg_set_value_ex) return kUnboundCode;
  return static_cast<std::int32_t>(
      d.reg_set_value_ex(rapi::ToWinKey(key), rapi::WinPath(name), 0, type, data, size));
}

std::int32_t RapiLibrary::CeRegCloseKey(CeKey key) {
  const Impl& d = *impl_;
  if (!d.reg_close_key) return kUnboundCode;
  return static_cast<std::int32_t>(d.reg_close_key(rapi::ToWinKey(key)));
}

// ------------------------------------------------------- processes and system

bool RapiLibrary::CeCreateProcess(const std::u16string& application,
                                  const std::u16string& command_line, CeProcessInfo* info) {
  const Impl& d = *impl_;
  if (info) *info = CeProcessInfo{};
  if (!d.create_process) return false;
  PROCESS_INFORMATION process{};
  const BOOL ok = d.create_process(rapi::WinPath(application), rapi::WinPath(command_line), nullptr,
                                   nullptr, FALSE, 0, nullptr, nullptr, nullptr, &process);
  if (!ok) return false;
  if (info) {
    *info = rapi::FromWinProcess(process);
  } else {
    // Nobody takes the handles: close them so that none stays open on the
    // handheld.
    CeCloseHandle(rapi::FromWinHandle(process.hProcess));
    CeCloseHandle(rapi::FromWinHandle(process.hThread));
  }
  return true;
}

void RapiLibrary::CeGetSystemInfo(CeSystemInfo* info) {
  const Impl& d = *impl_;
  if (!info) return;
  *info = CeSystemInfo{};
  if (!d.get_system_info) return;
  SYSTEM_INFO system{};
  d.get_system_info(&system);
  info->dwProcessorType = static_cast<std::uint32_t>(system.dwProcessorType);
}

std::uint32_t RapiLibrary::CeGetLastError() {
  const Impl& d = *impl_;
  return d.get_last_error ? static_cast<std::uint32_t>(d.get_last_error()) : kErrorProcNotFound;
}

std::int32_t RapiLibrary::CeRapiGetError() {
  const Impl& d = *impl_;
  return d.rapi_get_error ? static_cast<std::int32_t>(d.rapi_get_error()) : kHresultFail;
}

}  // namespace zp
