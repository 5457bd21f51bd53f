// A minimal desktop for zp-handheld's tests, written with raw sockets and
// the wire reader and writer only: the trigger, the control handshake,
// sessions, and remote API calls whose replies the tests take apart.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/device_info.h"
#include "link/wire.h"
#include "platform/sockets.h"

namespace zp::test {

/// How long any wait of the tests' desktop lasts at most.
inline constexpr int kTestWaitMs = 10000;

/// Loopback addresses of this test process: 127.X.Y.1 the desktop,
/// 127.X.Y.2 the handheld, X.Y from the pid, so that parallel tests do not
/// share port 990.
struct LoopbackPair {
  std::uint32_t desktop = 0;
  std::uint32_t device = 0;
};
LoopbackPair PickAddresses();

class DesktopSide {
 public:
  /// Listens on the desktop's address, on port 990 when it can (else an
  /// unprivileged port, passed to the handheld with --port).
  DesktopSide();

  const LoopbackPair& addresses() const { return addresses_; }
  std::uint16_t port() const { return port_; }
  /// The command line's address options for zp-handheld.
  std::vector<std::string> AddressArgs() const;

  /// Sends the trigger until the handheld connects; false when it never did.
  bool AcceptControl();
  /// Answers the hello and the version request and reads the device info.
  /// Nothing when the handshake did not go as it should; `problem` says why.
  std::optional<link::DeviceInfo> Handshake(std::string& problem);

  /// Control words.
  bool Send(std::initializer_list<std::uint32_t> words);
  std::optional<std::uint32_t> ReadWord(int timeout_ms = kTestWaitMs);
  Socket& control() { return control_; }

  /// Asks for session `request` and takes the connection that answers;
  /// `first_word` is the number it sent. Empty when none came in time.
  Socket OpenSession(std::uint32_t request, std::uint32_t* first_word = nullptr,
                     int timeout_ms = kTestWaitMs);

 private:
  LoopbackPair addresses_;
  std::uint16_t port_ = 990;
  Socket listener_;
  Socket control_;
};

/// A request frame of `command`; the arguments are added to it.
link::WireWriter Request(std::uint32_t command);

/// Sends a request and reads its reply's body (after L). Nothing when the
/// connection closed or the reply did not come whole.
std::optional<std::vector<std::uint8_t>> Call(const Socket& session, link::WireWriter request);

/// True when the peer closed the connection without sending a byte more.
/// SendAll and ReceiveAll with a wait from now.
bool SendWithin(const Socket& connection, std::span<const std::uint8_t> bytes,
                int timeout_ms = kTestWaitMs);
NetResult ReceiveWithin(const Socket& connection, std::span<std::uint8_t> buffer, int timeout_ms);

bool ClosedWithNothing(const Socket& connection, int timeout_ms = kTestWaitMs);

/// Reads a reply frame's body (L capped at 64 MiB); nothing when closed.
std::optional<std::vector<std::uint8_t>> ReadFrame(const Socket& connection);

}  // namespace zp::test
