// Renaming without replacing on Windows: MoveFileExA without MOVEFILE_REPLACE_EXISTING.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/platform.h"

namespace zp {

bool RenameFile(const std::string& from, const std::string& to, bool durable) {
  return MoveFileExA(from.c_str(), to.c_str(), durable ? MOVEFILE_WRITE_THROUGH : 0) != FALSE;
}

}  // namespace zp
