// The log stream of the POSIX stand-in: a file opened for appending.
#include <cerrno>
#include <cstdio>
#include <optional>

#include "platform/platform.h"
#include "platform/posix/posix_paths.h"

namespace zp {

void StreamCloser::operator()(std::FILE* f) const noexcept {
  if (f) std::fclose(f);
}

namespace {

std::optional<posix::MappedPath> MapFilePath(const std::string& path) {
  auto mapped = posix::MapPath(path);
  if (mapped && (mapped->trailing_separator || mapped->drive_root)) {
    SetLastErrorCode(kErrorInvalidName);
    return std::nullopt;
  }
  return mapped;
}

Stream OpenStream(const std::string& path, const char* mode) {
  const auto mapped = MapFilePath(path);
  if (!mapped) return nullptr;
  Stream stream(std::fopen(mapped->path.c_str(), mode));
  if (!stream) SetLastErrorCode(posix::ErrorFromErrno(errno, *mapped, kErrorAccessDenied));
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
  const auto mapped = MapFilePath(path);
  if (!mapped) return false;
  if (std::remove(mapped->path.c_str()) == 0) return true;
  SetLastErrorCode(posix::ErrorFromErrno(errno, *mapped, kErrorAccessDenied));
  return false;
}

}  // namespace zp
