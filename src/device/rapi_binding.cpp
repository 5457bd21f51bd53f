// The binding of ActiveSync's DLLs: what the program assumes of the SDK's
// types, and the exports bound by name into the table.
#include "device/rapi_binding.h"

#include <cstddef>
#include <limits>
#include <type_traits>

#include "device/rapi_search.h"
#include "platform/platform.h"

namespace zp {
namespace {

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

}  // namespace

void RapiLibrary::Impl::BindExports(const std::vector<std::string>& folders) {
  Impl& d = *this;
  d.ceutil = rapi::LoadFirst(folders, "ceutil.dll");
  d.rapi = rapi::LoadFirst(folders, "rapi.dll");

  Bind(d.rapi, "CeRapiInitEx", d.rapi_init_ex);
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

}  // namespace zp
