// The sockets of the Windows desktop: Winsock 2 over IPv4. The entry point
// starts Winsock (WSAStartup) before any call here and cleans it up after.
//
// `net_interface` (sockets.h) is, on Windows, the adapter's interface index in
// decimal ("12"): every socket is bound to the adapter's own address, which
// already ties the listener and its connections to that adapter, and
// IP_UNICAST_IF makes what the socket sends (the trigger, the connection to
// the handheld) leave through that adapter even when another one has the
// same addresses (every handheld gives the same ones). Empty: no index.
// windows_api.h first: the lean <windows.h>, whose headers never define
// the macro `interface`, then Winsock 2.
#include "platform/win32/windows_api.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdio>
#include <vector>

#include "platform/platform.h"
#include "platform/sockets.h"

namespace zp {
namespace {

thread_local int last_socket_error = 0;
// What the last failure means for the link, when it means more than its code.
thread_local const char* last_socket_note = nullptr;

bool Failed() {
  last_socket_error = ::WSAGetLastError();
  last_socket_note = nullptr;
  return false;
}

void FailedWith(int code) {
  last_socket_error = code;
  last_socket_note = nullptr;
}

SOCKET Raw(const Socket& socket) {
  return static_cast<SOCKET>(socket.handle());
}

sockaddr_in ToSockaddr(NetAddress address) {
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_port = ::htons(address.port);
  in.sin_addr.s_addr = ::htonl(address.ip);
  return in;
}

NetAddress FromSockaddr(const sockaddr_in& in) {
  return NetAddress{::ntohl(in.sin_addr.s_addr), ::ntohs(in.sin_port)};
}

bool SetOption(SOCKET socket, int level, int name, int value) {
  return ::setsockopt(socket, level, name, reinterpret_cast<const char*>(&value), sizeof value) ==
             0 ||
         Failed();
}

bool SetNonBlocking(SOCKET socket) {
  u_long on = 1;
  return ::ioctlsocket(socket, FIONBIO, &on) == 0 || Failed();
}

// The interface index of `interface` (decimal); nothing when it is not one.
std::optional<DWORD> InterfaceIndex(const std::string& net_interface) {
  DWORD index = 0;
  const char* end = net_interface.data() + net_interface.size();
  const auto [at, error] = std::from_chars(net_interface.data(), end, index);
  if (error != std::errc() || at != end || index == 0) return std::nullopt;
  return index;
}

// A new socket of `type`, not inherited by programs this one starts,
// non-blocking, tied to the adapter (when named) and bound to `local`.
Socket MakeBound(int type, NetAddress local, const std::string& net_interface, bool exclusive) {
  const int protocol = type == SOCK_STREAM ? IPPROTO_TCP : IPPROTO_UDP;
  Socket made(static_cast<std::intptr_t>(
      ::WSASocketW(AF_INET, type, protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT)));
  if (!made) {
    Failed();
    return {};
  }
  const SOCKET raw = Raw(made);
  if (!SetNonBlocking(raw)) return {};
  // Never SO_REUSEADDR on Windows: it lets another program bind the same
  // port and take the handheld's connections. Exclusive use refuses that.
  if (exclusive && !SetOption(raw, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, 1)) return {};
  if (!net_interface.empty()) {
    const auto index = InterfaceIndex(net_interface);
    if (!index) {
      FailedWith(WSAEINVAL);
      return {};
    }
    // IP_UNICAST_IF takes an IPv4 interface index in network byte order.
    const DWORD value = ::htonl(*index);
    if (::setsockopt(raw, IPPROTO_IP, IP_UNICAST_IF, reinterpret_cast<const char*>(&value),
                     sizeof value) != 0) {
      Failed();
      return {};
    }
  }
  const sockaddr_in address = ToSockaddr(local);
  if (::bind(raw, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    Failed();
    // Where WMDC is installed its services hold port 990 on the handheld's
    // address: the link is theirs, and their DLLs are the way to the device.
    if (last_socket_error == WSAEADDRINUSE || last_socket_error == WSAEACCES) {
      last_socket_note =
          "the port is held by another program; where WMDC is installed its services hold "
          "port 990, and its DLLs are the way to the handheld";
    }
    return {};
  }
  return made;
}

int Left(std::int64_t deadline) {
  const std::int64_t left = deadline - MonotonicMs();
  return static_cast<int>(std::clamp<std::int64_t>(left, 0, INT_MAX));
}

timeval ToTimeval(int ms) {
  timeval value{};
  value.tv_sec = ms / 1000;
  value.tv_usec = (ms % 1000) * 1000;
  return value;
}

enum class Ready { Read, Write, Connect };

// Waits for one socket to be readable, writable, or connected (or refused:
// then Failed with the connection's error), at most `timeout_ms`.
NetWait WaitFor(SOCKET socket, Ready ready, int timeout_ms) {
  const std::int64_t deadline = MonotonicMs() + timeout_ms;
  for (;;) {
    fd_set wanted;
    fd_set failed;
    FD_ZERO(&wanted);
    FD_ZERO(&failed);
    FD_SET(socket, &wanted);
    FD_SET(socket, &failed);
    timeval wait = ToTimeval(Left(deadline));
    const int count = ready == Ready::Read ? ::select(0, &wanted, nullptr, &failed, &wait)
                                           : ::select(0, nullptr, &wanted, &failed, &wait);
    if (count == 0) {
      FailedWith(WSAETIMEDOUT);
      return NetWait::TimedOut;
    }
    if (count == SOCKET_ERROR) {
      if (::WSAGetLastError() == WSAEINTR && Left(deadline) > 0) continue;
      Failed();
      return NetWait::Failed;
    }
    if (FD_ISSET(socket, &failed)) {
      // A connection that could not be made: its own error says why.
      int error = 0;
      int size = sizeof error;
      ::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
      FailedWith(error != 0 ? error : WSAECONNREFUSED);
      return NetWait::Failed;
    }
    return NetWait::Done;
  }
}

// A send or receive length as Winsock takes it.
int Chunk(std::size_t size) {
  return static_cast<int>(std::min<std::size_t>(size, INT_MAX));
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
  if (handle_ != kNone) ::closesocket(static_cast<SOCKET>(handle_));
  handle_ = kNone;
}

// Four decimal parts of 0..255, as inet_pton takes them.
std::optional<std::uint32_t> ParseIpv4(std::string_view text) {
  std::uint32_t ip = 0;
  const char* at = text.data();
  const char* const end = text.data() + text.size();
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (at == end || *at != '.') return std::nullopt;
      ++at;
    }
    const char* const start = at;
    unsigned value = 0;
    while (at != end && *at >= '0' && *at <= '9' && at - start < 3) {
      value = value * 10 + static_cast<unsigned>(*at - '0');
      ++at;
    }
    if (at == start || value > 255) return std::nullopt;
    ip = ip << 8 | value;
  }
  if (at != end) return std::nullopt;
  return ip;
}

std::string FormatIpv4(std::uint32_t ip) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", ip >> 24, (ip >> 16) & 0xFF, (ip >> 8) & 0xFF,
                ip & 0xFF);
  return text;
}

