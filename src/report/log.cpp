// The session log: one process-wide append stream, its turn among the
// sessions running at once, and its three writers.
#include "report/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/name_rules.h"
#include "platform/platform.h"
#include "report/progress.h"

namespace zp {
namespace {

// How long a session that ends without the log's turn waits for it.
constexpr std::uint32_t kTurnWaitMs = 15 * 60 * 1000;

// The log of this process's session.
struct SessionLog {
  std::string sync_root;
  Stream log;        // the shared log, open for appending: the log is open
  DesktopLock turn;  // held: the lines go straight into `log`
  Stream side;       // the side log, while the session has no turn
  std::string side_path;
  std::string kept;  // the lines not in `log` yet
};
SessionLog g_log;

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

// Bytes into an unbuffered stream in one write, so that a session that is
// killed leaves every line it wrote, and two writers never split each
// other's lines.
bool WriteBytes(std::FILE* stream, const std::string& bytes) {
  if (bytes.empty()) return true;
  return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() &&
         std::fflush(stream) == 0;
}

void WriteEntry(const std::string& entry) {
  if (g_log.turn) {
    WriteBytes(g_log.log.get(), entry);
    return;
  }
  g_log.kept += entry;
  if (g_log.side) WriteBytes(g_log.side.get(), entry);
}

Stream OpenUnbuffered(Stream stream) {
  if (stream) std::setvbuf(stream.get(), nullptr, _IONBF, 0);
  return stream;
}

// The log's turn: one per sync root.
std::string TurnName() {
  return "log." + FoldedKey(g_log.sync_root);
}

// What a side log holds; empty when there is none.
std::string ReadSideLog(const std::string& path) {
  std::string text;
  const Stream stream = OpenReadStream(path);
  if (!stream) return text;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, stream.get())) > 0) text.append(buffer, got);
  return text;
}

void CloseLog() {
  g_log.side.reset();
  g_log.log.reset();
  g_log.turn = DesktopLock();
  g_log.kept.clear();
  g_log.side_path.clear();
  g_log.sync_root.clear();
}

}  // namespace

bool StartLogging(const std::string& sync_root) {
  CloseLog();
  const std::string path = sync_root + "zamopocket.log";
  if (path.size() + 1 > kMaxPath) return false;
  g_log.log = OpenUnbuffered(OpenAppendStream(path));
  if (!g_log.log) return false;
  g_log.sync_root = sync_root;
  const LocalTime t = LocalNow();
  LogText("Starting logging at %04d/%02d/%02d %02d:%02d:%02d\r\n", t.year, t.month, t.day, t.hour,
          t.minute, t.second);
  return true;
}

void LogForDevice(const std::string& name) {
  if (!g_log.log || g_log.turn || g_log.side) return;
  const std::string side_path = g_log.sync_root + "zamopocket-" + name + ".log";
  const bool side_fits = side_path.size() + 1 <= kMaxPath;
  // The lines of this handheld's last session, when it was cut short
  // before it could add them to the log.
  const std::string earlier = side_fits ? ReadSideLog(side_path) : std::string();
  g_log.turn = TakeDesktopLock(TurnName(), 0);
  if (g_log.turn) {
    if (WriteBytes(g_log.log.get(), earlier + g_log.kept) && !earlier.empty()) {
      RemoveStreamFile(side_path);
    }
    g_log.kept.clear();
    return;
  }
  if (side_fits) g_log.side = OpenUnbuffered(OpenAppendStream(side_path));
  if (g_log.side) {
    g_log.side_path = side_path;
    WriteBytes(g_log.side.get(), g_log.kept);
  }
  g_log.kept.insert(0, earlier);
}

void DiscardLog() {
  CloseLog();
}

bool LogStatus(const char* format, ...) {
  char text[kStatusBuffer];
  std::va_list args;
  va_start(args, format);
  // vsnprintf cuts the text at 1023 bytes and always terminates it.
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (g_log.log) WriteEntry(std::string(text) + "\r\n");
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
  if (!g_log.log) return false;
  std::va_list args;
  va_start(args, format);
  std::string entry = Format(format, args);
  va_end(args);
  entry += "\r\n";
  WriteEntry(entry);
  return true;
}

bool LogError(std::uint32_t code, const char* format, ...) {
  if (!g_log.log) return false;
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
  if (!g_log.log) return;
  const LocalTime t = LocalNow();
  LogText(
      "\nStopping logging at %04d/%02d/%02d %02d:%02d:%02d\n"
      "------------------------------------------\n",
      t.year, t.month, t.day, t.hour, t.minute, t.second);
  if (!g_log.turn) {
    g_log.turn = TakeDesktopLock(TurnName(), kTurnWaitMs);
    if (g_log.turn) {
      if (WriteBytes(g_log.log.get(), g_log.kept) && g_log.side) {
        g_log.side.reset();
        RemoveStreamFile(g_log.side_path);
      }
    } else if (g_log.side) {
      std::fprintf(stderr, "zamopocket: the log stayed busy: this session's lines are in %s\n",
                   g_log.side_path.c_str());
    } else {
      std::fprintf(stderr, "zamopocket: the log stayed busy: this session's lines follow\n%s",
                   g_log.kept.c_str());
    }
  }
  CloseLog();
}

}  // namespace zp
