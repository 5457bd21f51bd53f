// The handheld's control connection (Windows Mobile 5 and later): the
// listener, the trigger, the handshake and device info, the lock, the
// keepalive, and the requests for session connections. Every wait is
// bounded; every peer but the handheld is refused.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/device_info.h"
#include "link/link_noise.h"
#include "link/link_timeouts.h"
#include "platform/sockets.h"

namespace zp::link {

/// Where the link runs.
struct LinkConfig {
  NetAddress listen;                      ///< the desktop's address, port 990
  std::vector<std::uint32_t> trigger_to;  ///< where the trigger is sent (port 5679)
  /// The handheld's address: the only peer taken. None: the first peer that
  /// passes its handshake on `interface` is the handheld, when it comes from
  /// `peer_network` and is none of `own_addresses`.
  std::optional<std::uint32_t> device;
  /// With no `device`: the /24 network a handheld comes from (none: any).
  std::optional<std::uint32_t> peer_network;
  /// With no `device`: this machine's own addresses. A peer with one of
  /// them (or any of 127.0.0.0/8) is a local program, never the handheld.
  std::vector<std::uint32_t> own_addresses;
  std::string net_interface;  ///< every socket bound to it, when not empty
  LinkTimeouts timeouts;
  /// Where an older handheld's control connection is taken too (5679); 0:
  /// not at all (Windows, where those handhelds go through the DLLs).
  std::uint16_t legacy_control_port = 0;
  /// The older handheld's own port the desktop dials for each session.
  std::uint16_t legacy_session_port = 990;
};

/// Whether a connection from `peer` may be the handheld's.
bool PeerMayBeHandheld(const LinkConfig& config, std::uint32_t peer);

class ControlLink {
 public:
  explicit ControlLink(LinkConfig config) : config_(std::move(config)) {}

  /// Takes an older handheld's control connection, accepted on the legacy
  /// control port: true when its handshake passed and the link is that
  /// handheld's (it may take the listener, to refuse a second connection).
  using LegacyTaker = std::function<bool(Socket& connection, NetAddress peer, Socket& listener)>;

  /// Listens (on the legacy control port too, when one is set), triggers,
  /// and takes the first handheld whose handshake passes: a newer one's
  /// control connection up to its device info, or an older one through
  /// `take_legacy`. A peer that fails its handshake is dropped and the wait
  /// goes on. False (logged) when no handheld came through in time.
  bool Connect(const LegacyTaker& take_legacy = {});
  /// Whether the handheld that came is an older one (taken by the taker).
  bool Legacy() const { return legacy_; }
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

  /// Waits until `session` can be read, by `deadline`, answering the
  /// control connection and refusing strangers meanwhile; pings when due.
  /// Failed when the handheld is gone.
  NetResult WaitForSession(const Socket& session, Deadline deadline);

  /// Closes every connection and the listener; logs what was only counted.
  void Close();

 private:
  enum class Step { Went, Info, Gone };

  bool SendTrigger();
  /// The handshake on a new control connection up to its device info, all
  /// of it by one deadline. Nothing, with `problem` set, when it failed.
  std::optional<DeviceInfo> Handshake(const Socket& connection, std::string& problem);
  /// One request on `connection`, answered by its value. With `info`, a
  /// device info is read into it (Step::Info; Step::Gone with `problem` when
  /// it does not add up); without, one is read past and ignored.
  Step Dispatch(const Socket& connection, std::uint32_t request, Deadline deadline,
                DeviceInfo* info, std::string& problem);
  /// A connection that is not the handheld's, or failed its handshake.
  void Refuse(const char* why, NetAddress peer);
  /// A new connection on the listener: refused, a new control connection,
  /// or (returned) the session connection asked for.
  Socket TakeConnection(Socket connection, NetAddress peer);
  /// Everything readable on the control connection and the listener.
  Step ServiceOnce(const Socket* session, Deadline deadline, bool& session_ready);
  void PingIfDue();

  LinkConfig config_;
  Socket listener_;
  Socket legacy_listener_;
  bool legacy_ = false;
  Socket control_;
  DeviceInfo info_;
  std::uint32_t next_request_ = 1;
  std::uint32_t pending_request_ = 0;  // the session number asked for, 0: none
  Socket arrived_session_;
  std::int64_t last_ping_ = 0;
  NoiseLimit noise_;
};

}  // namespace zp::link
