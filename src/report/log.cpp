// The session log: one process-wide append stream and its three writers.
#include "report/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "report/progress.h"

namespace zp {
namespace {

Stream g_log;

constexpr std::size_t kStatusBuffer = 1024;
constexpr std::size_t kErrorTextBuffer = 1024;

// The formatted text, whatever its length.
std::string Format(const char* format, std::va_list args) {
  std::va_list again;
  va_copy(again, args);
  char small[256];
  const int length = std::vsnprintf(small, sizeof small, format, args);
  std::string text;
  if (length < 0) {
    text.clear();
  } else if (static_cast<std::size_t>(length) < sizeof small) {
    text.assign(small, static_cast<std::size_t>(length));
  } else {
    text.resize(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    text.resize(static_cast<std::size_t>(length));
  }
  va_end(again);
  return text;
}

// One entry reaches the file whole, in one write: a session that is killed
// leaves every line it wrote, and two writers never split each other's lines.
void WriteEntry(const std::string& entry) {
  std::fwrite(entry.data(), 1, entry.size(), g_log.get());
  std::fflush(g_log.get());
}

}  // namespace

bool StartLogging(const std::string& sync_root) {
  const std::string path = sync_root + "zamopocket.log";
  if (path.size() + 1 > kMaxPath) return false;
  g_log = OpenAppendStream(path);
  if (!g_log) return false;
  // Unbuffered: each entry's single fwrite is one write to the file.
  std::setvbuf(g_log.get(), nullptr, _IONBF, 0);
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
  if (g_log) WriteEntry(std::string(text) + "\r\n");
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
  std::string entry = Format(format, args);
  va_end(args);
  entry += "\r\n";
  WriteEntry(entry);
  return true;
}

bool LogError(std::uint32_t code, const char* format, ...) {
  if (!g_log) return false;
  std::va_list args;
  va_start(args, format);
  std::string entry = Format(format, args);
  va_end(args);
  entry += ": ";
  if (auto system_text = SystemErrorText(code)) {
    entry += system_text->substr(0, kErrorTextBuffer - 1);
  } else {
    char unknown[32];
    std::snprintf(unknown, sizeof unknown, "Unknown error 0x%08x", code);
    entry += unknown;
  }
  entry += "\r\n";
  WriteEntry(entry);
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

}  // namespace zp
