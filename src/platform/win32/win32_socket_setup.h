// What the Windows socket files share: the failure record behind
// SocketFailureText, Winsock's addresses, a new socket made and bound as the
// link wants it, and the wait on one socket. Private to src/platform/win32/.
#pragma once

// windows_api.h first: the lean <windows.h>, whose headers never define
// the macro `interface`, then Winsock 2.
#include "platform/win32/windows_api.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <string>

#include "platform/sockets.h"

namespace zp::win32_sockets {

/// Failed, with Winsock's last error as the reason SocketFailureText gives.
NetResult Fail();
/// Failed, with `code` as the reason.
NetResult FailWith(int code);
/// TimedOut, with WSAETIMEDOUT as the reason (a log line then says so).
NetResult TimeOut();

inline SOCKET Raw(const Socket& socket) {
  return static_cast<SOCKET>(socket.handle());
}

/// A send or receive length as Winsock takes it.
inline int Chunk(std::size_t size) {
  return static_cast<int>(std::min<std::size_t>(size, INT_MAX));
}

sockaddr_in ToSockaddr(NetAddress address);
NetAddress FromSockaddr(const sockaddr_in& in);

/// An int socket option; Failed (with the reason recorded) when refused.
NetResult SetOption(SOCKET socket, int level, int name, int value);
NetResult SetNonBlocking(SOCKET socket);

/// A new socket of `type` (SOCK_STREAM or SOCK_DGRAM), not inherited by
/// programs this one starts, non-blocking, tied to the adapter
/// `net_interface` names (when not empty) and bound to `local`; `exclusive`
/// refuses any other program the same port.
NetResult MakeBound(int type, NetAddress local, const std::string& net_interface, bool exclusive,
                    Socket& made);

enum class Ready { Read, Write, Connect };

/// Waits by `deadline` for one socket to be readable, writable, or connected
/// (a refused connection: Failed, with the connection's own error). Once
/// the deadline has passed it only looks whether the socket is ready.
NetResult WaitFor(SOCKET socket, Ready ready, Deadline deadline);

}  // namespace zp::win32_sockets
