// The session log: "zamopocket.log" in the sync root, appended byte for
// byte, with a start and a stop banner around the lines of one run.
#pragma once

#include <cstdint>
#include <string>

#if defined(__MINGW32__)
#define ZP_PRINTF(f, a) __attribute__((format(gnu_printf, f, a)))
#elif defined(__GNUC__)
#define ZP_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define ZP_PRINTF(f, a)
#endif

namespace zp {

/// Opens "<sync root>zamopocket.log" for appending and writes the start
/// banner. False when the file could not be opened (or its path does not
/// fit 260 bytes): the session then runs without a log.
bool StartLogging(const std::string& sync_root);

/// The formatted text and "\r\n" into the log; the text with "\r" dropped
/// and "\n" as a space on the progress window's status line. The text is
/// cut at 1023 bytes. Always true.
bool LogStatus(const char* format, ...) ZP_PRINTF(1, 2);

/// The formatted text and "\r\n"; false when no log is open.
bool LogText(const char* format, ...) ZP_PRINTF(1, 2);

/// The formatted text, ": ", the system's text for `code` (or
/// "Unknown error 0x%08x"), "\r\n"; false when no log is open.
bool LogError(std::uint32_t code, const char* format, ...) ZP_PRINTF(2, 3);

/// The stop banner, then closes the log. Nothing when no log is open.
void StopLogging();

/// Stops the log (StopLogging) when it goes out of scope.
struct LoggingScope {
  LoggingScope() = default;
  LoggingScope(const LoggingScope&) = delete;
  LoggingScope& operator=(const LoggingScope&) = delete;
  ~LoggingScope() { StopLogging(); }
};

}  // namespace zp
