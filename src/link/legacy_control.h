// An older handheld's control connection (Pocket PC 2000/2002/2003), which
// it opens to the desktop's TCP 5679: its words up to the info packet, the
// desktop password, the keepalive, and the sessions the desktop dials on
// the handheld's own 990. Every wait is bounded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/control_link.h"
#include "link/legacy_info.h"
#include "link/link_noise.h"
#include "platform/sockets.h"

namespace zp::link {

class LegacyControl {
 public:
  LegacyControl(const LinkConfig& config, Socket connection, NetAddress peer)
      : config_(config), control_(std::move(connection)), peer_(peer) {}
  /// The control port's listener, kept to refuse a second connection.
  void KeepListener(Socket listener) { listener_ = std::move(listener); }

  /// The handheld's words up to its info packet, by one deadline. Nothing,
  /// with `problem` set, when they do not add up.
  std::optional<LegacyInfo> Handshake(std::string& problem);
  /// Whether the handheld asked for the desktop password (a challenge).
  bool Locked() const { return challenge_ != 0; }

  enum class Unlocking { Open, Refused, Failed };
  /// Sends the password on the control connection and reads its answer.
  Unlocking Unlock(const std::string& password);

  /// Dials the handheld's 990 for a session, again while it refuses (a
  /// handheld back from a disconnect may refuse for up to 40 s), and opens
  /// it with the password when locked. Empty (logged) when none opened;
  /// `refused` when the handheld refused the password.
  Socket OpenSession(const std::optional<std::string>& password, bool& refused);

  /// Waits until `session` can be read, by `deadline`, pinging every 5 s
  /// and reading the control connection meanwhile. Failed when the handheld
  /// is gone: its control connection closed, or three pings unanswered.
  NetResult WaitForSession(const Socket& session, Deadline deadline);

  void Close();

 private:
  /// What the control connection says while sessions run: echoes, a 0, or
  /// words of no meaning (logged, bounded). False when it is gone.
  bool ServiceControl();
  /// A second connection to the control port: refused while one is open.
  void RefuseSecond();
  bool PingIfDue();

  LinkConfig config_;
  Socket control_;
  Socket listener_;
  NetAddress peer_;
  std::uint32_t challenge_ = 0;
  std::optional<std::string> password_;
  std::int64_t last_ping_ = 0;
  int unanswered_ = 0;
  NoiseLimit noise_;
};

}  // namespace zp::link
