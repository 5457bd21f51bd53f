// The sockets of the POSIX desktop: BSD sockets over IPv4.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/sockets.h"

namespace zp {
namespace {

thread_local int last_socket_errno = 0;

NetResult Failed() {
  last_socket_errno = errno;
  return NetResult::Failed;
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
  if (::setsockopt(fd, level, name, &value, sizeof value) == 0) return true;
  Failed();
  return false;
}

// A new socket of `type`, bound to the interface (when named) and to `local`.
NetResult MakeBound(int type, NetAddress local, const std::string& net_interface, bool reuse,
                    Socket& made) {
  made = Socket(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
  if (!made) return Failed();
  const int fd = Fd(made);
  if (reuse &&
      (!SetOption(fd, SOL_SOCKET, SO_REUSEADDR, 1) || !SetOption(fd, IPPROTO_IP, IP_FREEBIND, 1))) {
    made.Close();
    return NetResult::Failed;
  }
  if (!net_interface.empty() && ::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, net_interface.c_str(),
                                             static_cast<socklen_t>(net_interface.size())) != 0) {
    Failed();
    made.Close();
    return NetResult::Failed;
  }
  const sockaddr_in address = ToSockaddr(local);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    Failed();
    made.Close();
    return NetResult::Failed;
  }
  return NetResult::Done;
}

// Waits for `events` on one descriptor by `deadline`.
NetResult WaitFor(int fd, short events, Deadline deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int ready = ::poll(&entry, 1, deadline.LeftMs());
    if (ready > 0) return NetResult::Done;
    if (ready == 0) {
      last_socket_errno = ETIMEDOUT;
      return NetResult::TimedOut;
    }
    if (errno != EINTR) return Failed();
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

std::string SocketFailureText() {
  return last_socket_errno == 0 ? "no error" : std::strerror(last_socket_errno);
}

NetResult ListenTcp(NetAddress local, const std::string& net_interface, Socket& listener) {
  // SO_REUSEADDR: the connections of the previous docking may linger in
  // TIME_WAIT on the port, which would otherwise refuse the listener.
  if (MakeBound(SOCK_STREAM, local, net_interface, true, listener) != NetResult::Done) {
    return NetResult::Failed;
  }
  // Non-blocking: a connection that went away between the wait and the
  // accept must not block the accept.
  if (::fcntl(Fd(listener), F_SETFL, ::fcntl(Fd(listener), F_GETFL) | O_NONBLOCK) != 0 ||
      ::listen(Fd(listener), 8) != 0) {
    Failed();
    listener.Close();
    return NetResult::Failed;
  }
  return NetResult::Done;
}

void NotifyListening() {
  const char* path = std::getenv("NOTIFY_SOCKET");
  if (path == nullptr || (path[0] != '/' && path[0] != '@')) return;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::size_t length = std::strlen(path);
  if (length >= sizeof address.sun_path) return;
  std::memcpy(address.sun_path, path, length);
  if (address.sun_path[0] == '@') address.sun_path[0] = '\0';  // an abstract socket
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  static constexpr char kReady[] = "READY=1";
  ::sendto(fd, kReady, sizeof kReady - 1, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address),
           static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length));
  ::close(fd);
}

NetResult AcceptTcp(const Socket& listener, Deadline deadline, Socket& accepted, NetAddress& peer) {
  for (;;) {
    const NetResult waited = WaitFor(Fd(listener), POLLIN, deadline);
    if (waited != NetResult::Done) return waited;
    sockaddr_in from{};
    socklen_t size = sizeof from;
    const int fd = ::accept4(Fd(listener), reinterpret_cast<sockaddr*>(&from), &size, SOCK_CLOEXEC);
    if (fd < 0) {
      // A connection that went away before it was taken is no failure of the listener.
      if (errno == ECONNABORTED || errno == EAGAIN || errno == EINTR) continue;
      return Failed();
    }
    accepted = Socket(fd);
    peer = FromSockaddr(from);
    SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    return NetResult::Done;
  }
}

NetResult ConnectTcp(NetAddress local, NetAddress to, const std::string& net_interface,
                     Deadline deadline, Socket& connected) {
  Socket made;
  if (MakeBound(SOCK_STREAM, local, net_interface, false, made) != NetResult::Done) {
    return NetResult::Failed;
  }
  const int fd = Fd(made);
  const int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  const sockaddr_in address = ToSockaddr(to);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINPROGRESS) return Failed();
    if (const NetResult waited = WaitFor(fd, POLLOUT, deadline); waited != NetResult::Done) {
      return waited;
    }
    int error = 0;
    socklen_t size = sizeof error;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
    if (error != 0) {
      last_socket_errno = error;
      return NetResult::Failed;
    }
  }
  ::fcntl(fd, F_SETFL, flags);
  SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
  connected = std::move(made);
  return NetResult::Done;
}

