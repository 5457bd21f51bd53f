// zamopocket-chat: pppd's connect program for an older handheld's serial
// line (Pocket PC 2000/2002/2003). pppd opens the tty, makes it raw and runs
// this with the tty as standard input and output; PPP starts when it exits
// 0. It waits for the handheld's CLIENT and answers CLIENTSERVER; a PPP
// frame's flag (`~`) before it means the handheld already runs PPP, and it
// exits 0 without answering. Anything else (256 bytes without CLIENT, the
// deadline, the line's end) exits 1 with one line on standard error.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "chat/chat.h"
#include "link/legacy_protocol.h"

namespace {

constexpr std::int64_t kDefaultDeadlineMs = 30'000;
constexpr std::int64_t kMostDeadlineMs = 600'000;

// The last guard: a write the tty never takes does not outlive the
// deadline by more than this.
constexpr unsigned kGraceSeconds = 5;

void OnAlarm(int) {
  constexpr char kLine[] = "zamopocket-chat: the serial line is stuck past the deadline\n";
  (void)!::write(STDERR_FILENO, kLine, sizeof kLine - 1);
  ::_exit(1);
}

int Usage() {
  std::fputs("usage: zamopocket-chat [--deadline-ms N]   (pppd's connect program; N 1 to 600000)\n",
             stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::int64_t deadline_ms = kDefaultDeadlineMs;
  if (argc == 3 && std::string_view(argv[1]) == "--deadline-ms") {
    const std::string_view text = argv[2];
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), deadline_ms);
    if (error != std::errc() || end != text.data() + text.size() || deadline_ms < 1 ||
        deadline_ms > kMostDeadlineMs) {
      return Usage();
    }
  } else if (argc != 1) {
    return Usage();
  }
  // A hung-up line is an error to read, not a signal to die of.
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGALRM, OnAlarm);
  ::alarm(static_cast<unsigned>(deadline_ms / 1000) + kGraceSeconds);

  using zp::chat::ChatOutcome;
  const ChatOutcome outcome =
      zp::chat::RunChat(STDIN_FILENO, STDOUT_FILENO, zp::Deadline::In(deadline_ms));
  if (zp::chat::ChatSucceeded(outcome)) return 0;
  const int error = errno;
  switch (outcome) {
    case ChatOutcome::NoClient:
      std::fprintf(stderr, "zamopocket-chat: no CLIENT from the handheld in %zu bytes\n",
                   zp::link::kChatMaxBytes);
      break;
    case ChatOutcome::TimedOut:
      std::fprintf(stderr, "zamopocket-chat: no CLIENT from the handheld in %lld ms\n",
                   static_cast<long long>(deadline_ms));
      break;
    case ChatOutcome::LineClosed:
      std::fputs("zamopocket-chat: the serial line closed before the exchange ended\n", stderr);
      break;
    default:
      std::fprintf(stderr, "zamopocket-chat: the serial line failed: %s\n", std::strerror(error));
      break;
  }
  return 1;
}
