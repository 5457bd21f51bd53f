// The handheld on the wire: waits for the desktop's trigger, opens its
// control connection and says who it is, then answers the desktop's
// control requests and serves every session it asks for, all on one
// thread, until the control connection closes, nothing happens for
// --idle-ms, or SIGTERM.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/sockets.h"
#include "simulator/handheld/identity.h"
#include "simulator/handheld/options.h"
#include "simulator/handheld/rapi_calls.h"
#include "simulator/handheld/session.h"
#include "simulator/simulated_device.h"

namespace zp::handheld {

/// Exit codes.
inline constexpr int kExitEnded = 0;
inline constexpr int kExitNoLink = 1;
inline constexpr int kExitUsage = 2;

class Handheld {
 public:
  Handheld(Options options, Identity identity);
  int Run();

 private:
  // handheld.cpp: the trigger, the loop, the sessions.
  bool AwaitTrigger();
  /// The bad-first mode's connection: a broken handshake, then closed.
  void SendBadFirst();
  /// Waits, doing nothing, until idle or stopped (never-connect, info-over-cap).
  void Linger(const Socket* open);
  void Loop();
  void OpenSession(std::uint32_t request);
  /// The reconnect mode: a new control connection, its handshake, and the
  /// old one closed.
  void Reconnect();

  // control.cpp: the control connection.
  enum class Step { Go, Ended, Failed };
  Step Handshake();
  /// The desktop's answer of `count` words to a request.
  Step Expect(const char* what, std::span<const std::uint32_t> expected);
  std::vector<std::uint8_t> InfoPacket() const;
  /// One control request; false when the control connection is over.
  bool OnControl();
  bool OnUnlockRequest();
  bool OnPasswordAttempt();
  bool OnSessionRequest();
  bool Locked() const { return lock_ != Lock::None; }

  enum class Lock { None, OnDevice, Password };

  Options options_;
  Identity identity_;
  SimulatedDevice device_;
  RapiCalls calls_;
  bool rapi_open_ = false;  ///< CeRapiInit succeeded
  Socket control_;
  std::vector<std::unique_ptr<Session>> sessions_;
  Lock lock_ = Lock::None;
  bool second_info_due_ = false;
  bool reconnect_due_ = false;
  bool reconnect_at_request_due_ = false;
  SpoiledReply spoil_;
  std::int64_t last_traffic_ = 0;
};

}  // namespace zp::handheld