std::string SocketFailureText() {
  if (last_socket_error == 0) return "no error";
  std::string text = SystemErrorText(static_cast<std::uint32_t>(last_socket_error))
                         .value_or("Winsock error " + std::to_string(last_socket_error));
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  text += " (" + std::to_string(last_socket_error) + ")";
  if (last_socket_note != nullptr) text += std::string(": ") + last_socket_note;
  return text;
}

Socket ListenTcp(NetAddress local, const std::string& net_interface) {
  // Exclusive, never SO_REUSEADDR (see MakeBound). Winsock's documentation
  // says only active connections on the port refuse an exclusive bind, not
  // those of the previous docking left in TIME_WAIT.
  Socket listener = MakeBound(SOCK_STREAM, local, net_interface, true);
  if (!listener) return {};
  if (::listen(Raw(listener), 8) != 0) {
    Failed();
    return {};
  }
  return listener;
}

NetWait AcceptTcp(const Socket& listener, int timeout_ms, Socket& accepted, NetAddress& peer) {
  const NetWait waited = WaitFor(Raw(listener), Ready::Read, timeout_ms);
  if (waited != NetWait::Done) return waited;
  sockaddr_in from{};
  int size = sizeof from;
  Socket taken(static_cast<std::intptr_t>(
      ::accept(Raw(listener), reinterpret_cast<sockaddr*>(&from), &size)));
  if (!taken) {
    const int error = ::WSAGetLastError();
    // A connection that went away before it was taken is no failure of the listener.
    if (error == WSAECONNRESET || error == WSAEWOULDBLOCK || error == WSAEINTR) {
      return NetWait::TimedOut;
    }
    FailedWith(error);
    return NetWait::Failed;
  }
  if (!SetNonBlocking(Raw(taken))) return NetWait::Failed;
  ::SetHandleInformation(reinterpret_cast<HANDLE>(Raw(taken)), HANDLE_FLAG_INHERIT, 0);
  SetOption(Raw(taken), IPPROTO_TCP, TCP_NODELAY, 1);
  SetOption(Raw(taken), SOL_SOCKET, SO_KEEPALIVE, 1);
  accepted = std::move(taken);
  peer = FromSockaddr(from);
  return NetWait::Done;
}

Socket ConnectTcp(NetAddress local, NetAddress to, const std::string& net_interface,
                  int timeout_ms) {
  Socket made = MakeBound(SOCK_STREAM, local, net_interface, false);
  if (!made) return {};
  const SOCKET raw = Raw(made);
  const sockaddr_in address = ToSockaddr(to);
  if (::connect(raw, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return Failed(), Socket{};
    if (WaitFor(raw, Ready::Connect, timeout_ms) != NetWait::Done) return Socket{};
  }
  SetOption(raw, IPPROTO_TCP, TCP_NODELAY, 1);
  return made;
}

bool SendAll(const Socket& socket, std::span<const std::uint8_t> bytes, int timeout_ms) {
  // Windows raises no signal for a reset peer: send fails with WSAECONNRESET.
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const int put = ::send(Raw(socket), reinterpret_cast<const char*>(bytes.data() + sent),
                           Chunk(bytes.size() - sent), 0);
    if (put >= 0) {
      sent += static_cast<std::size_t>(put);
      continue;
    }
    const int error = ::WSAGetLastError();
    if (error == WSAEINTR) continue;
    // A peer that stops reading fills the buffers: wait for room, bounded.
    if (error == WSAEWOULDBLOCK) {
      if (WaitFor(Raw(socket), Ready::Write, timeout_ms) != NetWait::Done) return false;
      continue;
    }
    FailedWith(error);
    return false;
  }
  return true;
}

