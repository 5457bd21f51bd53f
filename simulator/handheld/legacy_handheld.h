// An older handheld on the wire (Pocket PC 2000/2002/2003): it listens on
// its own session port, dials the desktop's control port, says who it is
// (and, locked, takes the desktop's password), echoes the desktop's pings,
// and serves every session the desktop opens, all on one thread, until the
// control connection closes, nothing happens for --idle-ms, or SIGTERM.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "link/legacy_info.h"
#include "platform/sockets.h"
#include "simulator/handheld/identity.h"
#include "simulator/handheld/legacy_calls.h"
#include "simulator/handheld/legacy_session.h"
#include "simulator/handheld/options.h"
#include "simulator/handheld/session.h"
#include "simulator/simulated_device.h"

namespace zp::handheld {

/// How often the handheld dials a desktop whose control port is not open yet.
inline constexpr int kLegacyDialGapMs = 250;
/// Refused passwords the desktop may give on the control connection.
inline constexpr int kLegacyPasswordTries = 3;

class LegacyHandheld {
 public:
  LegacyHandheld(Options options, Identity identity, link::LegacyInfo info);
  int Run();

 private:
  // legacy_handheld.cpp: the session port, the dial, the loop, the sessions.
  bool Listen();
  bool Dial();
  void Loop();
  void OnSessionConnection();
  /// legacy-second-control: a second connection to the desktop's control
  /// port, held open while the first one serves.
  void DialSecondControl();

  // legacy_control.cpp: the control connection.
  /// The first word, the info packet's length and the packet (or a hostile one).
  std::vector<std::uint8_t> Opening() const;
  bool SendOpening();
  /// One word or password from the desktop; false when the control
  /// connection is over.
  bool OnControl();
  bool OnPasswordAttempt();

  Options options_;
  Identity identity_;
  link::LegacyInfo info_;
  SimulatedDevice device_;
  LegacyCalls calls_;
  bool rapi_open_ = false;  ///< CeRapiInit succeeded
  Socket listener_;
  Socket control_;
  Socket second_control_;
  std::vector<std::unique_ptr<LegacySession>> sessions_;
  bool awaiting_password_ = false;
  int refusals_ = 0;
  int sessions_opened_ = 0;
  SpoiledReply spoil_;
  std::int64_t last_traffic_ = 0;
  int exit_code_ = 0;
};

}  // namespace zp::handheld
