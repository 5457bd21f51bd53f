// A session connection of an older handheld.
#include "simulator/handheld/legacy_session.h"

#include <algorithm>
#include <string>
#include <utility>

#include "link/message_io.h"
#include "link/protocol.h"
#include "link/wire.h"
#include "simulator/handheld/legacy_identity.h"
#include "simulator/handheld/legacy_password.h"
#include "simulator/handheld/link_io.h"

namespace zp::handheld {
LegacySession::LegacySession(Socket socket, int number, LegacyCalls& calls, const Options& options,
                             const Identity& identity, SpoiledReply& spoil)
    : socket_(std::move(socket)),
      line_{socket_, "session " + std::to_string(number), options.io_ms, options.trickle_ms},
      calls_(calls),
      identity_(identity),
      spoil_(spoil),
      awaiting_password_(LegacyLocked(identity)) {}

LegacySession::~LegacySession() {
  calls_.Release(owned_);
}

void LegacySession::Say(const std::string& text) const {
  Log(line_.who + ": " + text);
}

bool LegacySession::OnPassword() {
  std::string problem;
  const auto accepted = ReadPasswordAttempt(socket_, identity_, line_.io_ms, problem);
  if (!accepted) {
    Say(problem + "; the session closes");
    return false;
  }
  Say(*accepted ? "password accepted" : "password refused; the session closes");
  const std::uint8_t answer[] = {static_cast<std::uint8_t>(*accepted ? 1 : 0)};
  if (!SendBytes(socket_, answer)) return false;
  awaiting_password_ = false;
  return *accepted;
}

bool LegacySession::OnReadable() {
  if (stalled_) return DrainStalled(line_);  // only the desktop's close is awaited
  if (awaiting_password_) return OnPassword();
  std::vector<std::uint8_t> body;
  if (!ReadRequest(line_, body)) return false;
  ++calls_served_;
  link::WireWriter reply = link::StartFrame();
  switch (calls_.Serve(body, reply, owned_)) {
    case Served::Reply:
      return SendReply(line_, link::FinishFrame(std::move(reply)), spoil_, calls_served_, true,
                       stalled_);
    case Served::LinkLost:
      Say("the link is lost; the connection closes with no reply");
      return false;
    case Served::Unreadable:
      Say("a request with no command; the session closes");
      return false;
  }
  return false;
}

}  // namespace zp::handheld
