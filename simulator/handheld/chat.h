// The handheld's side of an older handheld's serial line, before PPP: it
// sends CLIENT (again while nothing answers) and waits for the desktop's
// CLIENTSERVER; or, as a handheld that already runs PPP, sends a PPP flag
// at once.
#pragma once

#include "simulator/handheld/options.h"

namespace zp::handheld {

/// Plays the exchange on `options.chat_tty`; the exit code (0: done, 1: no
/// answer in --wait-ms, or the tty could not be used).
int RunChat(const Options& options);

}  // namespace zp::handheld
