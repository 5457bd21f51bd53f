// The desktop's side of the older handhelds' text exchange on their serial
// line (Pocket PC 2000/2002/2003): the handheld writes CLIENT, the desktop
// answers CLIENTSERVER, and PPP starts on the same line. zamopocket-chat
// runs this as pppd's connect program, the line being its standard input
// and output, already opened and made raw by pppd.
#pragma once

#include "platform/sockets.h"

namespace zp::chat {

enum class ChatOutcome {
  Answered,    ///< CLIENT read and CLIENTSERVER written: PPP may start
  PppRunning,  ///< a PPP frame's flag came before CLIENT: PPP may start, no answer
  NoClient,    ///< kChatMaxBytes read, none of them completing CLIENT
  TimedOut,    ///< the deadline came first
  LineClosed,  ///< the line ended (hang-up, end of file) first
  Failed,      ///< reading or writing the line failed (errno says why)
};

/// Reads the line on `read_fd` until CLIENT (anywhere, across reads: a NUL,
/// noise or repeats may come before it) and answers on `write_fd`; or until
/// a `~`, kChatMaxBytes bytes, the line's end or `deadline`. Reads no byte
/// past kChatMaxBytes, keeps none of them, and writes nothing but the
/// answer.
ChatOutcome RunChat(int read_fd, int write_fd, Deadline deadline);

/// Whether PPP may start on the line after this outcome.
inline bool ChatSucceeded(ChatOutcome outcome) {
  return outcome == ChatOutcome::Answered || outcome == ChatOutcome::PppRunning;
}

}  // namespace zp::chat
