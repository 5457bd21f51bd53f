// The handheld's control connection (Windows Mobile 5 and later): the
// listener, the trigger, the handshake and device info, the lock, the
// keepalive, and the requests for session connections. Every wait is
// bounded; every peer but the handheld is refused.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/device_info.h"
#include "link/link_timeouts.h"
#include "platform/sockets.h"

namespace zp::link {

/// Where the link runs.
struct LinkConfig {
  NetAddress listen;                      ///< the desktop's address, port 990
  std::vector<std::uint32_t> trigger_to;  ///< where the trigger is sent (port 5679)
  /// The handheld's address: the only peer taken. None: the first peer that
  /// connects on `interface` is the handheld.
  std::optional<std::uint32_t> device;
  std::string net_interface;  ///< every socket bound to it, when not empty
  LinkTimeouts timeouts;
};

class ControlLink {
 public:
  explicit ControlLink(LinkConfig config) : config_(std::move(config)) {}

  /// Listens, triggers, and takes the handheld's control connection up to
  /// its device info. False (logged) when no handheld connected in time or
  /// its handshake failed.
  bool Connect();
  const DeviceInfo& info() const { return info_; }
  const LinkConfig& config() const { return config_; }

  enum class Unlocking { Open, Refused, Failed };
  /// Opens the handheld for sessions: nothing to do, the user unlocking it
  /// (bounded), or the desktop password, when one is given. Refused: the
  /// handheld refused the password; Failed (logged, but for a missing
  /// password): it stays locked.
  Unlocking Unlock(const std::optional<std::string>& password);

  /// Asks the handheld for a session connection and waits for it. Empty
  /// (logged) when none came.
  Socket OpenSession();

  /// Waits until `session` can be read, at most `timeout_ms`, answering the
  /// control connection and refusing strangers meanwhile; pings when due.
  /// Failed when the handheld is gone.
  NetWait WaitForSession(const Socket& session, int timeout_ms);

  /// Closes every connection and the listener.
  void Close();

 private:
  enum class Step { Went, Unlocked, Gone };

  bool SendTrigger();
  bool SendWords(const Socket& to, std::initializer_list<std::uint32_t> words);
  std::optional<std::uint32_t> ReadWord(const Socket& from, int timeout_ms);
  /// The handshake on a new control connection up to its device info.
  std::optional<DeviceInfo> Handshake(const Socket& connection);
  /// One request on the control connection.
  Step Dispatch(std::uint32_t request);
  /// A new connection on the listener: refused, a new control connection,
  /// or (returned) the session connection asked for.
  Socket TakeConnection(Socket connection, NetAddress peer);
  /// Everything readable on the control connection and the listener.
  Step ServiceOnce(const Socket* session, int timeout_ms, bool& session_ready);
  void PingIfDue();

  LinkConfig config_;
  Socket listener_;
  Socket control_;
  DeviceInfo info_;
  std::uint32_t next_request_ = 1;
  std::uint32_t pending_request_ = 0;  // the session number asked for, 0: none
  Socket arrived_session_;
  std::int64_t last_ping_ = 0;
};

}  // namespace zp::link
