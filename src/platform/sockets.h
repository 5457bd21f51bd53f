// The desktop's sockets, as the handheld's link uses them: a TCP listener,
// accepted connections, whole-buffer sends and bounded receives, a UDP
// datagram, and a wait on several sockets at once. IPv4 only: the handheld's
// link has no other. One implementation is linked in (posix/ or win32/).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zp {

/// An IPv4 address (host byte order) and a port.
struct NetAddress {
  std::uint32_t ip = 0;
  std::uint16_t port = 0;
  bool operator==(const NetAddress&) const = default;
};

/// "a.b.c.d" to an address; nothing for anything else.
std::optional<std::uint32_t> ParseIpv4(std::string_view text);
std::string FormatIpv4(std::uint32_t ip);

/// An open socket; closed when it goes out of scope.
class Socket {
 public:
  Socket() noexcept = default;
  explicit Socket(std::intptr_t handle) noexcept : handle_(handle) {}
  Socket(Socket&& other) noexcept : handle_(other.release()) {}
  Socket& operator=(Socket&& other) noexcept;
  ~Socket();
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  explicit operator bool() const noexcept { return handle_ != kNone; }
  std::intptr_t handle() const noexcept { return handle_; }
  std::intptr_t release() noexcept {
    const std::intptr_t handle = handle_;
    handle_ = kNone;
    return handle;
  }
  void Close() noexcept;

  static constexpr std::intptr_t kNone = -1;

 private:
  std::intptr_t handle_ = kNone;
};

/// What a socket operation came to: the one result of every call here.
/// Done: it did all it was asked. TimedOut: its deadline came first (or,
/// for a send, the peer stopped reading). Failed: the socket or the
/// connection failed, or the peer closed; SocketFailureText() says why.
enum class NetResult { Done, TimedOut, Failed };

/// A moment on the monotonic clock by which a whole operation must be
/// done: a wait is for all of it, never restarted after each part.
struct Deadline {
  std::int64_t at_ms = 0;

  /// `ms` from now (negative: already passed).
  static Deadline In(std::int64_t ms);
  /// Now: an operation with this deadline takes only what is there.
  static Deadline Now() { return In(0); }
  /// The milliseconds left, 0 once passed, at most a day.
  int LeftMs() const;
  bool Passed() const { return LeftMs() == 0; }
  Deadline Earlier(Deadline other) const { return other.at_ms < at_ms ? other : *this; }
};

/// The text of the last socket failure of this thread, for a log line.
std::string SocketFailureText();

/// A TCP listener on `local`, bound to the network interface `net_interface`
/// when it is not empty (then only that interface's traffic reaches it). On
/// Linux `local` need not be an address of the machine yet (IP_FREEBIND):
/// a serial handheld's point-to-point address comes only with its PPP
/// link, and the handheld dials as soon as that is up.
/// `net_interface` everywhere: on Linux the interface's name
/// (SO_BINDTODEVICE); on Windows its interface index in decimal (what the
/// socket sends leaves through that adapter, IP_UNICAST_IF; the bind to the
/// adapter's own address ties what it receives to it).
NetResult ListenTcp(NetAddress local, const std::string& net_interface, Socket& listener);

/// Tells a service manager that waits for this program (systemd's
/// Type=notify, through $NOTIFY_SOCKET) that its listeners exist; nothing
/// where none waits.
void NotifyListening();

/// Accepts one connection by `deadline`. The connection has TCP_NODELAY and
/// SO_KEEPALIVE set; `peer` is where it came from. A connection that went
/// away before it was taken is skipped.
NetResult AcceptTcp(const Socket& listener, Deadline deadline, Socket& accepted, NetAddress& peer);

/// Connects from `local` (port 0: any) to `to`, bound to `net_interface` when
/// not empty, by `deadline`. TCP_NODELAY is set.
NetResult ConnectTcp(NetAddress local, NetAddress to, const std::string& net_interface,
                     Deadline deadline, Socket& connected);

/// Sends every byte by `deadline` (short writes and interrupted calls looped;
/// a reset peer is a failure, never a signal). TimedOut when the peer did not
/// take them all in time.
NetResult SendAll(const Socket& socket, std::span<const std::uint8_t> bytes, Deadline deadline);

/// Receives exactly `buffer.size()` bytes, all of them by `deadline`.
NetResult ReceiveAll(const Socket& socket, std::span<std::uint8_t> buffer, Deadline deadline);

/// Receives what has arrived, up to `buffer.size()` bytes, waiting until
/// `deadline` for the first of them; their count in `got`.
NetResult ReceiveSome(const Socket& socket, std::span<std::uint8_t> buffer, Deadline deadline,
                      std::size_t& got);

/// Sends one UDP datagram from `local` (port 0: any) to `to`, bound to
/// `net_interface` when not empty; broadcast allowed.
NetResult SendDatagram(NetAddress local, NetAddress to, const std::string& net_interface,
                       std::span<const std::uint8_t> bytes);

/// A UDP socket bound to `local` (the handheld's side, waiting for the
/// trigger).
NetResult BindUdp(NetAddress local, const std::string& net_interface, Socket& bound);
/// Receives one datagram into `buffer` by `deadline`; its size in `got`.
NetResult ReceiveDatagram(const Socket& socket, std::span<std::uint8_t> buffer, Deadline deadline,
                          std::size_t& got, NetAddress& from);

/// Waits until one of `sockets` (empty ones and null skipped) can be read,
/// or has closed, by `deadline`; the index of the first such in `ready`.
/// Failed when the wait itself failed (never taken for a timeout).
NetResult WaitReadable(std::span<const Socket* const> sockets, Deadline deadline,
                       std::size_t& ready);

/// A monotonic clock in milliseconds, for the link's deadlines.
std::int64_t MonotonicMs();

}  // namespace zp
