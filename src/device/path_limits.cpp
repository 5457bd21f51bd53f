// Refusal of paths longer than their buffers.
#include "device/path_limits.h"

#include "platform/platform.h"
#include "report/log.h"

namespace zp {

bool PathFits(const std::string& path) {
  if (path.size() + 1 <= kMaxPath) return true;
  LogText("Path too long: %s", path.c_str());
  return false;
}

bool PathFits(const std::u16string& path) {
  if (path.size() + 1 <= kMaxPath) return true;
  LogText("Path too long: %s", Narrow(path).c_str());
  return false;
}

}  // namespace zp
