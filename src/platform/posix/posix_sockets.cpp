// The sockets of the POSIX desktop: BSD sockets over IPv4.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/sockets.h"

namespace zp {
namespace {

thread_local int last_socket_errno = 0;

bool Failed() {
  last_socket_errno = errno;
  return false;
}

sockaddr_in ToSockaddr(NetAddress address) {
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_port = htons(address.port);
  in.sin_addr.s_addr = htonl(address.ip);
  return in;
}

NetAddress FromSockaddr(const sockaddr_in& in) {
  return NetAddress{ntohl(in.sin_addr.s_addr), ntohs(in.sin_port)};
}

int Fd(const Socket& socket) {
  return static_cast<int>(socket.handle());
}

bool SetOption(int fd, int level, int name, int value) {
  return ::setsockopt(fd, level, name, &value, sizeof value) == 0 || Failed();
}

// A new socket of `type`, bound to the interface (when named) and to `local`.
Socket MakeBound(int type, NetAddress local, const std::string& net_interface, bool reuse) {
  Socket made(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
  if (!made) {
    Failed();
    return {};
  }
  const int fd = Fd(made);
  if (reuse && !SetOption(fd, SOL_SOCKET, SO_REUSEADDR, 1)) return {};
  if (!net_interface.empty() && ::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, net_interface.c_str(),
                                             static_cast<socklen_t>(net_interface.size())) != 0) {
    Failed();
    return {};
  }
  const sockaddr_in address = ToSockaddr(local);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    Failed();
    return {};
  }
  return made;
}

// Waits for `events` on one descriptor; Done when they came.
NetWait WaitFor(int fd, short events, int timeout_ms) {
  const std::int64_t deadline = MonotonicMs() + timeout_ms;
  for (;;) {
    pollfd entry{fd, events, 0};
    const std::int64_t left = deadline - MonotonicMs();
    const int ready = ::poll(&entry, 1, static_cast<int>(left < 0 ? 0 : left));
    if (ready > 0) return NetWait::Done;
    if (ready == 0) return NetWait::TimedOut;
    if (errno != EINTR) return Failed(), NetWait::Failed;
  }
}

}  // namespace

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.release();
  }
  return *this;
}

Socket::~Socket() {
  Close();
}

void Socket::Close() noexcept {
  if (handle_ != kNone) ::close(static_cast<int>(handle_));
  handle_ = kNone;
}

std::optional<std::uint32_t> ParseIpv4(std::string_view text) {
  const std::string copy(text);
  in_addr address{};
  if (copy.empty() || ::inet_pton(AF_INET, copy.c_str(), &address) != 1) return std::nullopt;
  return ntohl(address.s_addr);
}

std::string FormatIpv4(std::uint32_t ip) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", ip >> 24, (ip >> 16) & 0xFF, (ip >> 8) & 0xFF,
                ip & 0xFF);
  return text;
}

std::string SocketFailureText() {
  return last_socket_errno == 0 ? "no error" : std::strerror(last_socket_errno);
}

Socket ListenTcp(NetAddress local, const std::string& net_interface) {
  // SO_REUSEADDR: the connections of the previous docking may linger in
  // TIME_WAIT on the port, which would otherwise refuse the listener.
  Socket listener = MakeBound(SOCK_STREAM, local, net_interface, true);
  if (!listener) return {};
  if (::listen(Fd(listener), 8) != 0) {
    Failed();
    return {};
  }
  return listener;
}

NetWait AcceptTcp(const Socket& listener, int timeout_ms, Socket& accepted, NetAddress& peer) {
  const NetWait waited = WaitFor(Fd(listener), POLLIN, timeout_ms);
  if (waited != NetWait::Done) return waited;
  sockaddr_in from{};
  socklen_t size = sizeof from;
  const int fd = ::accept4(Fd(listener), reinterpret_cast<sockaddr*>(&from), &size, SOCK_CLOEXEC);
  if (fd < 0) {
    // A connection that went away before it was taken is no failure of the listener.
    if (errno == ECONNABORTED || errno == EAGAIN || errno == EINTR) return NetWait::TimedOut;
    return Failed(), NetWait::Failed;
  }
  accepted = Socket(fd);
  peer = FromSockaddr(from);
  SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
  SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
  return NetWait::Done;
}

