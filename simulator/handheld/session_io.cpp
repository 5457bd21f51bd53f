// The session connections' requests and replies, spoiled or not.
#include "simulator/handheld/session_io.h"

#include <algorithm>
#include <span>
#include <utility>

#include "link/message_io.h"
#include "link/protocol.h"
#include "link/wire.h"
#include "simulator/handheld/link_io.h"

namespace zp::handheld {
namespace {

constexpr std::uint32_t kOverCapLength = 0x7FFFFFF0u;
/// The legacy-bad-flag mode's flag: neither 0 nor 1.
constexpr std::uint32_t kBadFlag = 2;
constexpr std::size_t kFlagOffset = 4;  // in a reply frame, after its length

void Say(const SessionLine& line, const std::string& text) {
  Log(line.who + ": " + text);
}

}  // namespace

bool DrainStalled(const SessionLine& line) {
  std::uint8_t dropped[1];
  if (ReadExactly(line.socket, dropped, line.io_ms) == NetResult::Done) return true;
  Say(line, "closed by the desktop while stalled");
  return false;
}

bool ReadRequest(const SessionLine& line, std::vector<std::uint8_t>& body) {
  std::uint32_t length = 0;
  switch (link::ReadFrame(line.socket, Deadline::In(line.io_ms), link::kMaxFrame, body, length)) {
    case link::FrameRead::Done:
      break;
    case link::FrameRead::Closed:
      Say(line, "closed by the desktop");
      return false;
    case link::FrameRead::TimedOut:
      Say(line, "no request came whole in time; the session closes");
      return false;
    case link::FrameRead::OverCap:
      Say(line, "a request of " + std::to_string(length) + " bytes is refused; the session closes");
      return false;
  }
  if (length < 4) {
    Say(line, "a request of " + std::to_string(length) + " bytes is refused; the session closes");
    return false;
  }
  return true;
}

bool SendReply(const SessionLine& line, std::vector<std::uint8_t> frame, SpoiledReply& spoil,
               int call, bool flag_word, bool& stalled) {
  const bool spoiled = spoil.mode != Hostile::None && call == spoil.at;
  const Hostile mode = spoiled ? spoil.mode : Hostile::None;
  if (spoiled) {
    spoil.mode = Hostile::None;  // once a run
    Say(line,
        "hostile reply " + std::string(HostileName(mode)) + " to call " + std::to_string(call));
  }
  link::WireWriter patched;
  switch (mode) {
    case Hostile::FrameOverCap:
      patched.Bytes(frame);
      patched.PatchU32(0, kOverCapLength);
      return SendBytes(line.socket, patched.bytes());
    case Hostile::LegacyBadFlag:
      if (!flag_word) break;
      patched.Bytes(frame);
      patched.PatchU32(kFlagOffset, kBadFlag);
      return SendBytes(line.socket, patched.bytes());
    case Hostile::FrameTruncated: {
      const std::size_t half = 4 + (frame.size() - 4) / 2;
      SendBytes(line.socket, std::span(frame).first(half));
      return false;
    }
    case Hostile::ReplyShort: {  // the flag alone on the older link
      link::WireWriter short_frame = link::StartFrame();
      short_frame.Bytes(std::span(frame).subspan(4, std::min<std::size_t>(4, frame.size() - 4)));
      return SendBytes(line.socket, link::FinishFrame(std::move(short_frame)));
    }
    case Hostile::Stall:
    case Hostile::LegacyHang:
      stalled = true;
      return true;
    case Hostile::TrickleReply:
      return Trickle(line.socket, frame, line.trickle_ms);
    default:
      break;
  }
  if (!SendBytes(line.socket, frame)) {
    Say(line, "the reply could not be sent: " + SocketFailureText());
    return false;
  }
  return true;
}

}  // namespace zp::handheld
