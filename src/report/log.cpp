// The session log: one process-wide append stream and its three writers.
#include "report/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "report/progress.h"

namespace zp {
namespace {

Stream g_log;

constexpr std::size_t kStatusBuffer = 1024;
constexpr std::size_t kErrorTextBuffer = 1024;

void WriteBytes(const char* bytes, std::size_t size) {
  std::fwrite(bytes, 1, size, g_log.get());
}

void WriteFormatted(const char* format, std::va_list args) {
  std::vfprintf(g_log.get(), format, args);
}

void WriteLineEnd() {
  WriteBytes("\r\n", 2);
}

}  // namespace

bool StartLogging(const std::string& sync_root) {
  const std::string path = sync_root + "zamopocket.log";
  if (path.size() + 1 > kMaxPath) return false;
  g_log = OpenAppendStream(path);
  if (!g_log) return false;
  const LocalTime t = LocalNow();
  LogText("Starting logging at %04d/%02d/%02d %02d:%02d:%02d\r\n", t.year, t.month, t.day, t.hour,
          t.minute, t.second);
  return true;
}

bool LogStatus(const char* format, ...) {
  char text[kStatusBuffer];
  std::va_list args;
  va_start(args, format);
  // vsnprintf cuts the text at 1023 bytes and always terminates it.
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (g_log) {
    WriteBytes(text, std::strlen(text));
    WriteLineEnd();
  }
  // The status line shows one line: "\n" becomes a space, "\r" is dropped.
  char* out = text;
  for (const char* in = text; *in; ++in) {
    if (*in == '\r') continue;
    *out++ = *in == '\n' ? ' ' : *in;
  }
  *out = '\0';
  SetProgressText(text);
  return true;
}

bool LogText(const char* format, ...) {
  if (!g_log) return false;
  std::va_list args;
  va_start(args, format);
  WriteFormatted(format, args);
  va_end(args);
  WriteLineEnd();
  return true;
}

bool LogError(std::uint32_t code, const char* format, ...) {
  if (!g_log) return false;
  std::va_list args;
  va_start(args, format);
  WriteFormatted(format, args);
  va_end(args);
  std::string text;
  if (auto system_text = SystemErrorText(code)) {
    text = system_text->substr(0, kErrorTextBuffer - 1);
  } else {
    char unknown[32];
    std::snprintf(unknown, sizeof unknown, "Unknown error 0x%08x", code);
    text = unknown;
  }
  std::fprintf(g_log.get(), ": %s", text.c_str());
  WriteLineEnd();
  return true;
}

void StopLogging() {
  if (!g_log) return;
  const LocalTime t = LocalNow();
  LogText(
      "\nStopping logging at %04d/%02d/%02d %02d:%02d:%02d\n"
      "------------------------------------------\n",
      t.year, t.month, t.day, t.hour, t.minute, t.second);
  g_log.reset();
}

bool LoggingActive() {
  return g_log != nullptr;
}

}  // namespace zp
