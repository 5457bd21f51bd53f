// The log stream of the POSIX stand-in: a file opened for appending.
#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/posix_paths.h"

namespace zp {

void StreamCloser::operator()(std::FILE* f) const noexcept {
  if (f) std::fclose(f);
}

Stream OpenAppendStream(const std::string& path) {
  const auto mapped = posix::MapPath(path);
  if (!mapped) return nullptr;
  if (mapped->trailing_separator || mapped->drive_root) {
    SetLastErrorCode(kErrorInvalidName);
    return nullptr;
  }
  Stream stream(std::fopen(mapped->path.c_str(), "ab"));
  if (!stream) SetLastErrorCode(posix::ErrorFromErrno(errno, *mapped, kErrorAccessDenied));
  return stream;
}

}  // namespace zp