NetWait ReceiveSome(const Socket& socket, std::span<std::uint8_t> buffer, int timeout_ms,
                    std::size_t& got) {
  got = 0;
  for (bool waited = false;;) {
    // What has arrived is taken at once; the wait is only for what has not.
    const int read =
        ::recv(Raw(socket), reinterpret_cast<char*>(buffer.data()), Chunk(buffer.size()), 0);
    if (read > 0) {
      got = static_cast<std::size_t>(read);
      return NetWait::Done;
    }
    if (read == 0) {
      FailedWith(WSAECONNRESET);
      return NetWait::Failed;
    }
    const int error = ::WSAGetLastError();
    if (error == WSAEINTR) continue;
    if (error != WSAEWOULDBLOCK) {
      FailedWith(error);
      return NetWait::Failed;
    }
    if (waited) return NetWait::TimedOut;
    const NetWait wait = WaitFor(Raw(socket), Ready::Read, timeout_ms);
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
  if (!made || !SetOption(Raw(made), SOL_SOCKET, SO_BROADCAST, 1)) return false;
  const sockaddr_in address = ToSockaddr(to);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int put =
        ::sendto(Raw(made), reinterpret_cast<const char*>(bytes.data()), Chunk(bytes.size()), 0,
                 reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (put >= 0) return true;
    const int error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
      if (WaitFor(Raw(made), Ready::Write, 1000) != NetWait::Done) return false;
      continue;
    }
    if (error != WSAEINTR) {
      FailedWith(error);
      return false;
    }
  }
  return false;
}

Socket BindUdp(NetAddress local, const std::string& net_interface) {
  return MakeBound(SOCK_DGRAM, local, net_interface, true);
}

NetWait ReceiveDatagram(const Socket& socket, std::span<std::uint8_t> buffer, int timeout_ms,
                        std::size_t& got, NetAddress& from) {
  const std::int64_t deadline = MonotonicMs() + timeout_ms;
  for (;;) {
    const NetWait waited = WaitFor(Raw(socket), Ready::Read, Left(deadline));
    if (waited != NetWait::Done) return waited;
    sockaddr_in address{};
    int size = sizeof address;
    const int read =
        ::recvfrom(Raw(socket), reinterpret_cast<char*>(buffer.data()), Chunk(buffer.size()), 0,
                   reinterpret_cast<sockaddr*>(&address), &size);
    if (read >= 0) {
      got = static_cast<std::size_t>(read);
      from = FromSockaddr(address);
      return NetWait::Done;
    }
    const int error = ::WSAGetLastError();
    // An earlier datagram of this socket that found no listener is reported
    // on the next receive (WSAECONNRESET): not this wait's failure.
    if (error == WSAECONNRESET || error == WSAEWOULDBLOCK || error == WSAEINTR) {
      if (Left(deadline) == 0) return NetWait::TimedOut;
      continue;
    }
    FailedWith(error);
    return NetWait::Failed;
  }
}

int WaitReadable(std::span<const Socket* const> sockets, int timeout_ms) {
  const std::int64_t deadline = MonotonicMs() + timeout_ms;
  for (;;) {
    fd_set readable;
    fd_set failed;
    FD_ZERO(&readable);
    FD_ZERO(&failed);
    bool any = false;
    for (const Socket* socket : sockets) {
      if (socket == nullptr || !*socket || readable.fd_count >= FD_SETSIZE) continue;
      FD_SET(Raw(*socket), &readable);
      FD_SET(Raw(*socket), &failed);
      any = true;
    }
    if (!any) {
      // select refuses empty sets: the wait is a sleep.
      ::Sleep(static_cast<DWORD>(Left(deadline)));
      return -1;
    }
    timeval wait = ToTimeval(Left(deadline));
    const int count = ::select(0, &readable, nullptr, &failed, &wait);
    if (count == 0) return -1;
    if (count == SOCKET_ERROR) {
      if (::WSAGetLastError() == WSAEINTR && Left(deadline) > 0) continue;
      Failed();
      return -1;
    }
    for (std::size_t i = 0; i < sockets.size(); ++i) {
      if (sockets[i] == nullptr || !*sockets[i]) continue;
      if (FD_ISSET(Raw(*sockets[i]), &readable) || FD_ISSET(Raw(*sockets[i]), &failed)) {
        return static_cast<int>(i);
      }
    }
    return -1;
  }
}

std::int64_t MonotonicMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace zp
