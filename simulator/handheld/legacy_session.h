// One session of an older handheld: a connection the desktop made to the
// handheld's session port. Locked, it starts with the desktop's password,
// answered with one byte; then requests of the older remote API are read
// one frame at a time, served and answered, until the desktop closes it,
// the link is lost or a request cannot be read.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/sockets.h"
#include "simulator/handheld/identity.h"
#include "simulator/handheld/legacy_calls.h"
#include "simulator/handheld/options.h"
#include "simulator/handheld/session_io.h"

namespace zp::handheld {

class LegacySession {
 public:
  LegacySession(Socket socket, int number, LegacyCalls& calls, const Options& options,
                const Identity& identity, SpoiledReply& spoil);
  ~LegacySession();
  LegacySession(const LegacySession&) = delete;
  LegacySession& operator=(const LegacySession&) = delete;

  /// Serves what waits on the connection. False when the session is over
  /// (the connection is then closed).
  bool OnReadable();

  const Socket& socket() const { return socket_; }

 private:
  /// The locked handheld's password, answered; false when refused.
  bool OnPassword();
  void Say(const std::string& text) const;

  Socket socket_;
  SessionLine line_;
  LegacyCalls& calls_;
  const Identity& identity_;
  SpoiledReply& spoil_;
  SessionOwned owned_;
  bool awaiting_password_;
  int calls_served_ = 0;
  bool stalled_ = false;  ///< a stalled reply: everything after it is read and dropped
};

}  // namespace zp::handheld
