// The search for ActiveSync's DLLs: the program's folder, the system
// folder, then the folder ActiveSync records as its own.
#include "device/rapi_search.h"

#include <algorithm>

namespace zp::rapi {
namespace {

constexpr char kServicesKey[] = "SOFTWARE\\Microsoft\\Windows CE Services";

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

// "InstalledDir" of ActiveSync or Windows Mobile Device Center, read in the
// program's own view of the registry (the DLLs there are of the program's
// width); "" when it is not set. A REG_EXPAND_SZ is expanded.
std::string InstalledDir() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServicesKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return {};
  }
  char value[MAX_PATH + 1] = {};
  DWORD type = 0;
  DWORD size = MAX_PATH;  // one byte stays for a terminator the value may lack
  const LONG result =
      RegQueryValueExA(key, "InstalledDir", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
  if (type == REG_SZ) return value;
  char expanded[MAX_PATH];
  const DWORD length = ExpandEnvironmentStringsA(value, expanded, MAX_PATH);
  if (length == 0 || length > MAX_PATH) return {};
  return expanded;
}

}  // namespace

std::vector<std::string> SearchFolders() {
  std::vector<std::string> folders;
  const std::string program = ProgramFile();
  const std::size_t cut = program.find_last_of("\\/");
  if (cut != std::string::npos) folders.push_back(program.substr(0, cut));
  char system[MAX_PATH];
  const UINT length = GetSystemDirectoryA(system, MAX_PATH);
  if (length > 0 && length < MAX_PATH) folders.emplace_back(system, length);
  // Only a full path: a relative one would be looked up from the current folder.
  const std::string installed = InstalledDir();
  if (installed.size() > 2 && (installed[1] == ':' || installed.starts_with("\\\\"))) {
    folders.push_back(installed);
  }
  return folders;
}

// A full path with LOAD_WITH_ALTERED_SEARCH_PATH also finds the DLL's own
// dependencies beside it. The loader's error boxes are kept off the screen:
// a missing or broken DLL is an ordinary "no connection", not a question to
// the user.
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

}  // namespace zp::rapi
