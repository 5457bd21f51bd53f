#include "chat/chat.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "link/legacy_protocol.h"

namespace zp::chat {
namespace {

constexpr std::string_view kClient = link::kChatClient;
constexpr std::string_view kServer = link::kChatServer;

// Waits until `fd` is ready for `events`; false with the outcome otherwise.
bool WaitFor(int fd, short events, Deadline deadline, ChatOutcome& outcome) {
  for (;;) {
    pollfd ready{fd, events, 0};
    const int count = ::poll(&ready, 1, deadline.LeftMs());
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return outcome = ChatOutcome::Failed, false;
    if (count == 0) return outcome = ChatOutcome::TimedOut, false;
    if (ready.revents & events) return true;
    if (ready.revents & POLLNVAL) return outcome = ChatOutcome::Failed, false;
    return outcome = ChatOutcome::LineClosed, false;  // POLLHUP, POLLERR
  }
}

ChatOutcome Answer(int write_fd, Deadline deadline) {
  std::size_t sent = 0;
  while (sent < kServer.size()) {
    ChatOutcome outcome{};
    if (!WaitFor(write_fd, POLLOUT, deadline, outcome)) return outcome;
    const ssize_t n = ::write(write_fd, kServer.data() + sent, kServer.size() - sent);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) return errno == EIO ? ChatOutcome::LineClosed : ChatOutcome::Failed;
    sent += static_cast<std::size_t>(n);
  }
  return ChatOutcome::Answered;
}

}  // namespace

ChatOutcome RunChat(int read_fd, int write_fd, Deadline deadline) {
  std::array<std::uint8_t, link::kChatMaxBytes> buffer{};
  std::size_t seen = 0;     // bytes read so far, kChatMaxBytes at most
  std::size_t matched = 0;  // how much of CLIENT the last bytes were
  while (seen < buffer.size()) {
    ChatOutcome outcome{};
    if (!WaitFor(read_fd, POLLIN, deadline, outcome)) return outcome;
    const ssize_t n = ::read(read_fd, buffer.data(), buffer.size() - seen);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) return errno == EIO ? ChatOutcome::LineClosed : ChatOutcome::Failed;
    if (n == 0) return ChatOutcome::LineClosed;
    seen += static_cast<std::size_t>(n);
    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
      const std::uint8_t byte = buffer[i];
      if (byte == link::kPppFlag) return ChatOutcome::PppRunning;
      // CLIENT's first letter appears in it once: a broken match restarts
      // only on that letter.
      if (byte == static_cast<std::uint8_t>(kClient[matched])) {
        if (++matched == kClient.size()) return Answer(write_fd, deadline);
      } else {
        matched = byte == static_cast<std::uint8_t>(kClient[0]) ? 1 : 0;
      }
    }
  }
  return ChatOutcome::NoClient;
}

}  // namespace zp::chat
