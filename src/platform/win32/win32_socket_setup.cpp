// How the Windows desktop makes its sockets (Winsock 2 over IPv4), and what
// it says when that fails. The entry point starts Winsock (WSAStartup) before
// any call here and cleans it up after.
//
// `net_interface` (sockets.h) is, on Windows, the adapter's interface index in
// decimal ("12"): every socket is bound to the adapter's own address, which
// already ties the listener and its connections to that adapter, and
// IP_UNICAST_IF makes what the socket sends (the trigger, the connection to
// the handheld) leave through that adapter even when another one has the
// same addresses (every handheld gives the same ones). Empty: no index.
#include "platform/win32/win32_socket_setup.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <utility>

#include "platform/platform.h"

namespace zp {
namespace win32_sockets {
namespace {

thread_local int last_socket_error = 0;
// What the last failure means for the link, when it means more than its code.
thread_local const char* last_socket_note = nullptr;

// The interface index `net_interface` names (decimal); nothing when it names none.
std::optional<DWORD> InterfaceIndex(const std::string& net_interface) {
  DWORD index = 0;
  const char* end = net_interface.data() + net_interface.size();
  const auto [at, error] = std::from_chars(net_interface.data(), end, index);
  if (error != std::errc() || at != end || index == 0) return std::nullopt;
  return index;
}

}  // namespace

NetResult Fail() {
  return FailWith(::WSAGetLastError());
}

NetResult FailWith(int code) {
  last_socket_error = code;
  last_socket_note = nullptr;
  return NetResult::Failed;
}

NetResult TimeOut() {
  FailWith(WSAETIMEDOUT);
  return NetResult::TimedOut;
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

NetResult SetOption(SOCKET socket, int level, int name, int value) {
  if (::setsockopt(socket, level, name, reinterpret_cast<const char*>(&value), sizeof value) != 0) {
    return Fail();
  }
  return NetResult::Done;
}

NetResult SetNonBlocking(SOCKET socket) {
  u_long on = 1;
  return ::ioctlsocket(socket, FIONBIO, &on) == 0 ? NetResult::Done : Fail();
}

NetResult MakeBound(int type, NetAddress local, const std::string& net_interface, bool exclusive,
                    Socket& made) {
  const int protocol = type == SOCK_STREAM ? IPPROTO_TCP : IPPROTO_UDP;
  Socket socket(static_cast<std::intptr_t>(
      ::WSASocketW(AF_INET, type, protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT)));
  if (!socket) return Fail();
  const SOCKET raw = Raw(socket);
  if (SetNonBlocking(raw) != NetResult::Done) return NetResult::Failed;
  // Never SO_REUSEADDR on Windows: it lets another program bind the same
  // port and take the handheld's connections. Exclusive use refuses that.
  if (exclusive && SetOption(raw, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, 1) != NetResult::Done) {
    return NetResult::Failed;
  }
  if (!net_interface.empty()) {
    const auto index = InterfaceIndex(net_interface);
    if (!index) return FailWith(WSAEINVAL);
    // IP_UNICAST_IF takes an IPv4 interface index in network byte order.
    const DWORD value = ::htonl(*index);
    if (::setsockopt(raw, IPPROTO_IP, IP_UNICAST_IF, reinterpret_cast<const char*>(&value),
                     sizeof value) != 0) {
      return Fail();
    }
  }
  const sockaddr_in address = ToSockaddr(local);
  if (::bind(raw, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    Fail();
    // Where WMDC is installed its services hold port 990 on the handheld's
    // address: the link is theirs, and their DLLs are the way to the device.
    if (last_socket_error == WSAEADDRINUSE || last_socket_error == WSAEACCES) {
      last_socket_note =
          "the port is held by another program; where WMDC is installed its services hold "
          "port 990, and its DLLs are the way to the handheld";
    }
    return NetResult::Failed;
  }
  made = std::move(socket);
  return NetResult::Done;
}

}  // namespace win32_sockets

std::string SocketFailureText() {
  using win32_sockets::last_socket_error;
  using win32_sockets::last_socket_note;
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

}  // namespace zp
