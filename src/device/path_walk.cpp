// The folder walk shared by both sides.
#include "device/path_walk.h"

#include <algorithm>

#include "platform/platform.h"
#include "report/log.h"

namespace zp {
namespace {

// Walks `path`, asking `attributes` of each prefix ending with a component
// and `create` for each missing one.
template <typename String, typename Attributes, typename Create>
bool WalkPath(String& path, std::size_t cursor, Attributes attributes, Create create) {
  using Char = typename String::value_type;
  const Char backslash = static_cast<Char>('\\');
  if (cursor < path.size() && path[cursor] == backslash) ++cursor;
  while (cursor < path.size()) {
    std::size_t end = path.find(backslash, cursor);
    if (end == String::npos) end = path.size();
    const String prefix = path.substr(0, end);
    const std::uint32_t found = attributes(prefix);
    if (found == kInvalidAttributes) {
      if (!create(prefix)) return false;
    } else if ((found & kAttributeDirectory) == 0) {
      path.resize(end);  // the caller's path now ends with the file's name
      return false;
    }
    if (end == path.size()) return true;
    cursor = end + 1;
  }
  return true;
}

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

bool CreateLocalPath(std::string& path, std::vector<std::string>* created) {
  const std::size_t cursor = path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':' ? 2 : 0;
  return WalkPath(
      path, cursor, [](const std::string& p) { return PathAttributes(p); },
      [created](const std::string& p) {
        if (!MakeFolder(p)) return false;
        if (created) created->push_back(p);
        return true;
      });
}

bool FlushCreatedFolders(const std::vector<std::string>& created, std::string& failed) {
  std::vector<std::string> flushed;
  for (const std::string& folder : created) {
    const std::size_t slash = folder.rfind('\\');
    if (slash == std::string::npos) continue;
    const std::string parent = folder.substr(0, slash + 1);  // "c:\" for "c:\a"
    if (std::find(flushed.begin(), flushed.end(), parent) != flushed.end()) continue;
    if (!FlushFolder(parent)) {
      failed = parent;
      return false;
    }
    flushed.push_back(parent);
  }
  return true;
}

bool CreateRemotePath(RemoteDevice& device, std::u16string& path) {
  return WalkPath(
      path, 0, [&](const std::u16string& p) { return device.CeGetFileAttributes(p); },
      [&](const std::u16string& p) { return device.CeCreateDirectory(p); });
}

bool MakeRemotePath(RemoteDevice& device, const std::u16string& path, RemotePathLog log) {
  std::u16string reached = path;
  if (CreateRemotePath(device, reached)) return true;
  if (log == RemotePathLog::Asked) {
    LogText("Cannot create remote path: %s", Narrow(path).c_str());
  } else {
    LogStatus("Cannot create remote path: %s", Narrow(reached).c_str());
  }
  return false;
}

}  // namespace zp
