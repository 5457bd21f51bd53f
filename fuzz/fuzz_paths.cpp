// Fuzzes the desktop stand-in's path mapping: any Windows path is mapped
// below the desktop root, or refused; never outside it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/posix/desktop_root.h"
#include "platform/posix/posix_paths.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool root_set = [] {
    ::setenv("ZAMOPOCKET_DESKTOP", "/tmp/zp-fuzz-desktop", 1);
    return true;
  }();
  (void)root_set;
  const std::string path(reinterpret_cast<const char*>(data), size);
  const auto mapped = zp::posix::MapPath(path);
  if (!mapped) return 0;
  const std::string root = zp::DesktopRoot() + "/";
  if (mapped->path.compare(0, root.size(), root) != 0) std::abort();
  if (mapped->path.find("/../") != std::string::npos || mapped->path.ends_with("/..")) std::abort();
  return 0;
}
