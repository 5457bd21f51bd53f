// Where ActiveSync's rapi.dll and ceutil.dll are looked for, and their
// loading (Windows only).
#pragma once

#include "platform/win32/windows_api.h"

#include <string>
#include <vector>

namespace zp::rapi {

/// The program's own folder, the system folder, then the folder ActiveSync
/// or Windows Mobile Device Center records as "InstalledDir" under
/// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows CE Services. Never the
/// current folder or PATH, where anyone could plant a DLL.
std::vector<std::string> SearchFolders();

/// The DLL from the first of `folders` that holds it (by full path, never
/// searched for); null when none does.
HMODULE LoadFirst(const std::vector<std::string>& folders, const char* dll);

}  // namespace zp::rapi
