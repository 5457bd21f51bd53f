// The desktop root of the POSIX stand-in.
#include "platform/posix/desktop_root.h"

#include <cstdlib>

namespace zp {

std::string DesktopRoot() {
  if (const char* root = std::getenv("ZAMOPOCKET_DESKTOP"); root && *root) return root;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : ".") + "/.zamopocket";
}

}  // namespace zp
