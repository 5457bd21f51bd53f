// The Windows desktop's waits on its sockets: select, bounded by a deadline
// on the monotonic clock, never by a span restarted at each call.
#include <chrono>

#include "platform/win32/win32_socket_setup.h"

namespace zp {
namespace win32_sockets {
namespace {

timeval ToTimeval(int ms) {
  timeval value{};
  value.tv_sec = ms / 1000;
  value.tv_usec = (ms % 1000) * 1000;
  return value;
}

}  // namespace

NetResult WaitFor(SOCKET socket, Ready ready, Deadline deadline) {
  for (;;) {
    fd_set wanted;
    fd_set failed;
    FD_ZERO(&wanted);
    FD_ZERO(&failed);
    FD_SET(socket, &wanted);
    FD_SET(socket, &failed);
    timeval wait = ToTimeval(deadline.LeftMs());
    // The failure set says a connection could not be made; on a connected
    // socket it would only mean urgent data, which the handheld never sends
    // and recv never returns, so it is asked for the connect alone.
    const int count = ready == Ready::Read    ? ::select(0, &wanted, nullptr, nullptr, &wait)
                      : ready == Ready::Write ? ::select(0, nullptr, &wanted, nullptr, &wait)
                                              : ::select(0, nullptr, &wanted, &failed, &wait);
    // The system's timer may end a select a little early: wait on for the rest.
    if (count == 0) {
      if (deadline.Passed()) return TimeOut();
      continue;
    }
    if (count == SOCKET_ERROR) {
      if (::WSAGetLastError() != WSAEINTR) return Fail();
      // Interrupted: waited on, or, once the deadline has passed, a timeout.
      if (deadline.Passed()) return TimeOut();
      continue;
    }
    if (ready == Ready::Connect) {
      // The connection's own error says whether it was made, and if not, why
      // (refused, unreachable): asked whichever set the socket came in.
      int error = 0;
      int size = sizeof error;
      if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0) {
        return Fail();
      }
      if (error != 0) return FailWith(error);
      if (FD_ISSET(socket, &failed)) return FailWith(WSAECONNREFUSED);
    }
    return NetResult::Done;
  }
}

}  // namespace win32_sockets

using win32_sockets::Fail;
using win32_sockets::Raw;
using win32_sockets::TimeOut;

NetResult WaitReadable(std::span<const Socket* const> sockets, Deadline deadline,
                       std::size_t& ready) {
  for (;;) {
    fd_set readable;
    FD_ZERO(&readable);
    bool any = false;
    for (const Socket* socket : sockets) {
      // Winsock's sets hold FD_SETSIZE sockets; the link waits on a handful.
      if (socket == nullptr || !*socket || readable.fd_count >= FD_SETSIZE) continue;
      FD_SET(Raw(*socket), &readable);
      any = true;
    }
    if (!any) {
      // select refuses empty sets: the wait is a sleep.
      ::Sleep(static_cast<DWORD>(deadline.LeftMs()));
      if (deadline.Passed()) return TimeOut();
      continue;
    }
    // A closed connection or a pending connection on a listener is readable too.
    timeval wait = win32_sockets::ToTimeval(deadline.LeftMs());
    const int count = ::select(0, &readable, nullptr, nullptr, &wait);
    if (count == SOCKET_ERROR) {
      if (::WSAGetLastError() != WSAEINTR) return Fail();
      if (deadline.Passed()) return TimeOut();
      continue;
    }
    for (std::size_t i = 0; i < sockets.size(); ++i) {
      if (sockets[i] != nullptr && *sockets[i] && FD_ISSET(Raw(*sockets[i]), &readable)) {
        ready = i;
        return NetResult::Done;
      }
    }
    if (deadline.Passed()) return TimeOut();
  }
}

std::int64_t MonotonicMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace zp