NetResult SendAll(const Socket& socket, std::span<const std::uint8_t> bytes, Deadline deadline) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t put =
        ::send(Fd(socket), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (put >= 0) {
      sent += static_cast<std::size_t>(put);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return Failed();
    // A peer that stops reading fills the buffers: wait for room, by the
    // one deadline of the whole send.
    if (const NetResult waited = WaitFor(Fd(socket), POLLOUT, deadline);
        waited != NetResult::Done) {
      return waited;
    }
  }
  return NetResult::Done;
}

NetResult ReceiveSome(const Socket& socket, std::span<std::uint8_t> buffer, Deadline deadline,
                      std::size_t& got) {
  got = 0;
  for (;;) {
    // What has arrived is taken at once; the wait is only for what has not.
    const ssize_t read = ::recv(Fd(socket), buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (read > 0) {
      got = static_cast<std::size_t>(read);
      return NetResult::Done;
    }
    if (read == 0) {
      last_socket_errno = ECONNRESET;
      return NetResult::Failed;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return Failed();
    if (const NetResult waited = WaitFor(Fd(socket), POLLIN, deadline); waited != NetResult::Done) {
      return waited;
    }
  }
}

NetResult ReceiveAll(const Socket& socket, std::span<std::uint8_t> buffer, Deadline deadline) {
  for (std::size_t got = 0; got < buffer.size();) {
    std::size_t part = 0;
    const NetResult waited = ReceiveSome(socket, buffer.subspan(got), deadline, part);
    if (waited != NetResult::Done) return waited;
    got += part;
  }
  return NetResult::Done;
}

NetResult SendDatagram(NetAddress local, NetAddress to, const std::string& net_interface,
                       std::span<const std::uint8_t> bytes) {
  Socket made;
  if (MakeBound(SOCK_DGRAM, local, net_interface, false, made) != NetResult::Done ||
      !SetOption(Fd(made), SOL_SOCKET, SO_BROADCAST, 1)) {
    return NetResult::Failed;
  }
  const sockaddr_in address = ToSockaddr(to);
  for (;;) {
    const ssize_t put = ::sendto(Fd(made), bytes.data(), bytes.size(), MSG_NOSIGNAL,
                                 reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (put >= 0) return NetResult::Done;
    if (errno != EINTR) return Failed();
  }
}

NetResult BindUdp(NetAddress local, const std::string& net_interface, Socket& bound) {
  return MakeBound(SOCK_DGRAM, local, net_interface, true, bound);
}

NetResult ReceiveDatagram(const Socket& socket, std::span<std::uint8_t> buffer, Deadline deadline,
                          std::size_t& got, NetAddress& from) {
  const NetResult waited = WaitFor(Fd(socket), POLLIN, deadline);
  if (waited != NetResult::Done) return waited;
  sockaddr_in address{};
  socklen_t size = sizeof address;
  const ssize_t read = ::recvfrom(Fd(socket), buffer.data(), buffer.size(), 0,
                                  reinterpret_cast<sockaddr*>(&address), &size);
  if (read < 0) return Failed();
  got = static_cast<std::size_t>(read);
  from = FromSockaddr(address);
  return NetResult::Done;
}

NetResult WaitReadable(std::span<const Socket* const> sockets, Deadline deadline,
                       std::size_t& ready) {
  std::vector<pollfd> entries;
  std::vector<std::size_t> index;
  for (std::size_t i = 0; i < sockets.size(); ++i) {
    if (sockets[i] == nullptr || !*sockets[i]) continue;
    entries.push_back(pollfd{Fd(*sockets[i]), POLLIN, 0});
    index.push_back(i);
  }
  for (;;) {
    const int count = ::poll(entries.data(), entries.size(), deadline.LeftMs());
    if (count == 0) {
      last_socket_errno = ETIMEDOUT;
      return NetResult::TimedOut;
    }
    if (count < 0) {
      if (errno == EINTR) continue;
      return Failed();
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].revents == 0) continue;
      ready = index[i];
      return NetResult::Done;
    }
  }
}

std::int64_t MonotonicMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace zp
