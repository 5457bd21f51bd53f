// Reading the sync root from the desktop registry.
#include "session/sync_root.h"

#include "platform/platform.h"

namespace zp {

bool GetPathSync(std::string& root) {
  const RegKey key =
      RegOpen(Hive::LocalMachine, "Software\\Brenok\\ZAMO\\PocketPC", RegAccess::Read);
  if (!key) return false;
  const std::optional<std::string> value = RegQueryString(key, "PathSync", kMaxPath + 1);
  if (!value || value->empty()) {
    root = "c:\\";
    return true;
  }
  root = *value;
  if (root.back() != '\\') root += '\\';
  return true;
}

}  // namespace zp
