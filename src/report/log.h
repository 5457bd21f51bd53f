// The session log: "zamopocket.log" in the sync root, appended byte for
// byte, with a start and a stop banner around the lines of one run.
//
// Sessions of several handhelds may run at once, and the log keeps each
// session whole: one session at a time writes its lines straight into the
// log (it holds the log's turn), every line in one write as it comes. Any
// other session keeps its lines, and once its handheld is known writes each
// as it comes into "zamopocket-<name>.log" beside the log; when it ends it
// waits for the turn and adds its lines to the log in one write. A side log
// a session could not add (it was killed) is added by the next session of
// that handheld.
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

/// Opens "<sync root>zamopocket.log" for appending and starts the session's
/// lines with the start banner, kept until the handheld is known
/// (LogForDevice) or the log stops. False when the file could not be opened
/// (or its path does not fit 260 bytes): the session then runs without a log.
bool StartLogging(const std::string& sync_root);

/// The handheld is known, and this session alone serves it: its lines go
/// straight into the log when it has the log's turn, else each also into
/// its side log as it comes.
void LogForDevice(const std::string& name);

/// Closes the log without writing a byte of this session: it serves no
/// handheld (another session serves the one it found).
void DiscardLog();

/// The formatted text and "\r\n" into the log; the text with "\r" dropped
/// and "\n" as a space on the progress window's status line. The text is
/// cut at 1023 bytes. Always true.
bool LogStatus(const char* format, ...) ZP_PRINTF(1, 2);

/// The formatted text and "\r\n"; false when no log is open.
bool LogText(const char* format, ...) ZP_PRINTF(1, 2);

/// The formatted text, ": ", the system's text for `code` (or
/// "Unknown error 0x%08x"), "\r\n"; false when no log is open.
bool LogError(std::uint32_t code, const char* format, ...) ZP_PRINTF(2, 3);

/// The stop banner, then closes the log; a session without the turn adds
/// its lines to the log first. Nothing when no log is open.
void StopLogging();

/// Stops the log (StopLogging) when it goes out of scope.
struct LoggingScope {
  LoggingScope() = default;
  LoggingScope(const LoggingScope&) = delete;
  LoggingScope& operator=(const LoggingScope&) = delete;
  ~LoggingScope() { StopLogging(); }
};

}  // namespace zp
