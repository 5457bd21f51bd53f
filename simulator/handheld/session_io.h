// What both generations' session connections do alike: requests read one
// frame at a time, the stalled connection drained, and replies sent, one
// of them spoiled when a hostile mode asks for it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sockets.h"
#include "simulator/handheld/hostile.h"

namespace zp::handheld {

/// The hostile reply still to be given (once a run), if any.
struct SpoiledReply {
  Hostile mode = Hostile::None;
  int at = 1;  ///< the session's call number (from 1)
};

/// A session's connection as its requests and replies use it.
struct SessionLine {
  const Socket& socket;
  std::string who;  ///< "session N", for the log
  int io_ms;
  int trickle_ms;
};

/// After a stalled reply: reads and drops what comes. False once the
/// desktop closed the connection.
bool DrainStalled(const SessionLine& line);

/// Reads one request frame into `body`. False (logged) when the desktop
/// closed, the frame did not come whole in time, or its size is refused.
bool ReadRequest(const SessionLine& line, std::vector<std::uint8_t>& body);

/// Sends the reply frame of call `call`, spoiled when it is the call to
/// spoil; `flag_word`: the older link's replies, whose flag word follows
/// the length. False when the session ends with it; a stall sets
/// `stalled`.
bool SendReply(const SessionLine& line, std::vector<std::uint8_t> frame, SpoiledReply& spoil,
               int call, bool flag_word, bool& stalled);

}  // namespace zp::handheld
