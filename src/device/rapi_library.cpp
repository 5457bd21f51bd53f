// RapiLibrary: the remote API's calls through the exports bound from
// ActiveSync's rapi.dll and ceutil.dll.
#include "device/rapi_library.h"

#include "device/rapi_binding.h"

#include <cstdint>
#include <utility>

#include "device/rapi_search.h"
#include "device/rapi_translate.h"
#include "platform/platform.h"
#include "platform/win32/win32_messages.h"

namespace zp {
namespace {

// What an operation whose export is missing gives.
constexpr std::int32_t kHresultFail = static_cast<std::int32_t>(E_FAIL);
constexpr std::uint32_t kErrorProcNotFound = ERROR_PROC_NOT_FOUND;
constexpr std::int32_t kUnboundCode = static_cast<std::int32_t>(ERROR_PROC_NOT_FOUND);
// What a connection that was not made in time gives.
const HRESULT kConnectTimedOut = HRESULT_FROM_WIN32(ERROR_TIMEOUT);

}  // namespace

RapiLibrary::RapiLibrary() : RapiLibrary(rapi::SearchFolders()) {}

RapiLibrary::RapiLibrary(std::vector<std::string> folders, std::uint32_t connect_timeout_ms)
    : impl_(std::make_unique<Impl>()) {
  impl_->connect_timeout_ms = connect_timeout_ms;
  impl_->BindExports(folders);
}

RapiLibrary::~RapiLibrary() = default;

bool RapiLibrary::Loaded() const {
  return impl_->rapi != nullptr || impl_->ceutil != nullptr;
}

// ---------------------------------------------------------------- connection

// Plain CeRapiInit returns only once a device connects, which may be never.
std::int32_t RapiLibrary::CeRapiInit() {
  const Impl& d = *impl_;
  if (!d.rapi_init_ex) return kHresultFail;
  rapi::InitData init{sizeof init, nullptr, E_FAIL};
  HRESULT result = d.rapi_init_ex(&init);
  if (SUCCEEDED(result)) {
    if (!init.heRapiInit) {
      result = E_FAIL;
    } else if (win32::WaitAnswering(init.heRapiInit, d.connect_timeout_ms)) {
      result = init.hrRapiInit;
    } else {
      result = kConnectTimedOut;
    }
  }
  if (FAILED(result) && d.rapi_uninit) d.rapi_uninit();
  return static_cast<std::int32_t>(result);
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
