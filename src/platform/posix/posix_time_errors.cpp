// Local time, the thread's last error and the system's error texts of the POSIX stand-in.
#include <cstdlib>
#include <ctime>

#include "platform/platform.h"

namespace zp {
namespace {

thread_local std::uint32_t last_error = kErrorSuccess;

// "YYYY-MM-DD HH:MM:SS", nothing else.
std::optional<LocalTime> ParseClock(std::string_view text) {
  constexpr std::string_view kShape = "dddd-dd-dd dd:dd:dd";
  if (text.size() != kShape.size()) return std::nullopt;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return std::nullopt;
  }
  const auto number = [&](std::size_t at, std::size_t length) {
    int v = 0;
    for (std::size_t i = at; i < at + length; ++i) v = v * 10 + (text[i] - '0');
    return v;
  };
  return LocalTime{number(0, 4),  number(5, 2),  number(8, 2),
                   number(11, 2), number(14, 2), number(17, 2)};
}

struct ErrorText {
  std::uint32_t code;
  const char* text;
};

// FormatMessage's English texts for the codes this program meets.
constexpr ErrorText kErrorTexts[] = {
    {kErrorSuccess, "The operation completed successfully.\r\n"},
    {kErrorFileNotFound, "The system cannot find the file specified.\r\n"},
    {kErrorPathNotFound, "The system cannot find the path specified.\r\n"},
    {kErrorAccessDenied, "Access is denied.\r\n"},
    {kErrorInvalidHandle, "The handle is invalid.\r\n"},
    {kErrorNotEnoughMemory,
     "Not enough memory resources are available to process this command.\r\n"},
    {kErrorNoMoreFiles, "There are no more files.\r\n"},
    {kErrorWriteFault, "The system cannot write to the specified device.\r\n"},
    {kErrorReadFault, "The system cannot read from the specified device.\r\n"},
    {kErrorFileExists, "The file exists.\r\n"},
    {kErrorInvalidParameter, "The parameter is incorrect.\r\n"},
    {kErrorDiskFull, "There is not enough space on the disk.\r\n"},
    {kErrorInvalidName, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {kErrorDirNotEmpty, "The directory is not empty.\r\n"},
    {kErrorAlreadyExists, "Cannot create a file when that file already exists.\r\n"},
    {kErrorFilenameExcedRange, "The filename or extension is too long.\r\n"},
    {kErrorMoreData, "More data is available.\r\n"},
    {kErrorNotConnected, "This network connection does not exist.\r\n"},
};

}  // namespace

// ZAMOPOCKET_CLOCK="YYYY-MM-DD HH:MM:SS" fixes the time, so that tests can
// compare whole logs byte for byte; any other value is ignored.
LocalTime LocalNow() {
  if (const char* clock = std::getenv("ZAMOPOCKET_CLOCK")) {
    if (auto fixed = ParseClock(clock)) return *fixed;
  }
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&now, &tm);
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::uint32_t LastErrorCode() {
  return last_error;
}

void SetLastErrorCode(std::uint32_t code) {
  last_error = code;
}

std::optional<std::string> SystemErrorText(std::uint32_t code) {
  constexpr std::size_t kBuffer = 1024;  // FormatMessage's buffer, terminator included
  for (const ErrorText& entry : kErrorTexts) {
    if (entry.code == code) return std::string(entry.text).substr(0, kBuffer - 1);
  }
  return std::nullopt;
}

}  // namespace zp
