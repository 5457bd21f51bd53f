// The log stream on Windows: a C stream opened for appending.
#include "platform/win32/windows_api.h"

#include <cerrno>

#include "platform/platform.h"

namespace zp {

void StreamCloser::operator()(std::FILE* f) const noexcept {
  if (f) std::fclose(f);
}

namespace {

Stream OpenStream(const std::string& path, const char* mode) {
  // fopen leaves the last error of the CreateFile it opens through; it only
  // fails without one for a reason it finds itself (a bad name, no free stream).
  ::SetLastError(ERROR_SUCCESS);
  Stream stream(std::fopen(path.c_str(), mode));
  if (!stream && ::GetLastError() == ERROR_SUCCESS) {
    ::SetLastError(errno == EMFILE   ? ERROR_TOO_MANY_OPEN_FILES
                   : errno == ENOENT ? ERROR_FILE_NOT_FOUND
                   : errno == EACCES ? ERROR_ACCESS_DENIED
                                     : ERROR_INVALID_PARAMETER);
  }
  return stream;
}

}  // namespace

Stream OpenAppendStream(const std::string& path) {
  return OpenStream(path, "ab");
}

Stream OpenReadStream(const std::string& path) {
  return OpenStream(path, "rb");
}

bool RemoveStreamFile(const std::string& path) {
  return ::DeleteFileA(path.c_str()) != 0;
}

}  // namespace zp
