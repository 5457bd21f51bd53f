// A session connection of the handheld.
#include "simulator/handheld/session.h"

#include <string>
#include <utility>
#include <vector>

#include "device/remote_device.h"

#include "link/message_io.h"
#include "link/protocol.h"
#include "link/wire.h"
#include "simulator/handheld/link_io.h"

namespace zp::handheld {
namespace {

constexpr std::uint32_t kOverCapLength = 0x7FFFFFF0u;
constexpr std::uint32_t kFloodEntries = 100'000;

std::string Name(std::uint32_t request) {
  return "session " + std::to_string(request);
}

}  // namespace

Session::Session(Socket socket, std::uint32_t request, RapiCalls& calls, const Options& options,
                 SpoiledReply& spoil)
    : socket_(std::move(socket)),
      request_(request),
      calls_(calls),
      io_ms_(options.io_ms),
      trickle_ms_(options.trickle_ms),
      flood_listing_(options.hostile == Hostile::ListingFlood),
      spoil_(spoil) {}

Session::~Session() {
  calls_.Release(owned_);
}

bool Session::OnReadable() {
  if (stalled_) {  // nothing more is answered; only the desktop's close is awaited
    std::uint8_t dropped[1];
    if (ReadExactly(socket_, dropped, io_ms_) == NetResult::Done) return true;
    Log(Name(request_) + ": closed by the desktop while stalled");
    return false;
  }
  std::vector<std::uint8_t> body;
  std::uint32_t length = 0;
  switch (link::ReadFrame(socket_, Deadline::In(io_ms_), link::kMaxFrame, body, length)) {
    case link::FrameRead::Done:
      break;
    case link::FrameRead::Closed:
      Log(Name(request_) + ": closed by the desktop");
      return false;
    case link::FrameRead::TimedOut:
      Log(Name(request_) + ": no request came whole in time; the session closes");
      return false;
    case link::FrameRead::OverCap:
      Log(Name(request_) + ": a request of " + std::to_string(length) +
          " bytes is refused; the session closes");
      return false;
  }
  if (length < 4) {
    Log(Name(request_) + ": a request of " + std::to_string(length) +
        " bytes is refused; the session closes");
    return false;
  }
  if (flood_listing_ && link::WireReader(body).U32() == link::kCmdFindAllFiles) {
    flood_listing_ = false;
    Log(Name(request_) + ": listing-flood: a listing of least-size entries");
    return SendBytes(socket_, FloodListing(body));
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

std::vector<std::uint8_t> Session::FloodListing(std::span<const std::uint8_t> request) const {
  link::WireReader in(request);
  in.U32();  // the command
  in.String();
  const std::uint32_t flags = in.U32();
  link::WireWriter reply = link::StartFrame();
  reply.U32(0).U32(1).U32(kFloodEntries);
  for (std::uint32_t i = 0; i < kFloodEntries; ++i) {
    // Each entry as small as the flags allow: zeros, and a one-letter name.
    if (flags & kFafName) reply.U32(4);
    for (const auto& [flag, bytes] :
         {std::pair{kFafAttributes, 4}, std::pair{kFafCreationTime, 8},
          std::pair{kFafLastAccessTime, 8}, std::pair{kFafLastWriteTime, 8},
          std::pair{kFafSizeHigh, 4}, std::pair{kFafSizeLow, 4}, std::pair{kFafOid, 4}}) {
      if (flags & flag) reply.Bytes(std::vector<std::uint8_t>(bytes, 0));
    }
    if (flags & kFafName) reply.Utf16(u"A").U16(0);
  }
  return link::FinishFrame(std::move(reply));
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
    case Hostile::TrickleReply:
      return Trickle(socket_, frame, trickle_ms_);
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