Socket ConnectTcp(NetAddress local, NetAddress to, const std::string& net_interface,
                  int timeout_ms) {
  Socket made = MakeBound(SOCK_STREAM, local, net_interface, false);
  if (!made) return {};
  const int fd = Fd(made);
  const int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  const sockaddr_in address = ToSockaddr(to);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINPROGRESS) return Failed(), Socket{};
    if (WaitFor(fd, POLLOUT, timeout_ms) != NetWait::Done) return Socket{};
    int error = 0;
    socklen_t size = sizeof error;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
    if (error != 0) {
      last_socket_errno = error;
      return {};
    }
  }
  ::fcntl(fd, F_SETFL, flags);
  SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
  return made;
}

bool SendAll(const Socket& socket, std::span<const std::uint8_t> bytes, int timeout_ms) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t put =
        ::send(Fd(socket), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (put >= 0) {
      sent += static_cast<std::size_t>(put);
      continue;
    }
    if (errno == EINTR) continue;
    // A peer that stops reading fills the buffers: wait for room, bounded.
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      const NetWait waited = WaitFor(Fd(socket), POLLOUT, timeout_ms);
      if (waited == NetWait::TimedOut) last_socket_errno = ETIMEDOUT;
      if (waited != NetWait::Done) return false;
      continue;
    }
    return Failed();
  }
  return true;
}

NetWait ReceiveSome(const Socket& socket, std::span<std::uint8_t> buffer, int timeout_ms,
                    std::size_t& got) {
  got = 0;
  for (bool waited = false;;) {
    // What has arrived is taken at once; the wait is only for what has not.
    const ssize_t read = ::recv(Fd(socket), buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (read > 0) {
      got = static_cast<std::size_t>(read);
      return NetWait::Done;
    }
    if (read == 0) {
      last_socket_errno = ECONNRESET;
      return NetWait::Failed;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return Failed(), NetWait::Failed;
    if (waited) return NetWait::TimedOut;
    const NetWait wait = WaitFor(Fd(socket), POLLIN, timeout_ms);
    if (wait != NetWait::Done) return wait;
    waited = true;
  }
}

NetWait ReceiveAll(const Socket& socket, std::span<std::uint8_t> buffer, int timeout_ms) {
  for (std::size_t got = 0; got < buffer.size();) {
    std::size_t part = 0;
    const NetWait waited = ReceiveSome(socket, buffer.subspan(got), timeout_ms, part);
    if (waited != NetWait::Done) return waited;
    got += part;
  }
  return NetWait::Done;
}

bool SendDatagram(NetAddress local, NetAddress to, const std::string& net_interface,
                  std::span<const std::uint8_t> bytes) {
  Socket made = MakeBound(SOCK_DGRAM, local, net_interface, false);
  if (!made || !SetOption(Fd(made), SOL_SOCKET, SO_BROADCAST, 1)) return false;
  const sockaddr_in address = ToSockaddr(to);
  for (;;) {
    const ssize_t put = ::sendto(Fd(made), bytes.data(), bytes.size(), MSG_NOSIGNAL,
                                 reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (put >= 0) return true;
    if (errno != EINTR) return Failed();
  }
}

Socket BindUdp(NetAddress local, const std::string& net_interface) {
  return MakeBound(SOCK_DGRAM, local, net_interface, true);
}

NetWait ReceiveDatagram(const Socket& socket, std::span<std::uint8_t> buffer, int timeout_ms,
                        std::size_t& got, NetAddress& from) {
  const NetWait waited = WaitFor(Fd(socket), POLLIN, timeout_ms);
  if (waited != NetWait::Done) return waited;
  sockaddr_in address{};
  socklen_t size = sizeof address;
  const ssize_t read = ::recvfrom(Fd(socket), buffer.data(), buffer.size(), 0,
                                  reinterpret_cast<sockaddr*>(&address), &size);
  if (read < 0) return Failed(), NetWait::Failed;
  got = static_cast<std::size_t>(read);
  from = FromSockaddr(address);
  return NetWait::Done;
}

int WaitReadable(std::span<const Socket* const> sockets, int timeout_ms) {
  std::vector<pollfd> entries;
  std::vector<int> index;
  for (std::size_t i = 0; i < sockets.size(); ++i) {
    if (sockets[i] == nullptr || !*sockets[i]) continue;
    entries.push_back(pollfd{Fd(*sockets[i]), POLLIN, 0});
    index.push_back(static_cast<int>(i));
  }
  const std::int64_t deadline = MonotonicMs() + timeout_ms;
  for (;;) {
    const std::int64_t left = deadline - MonotonicMs();
    const int ready = ::poll(entries.data(), entries.size(), static_cast<int>(left < 0 ? 0 : left));
    if (ready == 0) return -1;
    if (ready < 0) {
      if (errno == EINTR) continue;
      Failed();
      return -1;
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].revents != 0) return index[i];
    }
  }
}

std::int64_t MonotonicMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace zp
