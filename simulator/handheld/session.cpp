// A session connection of the handheld.
#include "simulator/handheld/session.h"

#include <string>

#include "link/protocol.h"
#include "simulator/handheld/link_io.h"

namespace zp::handheld {
namespace {

constexpr std::uint32_t kOverCapLength = 0x7FFFFFF0u;

std::string Name(std::uint32_t request) {
  return "session " + std::to_string(request);
}

}  // namespace

Session::Session(Socket socket, std::uint32_t request, RapiCalls& calls, int io_ms,
                 SpoiledReply& spoil)
    : socket_(std::move(socket)), request_(request), calls_(calls), io_ms_(io_ms), spoil_(spoil) {}

Session::~Session() {
  calls_.Release(owned_);
}

bool Session::OnReadable() {
  if (stalled_) {  // nothing more is answered; only the desktop's close is awaited
    std::uint8_t dropped[1];
    if (ReadExactly(socket_, dropped, io_ms_) == NetWait::Done) return true;
    Log(Name(request_) + ": closed by the desktop while stalled");
    return false;
  }
  std::uint8_t length_bytes[4];
  const NetWait waited = ReadExactly(socket_, length_bytes, io_ms_);
  if (waited != NetWait::Done) {
    Log(Name(request_) +
        (waited == NetWait::Failed ? ": closed by the desktop" : ": no request came in time"));
    return false;
  }
  const std::uint32_t length = link::WireReader(length_bytes).U32();
  if (length < 4 || length > link::kMaxFrame) {
    Log(Name(request_) + ": a request of " + std::to_string(length) +
        " bytes is refused; the session closes");
    return false;
  }
  std::vector<std::uint8_t> body(length);
  if (ReadExactly(socket_, body, io_ms_) != NetWait::Done) {
    Log(Name(request_) + ": the request's body did not come; the session closes");
    return false;
  }
  ++calls_served_;
  link::WireWriter reply = link::StartFrame();
  switch (calls_.Serve(body, reply, owned_)) {
    case Served::Reply:
      return Reply(link::FinishFrame(std::move(reply)));
    case Served::LinkLost:
      Log(Name(request_) + ": the link is lost; the connection closes with no reply");
      return false;
    case Served::Unreadable:
      Log(Name(request_) + ": a request that does not parse; the session closes");
      return false;
  }
  return false;
}

bool Session::Reply(std::vector<std::uint8_t> frame) {
  const bool spoil = spoil_.mode != Hostile::None && calls_served_ == spoil_.at;
  const Hostile mode = spoil ? spoil_.mode : Hostile::None;
  if (spoil) {
    spoil_.mode = Hostile::None;  // once a run
    Log(Name(request_) + ": hostile reply " + std::string(HostileName(mode)) + " to call " +
        std::to_string(calls_served_));
  }
  switch (mode) {
    case Hostile::FrameOverCap: {
      link::WireWriter patched;
      patched.Bytes(frame);
      patched.PatchU32(0, kOverCapLength);
      return SendBytes(socket_, patched.bytes());
    }
    case Hostile::FrameTruncated: {
      const std::size_t half = 4 + (frame.size() - 4) / 2;
      SendBytes(socket_, std::span(frame).first(half));
      return false;
    }
    case Hostile::ReplyShort: {
      link::WireWriter short_frame = link::StartFrame();
      short_frame.Bytes(std::span(frame).subspan(4, std::min<std::size_t>(4, frame.size() - 4)));
      return SendBytes(socket_, link::FinishFrame(std::move(short_frame)));
    }
    case Hostile::Stall:
      stalled_ = true;
      return true;
    default:
      break;
  }
  if (!SendBytes(socket_, frame)) {
    Log(Name(request_) + ": the reply could not be sent: " + SocketFailureText());
    return false;
  }
  return true;
}

}  // namespace zp::handheld
