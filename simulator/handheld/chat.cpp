// The serial line's text exchange, played on a tty made raw.
#include "simulator/handheld/chat.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "link/legacy_protocol.h"
#include "simulator/handheld/handheld.h"
#include "simulator/handheld/link_io.h"

namespace zp::handheld {
namespace {

/// How long a handheld that already runs PPP stays after its flag.
constexpr int kPppFirstMs = 500;

class Tty {
 public:
  explicit Tty(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
  ~Tty() {
    if (fd_ >= 0) ::close(fd_);
  }
  Tty(const Tty&) = delete;
  Tty& operator=(const Tty&) = delete;
  int fd() const { return fd_; }

  /// Every byte, then waits until they left.
  bool Write(std::string_view bytes) const {
    while (!bytes.empty()) {
      const ssize_t put = ::write(fd_, bytes.data(), bytes.size());
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return ::tcdrain(fd_) == 0 || errno == EINTR;
  }

 private:
  int fd_;
};

std::string Failure(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// Reads until CLIENTSERVER came (across reads), writing CLIENT again every
// repeat while the desktop sent nothing. True when it came.
bool AwaitServer(const Tty& tty, const Options& options, const std::string& client) {
  const std::string_view server = link::kChatServer;
  const Deadline deadline = Deadline::In(options.wait_ms);
  std::string tail;  // what came, its last bytes that may begin CLIENTSERVER
  bool heard = false;
  std::int64_t next_client = MonotonicMs() + options.chat_repeat_ms;
  while (!Stopping() && !deadline.Passed()) {
    const std::int64_t now = MonotonicMs();
    if (!heard && options.chat_repeat_ms > 0 && now >= next_client) {
      if (!tty.Write(client)) {
        Log(Failure("cannot write CLIENT again"));
        return false;
      }
      next_client = now + options.chat_repeat_ms;
    }
    pollfd watched{tty.fd(), POLLIN, 0};
    const auto wait = static_cast<int>(std::min<std::int64_t>(
        {kTickMs, deadline.LeftMs(), std::max<std::int64_t>(next_client - now, 1)}));
    const int polled = ::poll(&watched, 1, wait);
    if (polled < 0 && errno != EINTR) {
      Log(Failure("cannot wait on the tty"));
      return false;
    }
    if (polled <= 0) continue;
    char bytes[64];
    const ssize_t got = ::read(tty.fd(), bytes, sizeof bytes);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) {
      Log(got == 0 ? "the line closed" : Failure("the line failed"));
      return false;
    }
    heard = true;
    tail.append(bytes, static_cast<std::size_t>(got));
    if (tail.find(server) != std::string::npos) return true;
    if (tail.size() >= server.size()) tail.erase(0, tail.size() - (server.size() - 1));
  }
  return false;
}

}  // namespace

int RunChat(const Options& options) {
  const Tty tty(options.chat_tty);
  if (tty.fd() < 0) {
    Log(Failure("cannot open " + options.chat_tty));
    return kExitNoLink;
  }
  termios mode{};
  if (::tcgetattr(tty.fd(), &mode) != 0) {
    Log(Failure(options.chat_tty + " is not a tty"));
    return kExitNoLink;
  }
  ::cfmakeraw(&mode);
  if (::tcsetattr(tty.fd(), TCSANOW, &mode) != 0) {
    Log(Failure("cannot make " + options.chat_tty + " raw"));
    return kExitNoLink;
  }
  if (options.chat_ppp_first) {
    const char flag[] = {static_cast<char>(link::kPppFlag)};
    if (!tty.Write(std::string_view(flag, 1))) {
      Log(Failure("cannot write the PPP flag"));
      return kExitNoLink;
    }
    Log("a PPP flag sent, as a handheld that already runs PPP");
    Pause(kPppFirstMs);
    return kExitEnded;
  }
  const std::string client =
      (options.chat_nul ? std::string(1, '\0') : std::string()) + std::string(link::kChatClient);
  if (!tty.Write(client)) {
    Log(Failure("cannot write CLIENT"));
    return kExitNoLink;
  }
  Log("CLIENT sent on " + options.chat_tty);
  if (!AwaitServer(tty, options, client)) {
    if (!Stopping()) Log("no CLIENTSERVER came");
    return kExitNoLink;
  }
  if (!options.chat_then.empty() && !tty.Write(options.chat_then)) {
    Log(Failure("cannot write what follows the exchange"));
    return kExitNoLink;
  }
  Log("CLIENTSERVER came; the exchange is done");
  return kExitEnded;
}

}  // namespace zp::handheld
