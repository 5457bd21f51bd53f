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
namespace {

constexpr std::uint32_t kOverCapLength = 0x7FFFFFF0u;
/// The legacy-bad-flag mode's flag: neither 0 nor 1.
constexpr std::uint32_t kBadFlag = 2;
constexpr std::size_t kFlagOffset = 4;  // in a reply frame, after its length

}  // namespace

LegacySession::LegacySession(Socket socket, int number, LegacyCalls& calls, const Options& options,
                             const Identity& identity, SpoiledReply& spoil)
    : socket_(std::move(socket)),
      number_(number),
      calls_(calls),
      identity_(identity),
      io_ms_(options.io_ms),
      trickle_ms_(options.trickle_ms),
      spoil_(spoil),
      awaiting_password_(LegacyLocked(identity)) {}

LegacySession::~LegacySession() {
  calls_.Release(owned_);
}

void LegacySession::Say(const std::string& text) const {
  Log("session " + std::to_string(number_) + ": " + text);
}

bool LegacySession::OnPassword() {
  std::string problem;
  const auto accepted = ReadPasswordAttempt(socket_, identity_, io_ms_, problem);
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
  if (stalled_) {  // nothing more is answered; only the desktop's close is awaited
    std::uint8_t dropped[1];
    if (ReadExactly(socket_, dropped, io_ms_) == NetResult::Done) return true;
    Say("closed by the desktop while stalled");
    return false;
  }
  if (awaiting_password_) return OnPassword();
  std::vector<std::uint8_t> body;
  std::uint32_t length = 0;
  switch (link::ReadFrame(socket_, Deadline::In(io_ms_), link::kMaxFrame, body, length)) {
    case link::FrameRead::Done:
      break;
    case link::FrameRead::Closed:
      Say("closed by the desktop");
      return false;
    case link::FrameRead::TimedOut:
      Say("no request came whole in time; the session closes");
      return false;
    case link::FrameRead::OverCap:
      Say("a request of " + std::to_string(length) + " bytes is refused; the session closes");
      return false;
  }
  if (length < 4) {
    Say("a request of " + std::to_string(length) + " bytes is refused; the session closes");
    return false;
  }
  ++calls_served_;
  link::WireWriter reply = link::StartFrame();
  switch (calls_.Serve(body, reply, owned_)) {
    case Served::Reply:
      return Reply(link::FinishFrame(std::move(reply)));
    case Served::LinkLost:
      Say("the link is lost; the connection closes with no reply");
      return false;
    case Served::Unreadable:
      Say("a request with no command; the session closes");
      return false;
  }
  return false;
}

bool LegacySession::Reply(std::vector<std::uint8_t> frame) {
  const bool spoil = spoil_.mode != Hostile::None && calls_served_ == spoil_.at;
  const Hostile mode = spoil ? spoil_.mode : Hostile::None;
  if (spoil) {
    spoil_.mode = Hostile::None;  // once a run
    Say("hostile reply " + std::string(HostileName(mode)) + " to call " +
        std::to_string(calls_served_));
  }
  link::WireWriter patched;
  switch (mode) {
    case Hostile::FrameOverCap:
      patched.Bytes(frame);
      patched.PatchU32(0, kOverCapLength);
      return SendBytes(socket_, patched.bytes());
    case Hostile::LegacyBadFlag:
      patched.Bytes(frame);
      patched.PatchU32(kFlagOffset, kBadFlag);
      return SendBytes(socket_, patched.bytes());
    case Hostile::FrameTruncated: {
      const std::size_t half = 4 + (frame.size() - 4) / 2;
      SendBytes(socket_, std::span(frame).first(half));
      return false;
    }
    case Hostile::ReplyShort: {  // the flag alone
      link::WireWriter short_frame = link::StartFrame();
      short_frame.Bytes(std::span(frame).subspan(4, std::min<std::size_t>(4, frame.size() - 4)));
      return SendBytes(socket_, link::FinishFrame(std::move(short_frame)));
    }
    case Hostile::Stall:
      stalled_ = true;
      return true;
    case Hostile::TrickleReply:
      return Trickle(socket_, frame, trickle_ms_);
    default:
      break;
  }
  if (!SendBytes(socket_, frame)) {
    Say("the reply could not be sent: " + SocketFailureText());
    return false;
  }
  return true;
}

}  // namespace zp::handheld
