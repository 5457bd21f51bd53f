// The sockets of the Windows desktop (Winsock 2 over IPv4): the listener,
// connections, whole-buffer sends and receives, and the trigger's datagram.
// Every socket is non-blocking: each call first takes what is there, then
// waits for the rest, all of it by one deadline (a peer that trickles bytes
// never holds a call past it). How they are made and the waits:
// win32_socket_setup.cpp, win32_socket_waits.cpp.
#include "platform/win32/win32_socket_setup.h"

#include <utility>

namespace zp {

using win32_sockets::Chunk;
using win32_sockets::Fail;
using win32_sockets::FailWith;
using win32_sockets::FromSockaddr;
using win32_sockets::MakeBound;
using win32_sockets::Raw;
using win32_sockets::Ready;
using win32_sockets::SetNonBlocking;
using win32_sockets::SetOption;
using win32_sockets::TimeOut;
using win32_sockets::ToSockaddr;
using win32_sockets::WaitFor;

namespace {

// How long a datagram may wait for room in the system's buffers.
constexpr int kDatagramRoomMs = 1000;

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

NetResult ListenTcp(NetAddress local, const std::string& net_interface, Socket& listener) {
  // Exclusive, never SO_REUSEADDR (see MakeBound). Winsock's documentation
  // says only active connections on the port refuse an exclusive bind, not
  // those of the previous docking left in TIME_WAIT.
  Socket made;
  const NetResult bound = MakeBound(SOCK_STREAM, local, net_interface, true, made);
  if (bound != NetResult::Done) return bound;
  if (::listen(Raw(made), 8) != 0) return Fail();
  listener = std::move(made);
  return NetResult::Done;
}

NetResult AcceptTcp(const Socket& listener, Deadline deadline, Socket& accepted, NetAddress& peer) {
  for (;;) {
    sockaddr_in from{};
    int size = sizeof from;
    Socket taken(static_cast<std::intptr_t>(
        ::accept(Raw(listener), reinterpret_cast<sockaddr*>(&from), &size)));
    if (taken) {
      if (SetNonBlocking(Raw(taken)) != NetResult::Done) return NetResult::Failed;
      ::SetHandleInformation(reinterpret_cast<HANDLE>(Raw(taken)), HANDLE_FLAG_INHERIT, 0);
      // Both are tuning, not conditions of the link: a refusal leaves the
      // connection as it is.
      SetOption(Raw(taken), IPPROTO_TCP, TCP_NODELAY, 1);
      SetOption(Raw(taken), SOL_SOCKET, SO_KEEPALIVE, 1);
      accepted = std::move(taken);
      peer = FromSockaddr(from);
      return NetResult::Done;
    }
    const int error = ::WSAGetLastError();
    // A connection that went away before it was taken is no failure of the
    // listener: wait on for the next one.
    if (error != WSAECONNRESET && error != WSAEWOULDBLOCK && error != WSAEINTR) {
      return FailWith(error);
    }
    if (deadline.Passed()) return TimeOut();
    const NetResult waited = WaitFor(Raw(listener), Ready::Read, deadline);
    if (waited != NetResult::Done) return waited;
  }
}

NetResult ConnectTcp(NetAddress local, NetAddress to, const std::string& net_interface,
                     Deadline deadline, Socket& connected) {
  Socket made;
  const NetResult bound = MakeBound(SOCK_STREAM, local, net_interface, false, made);
  if (bound != NetResult::Done) return bound;
  const SOCKET raw = Raw(made);
  const sockaddr_in address = ToSockaddr(to);
  if (::connect(raw, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return Fail();
    const NetResult waited = WaitFor(raw, Ready::Connect, deadline);
    if (waited != NetResult::Done) return waited;
  }
  SetOption(raw, IPPROTO_TCP, TCP_NODELAY, 1);
  connected = std::move(made);
  return NetResult::Done;
}

NetResult SendAll(const Socket& socket, std::span<const std::uint8_t> bytes, Deadline deadline) {
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
    if (error != WSAEWOULDBLOCK) return FailWith(error);
    // A peer that stops reading fills the buffers: wait for room, but only
    // until the one deadline of the whole send.
    if (deadline.Passed()) return TimeOut();
    const NetResult waited = WaitFor(Raw(socket), Ready::Write, deadline);
    if (waited != NetResult::Done) return waited;
  }
  return NetResult::Done;
}

NetResult ReceiveSome(const Socket& socket, std::span<std::uint8_t> buffer, Deadline deadline,
                      std::size_t& got) {
  got = 0;
  // recv of nothing returns 0, which would read as the peer's close.
  if (buffer.empty()) return NetResult::Done;
  for (;;) {
    // What has arrived is taken at once; the wait is only for what has not.
    const int read =
        ::recv(Raw(socket), reinterpret_cast<char*>(buffer.data()), Chunk(buffer.size()), 0);
    if (read > 0) {
      got = static_cast<std::size_t>(read);
      return NetResult::Done;
    }
    if (read == 0) return FailWith(WSAECONNRESET);  // the peer closed
    const int error = ::WSAGetLastError();
    if (error == WSAEINTR) continue;
    if (error != WSAEWOULDBLOCK) return FailWith(error);
    if (deadline.Passed()) return TimeOut();
    const NetResult waited = WaitFor(Raw(socket), Ready::Read, deadline);
    if (waited != NetResult::Done) return waited;
  }
}

NetResult ReceiveAll(const Socket& socket, std::span<std::uint8_t> buffer, Deadline deadline) {
  // Every part under the same deadline: a wait is never restarted by a
  // byte that arrived.
  for (std::size_t got = 0; got < buffer.size();) {
    std::size_t part = 0;
    const NetResult received = ReceiveSome(socket, buffer.subspan(got), deadline, part);
    if (received != NetResult::Done) return received;
    got += part;
  }
  return NetResult::Done;
}

NetResult SendDatagram(NetAddress local, NetAddress to, const std::string& net_interface,
                       std::span<const std::uint8_t> bytes) {
  Socket made;
  const NetResult bound = MakeBound(SOCK_DGRAM, local, net_interface, false, made);
  if (bound != NetResult::Done) return bound;
  if (SetOption(Raw(made), SOL_SOCKET, SO_BROADCAST, 1) != NetResult::Done) {
    return NetResult::Failed;
  }
  const sockaddr_in address = ToSockaddr(to);
  const Deadline deadline = Deadline::In(kDatagramRoomMs);
  for (;;) {
    const int put =
        ::sendto(Raw(made), reinterpret_cast<const char*>(bytes.data()), Chunk(bytes.size()), 0,
                 reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (put >= 0) return NetResult::Done;
    const int error = ::WSAGetLastError();
    if (error != WSAEWOULDBLOCK && error != WSAEINTR) return FailWith(error);
    if (deadline.Passed()) return TimeOut();
    if (error == WSAEWOULDBLOCK) {
      const NetResult waited = WaitFor(Raw(made), Ready::Write, deadline);
      if (waited != NetResult::Done) return waited;
    }
  }
}

NetResult BindUdp(NetAddress local, const std::string& net_interface, Socket& bound) {
  return MakeBound(SOCK_DGRAM, local, net_interface, true, bound);
}

NetResult ReceiveDatagram(const Socket& socket, std::span<std::uint8_t> buffer, Deadline deadline,
                          std::size_t& got, NetAddress& from) {
  for (;;) {
    sockaddr_in address{};
    int size = sizeof address;
    const int read =
        ::recvfrom(Raw(socket), reinterpret_cast<char*>(buffer.data()), Chunk(buffer.size()), 0,
                   reinterpret_cast<sockaddr*>(&address), &size);
    if (read >= 0) {
      got = static_cast<std::size_t>(read);
      from = FromSockaddr(address);
      return NetResult::Done;
    }
    const int error = ::WSAGetLastError();
    // An earlier datagram of this socket that found no listener is reported
    // on the next receive (WSAECONNRESET): not this wait's failure.
    if (error != WSAECONNRESET && error != WSAEWOULDBLOCK && error != WSAEINTR) {
      return FailWith(error);
    }
    if (deadline.Passed()) return TimeOut();
    const NetResult waited = WaitFor(Raw(socket), Ready::Read, deadline);
    if (waited != NetResult::Done) return waited;
  }
}

void NotifyListening() {
  // No service manager waits on Windows: the scheduled task starts the
  // program and waits for nothing.
}

}  // namespace zp
