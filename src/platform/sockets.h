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

/// What a bounded wait came to.
enum class NetWait { Done, TimedOut, Failed };

/// The text of the last socket failure of this thread, for a log line.
std::string SocketFailureText();

/// A TCP listener on `local`, bound to the network interface `net_interface`
/// when it is not empty (then only that interface's traffic reaches it).
/// `net_interface` everywhere: on Linux the interface's name
/// (SO_BINDTODEVICE); on Windows its interface index in decimal (what the
/// socket sends leaves through that adapter, IP_UNICAST_IF; the bind to the
/// adapter's own address ties what it receives to it).
/// Empty on failure.
Socket ListenTcp(NetAddress local, const std::string& net_interface);

/// Accepts one connection, waiting at most `timeout_ms`. The connection has
/// TCP_NODELAY and SO_KEEPALIVE set; `peer` is where it came from.
NetWait AcceptTcp(const Socket& listener, int timeout_ms, Socket& accepted, NetAddress& peer);

/// Connects from `local` (port 0: any) to `to`, bound to `net_interface` when
/// not empty, waiting at most `timeout_ms`. TCP_NODELAY is set.
Socket ConnectTcp(NetAddress local, NetAddress to, const std::string& net_interface,
                  int timeout_ms);

/// How long a send waits for a peer that does not read.
inline constexpr int kSendTimeoutMs = 120'000;

/// Sends every byte (short writes and interrupted calls looped; a reset
/// peer is a failure, never a signal), waiting at most `timeout_ms` for
/// room each time the peer's buffers are full. False when the connection
/// failed or the peer stopped reading.
bool SendAll(const Socket& socket, std::span<const std::uint8_t> bytes,
             int timeout_ms = kSendTimeoutMs);

/// Receives exactly `buffer.size()` bytes, waiting at most `timeout_ms` for
/// each part to arrive. Failed when the peer closed or the connection broke.
NetWait ReceiveAll(const Socket& socket, std::span<std::uint8_t> buffer, int timeout_ms);

/// Receives what has arrived, up to `buffer.size()` bytes, waiting at most
/// `timeout_ms` for the first of them; their count in `got`. Failed when
/// the peer closed or the connection broke.
NetWait ReceiveSome(const Socket& socket, std::span<std::uint8_t> buffer, int timeout_ms,
                    std::size_t& got);

/// Sends one UDP datagram from `local` (port 0: any) to `to`, bound to
/// `net_interface` when not empty; broadcast allowed.
bool SendDatagram(NetAddress local, NetAddress to, const std::string& net_interface,
                  std::span<const std::uint8_t> bytes);

/// A UDP socket bound to `local` (the handheld's side, waiting for the
/// trigger). Empty on failure.
Socket BindUdp(NetAddress local, const std::string& net_interface);
/// Receives one datagram into `buffer`, waiting at most `timeout_ms`; its
/// size in `got`.
NetWait ReceiveDatagram(const Socket& socket, std::span<std::uint8_t> buffer, int timeout_ms,
                        std::size_t& got, NetAddress& from);

/// Waits at most `timeout_ms` until one of `sockets` (empty ones skipped)
/// can be read, or has closed. The index of the first such; -1 when the
/// time ran out or the wait failed.
int WaitReadable(std::span<const Socket* const> sockets, int timeout_ms);

/// A monotonic clock in milliseconds, for the link's deadlines.
std::int64_t MonotonicMs();

}  // namespace zp
