// Renaming without replacing on Windows: MoveFileExA without MOVEFILE_REPLACE_EXISTING.
#include "platform/win32/windows_api.h"

#include "platform/platform.h"

namespace zp {

bool RenameFile(const std::string& from, const std::string& to, bool durable) {
  return MoveFileExA(from.c_str(), to.c_str(), durable ? MOVEFILE_WRITE_THROUGH : 0) != FALSE;
}

}  // namespace zp
