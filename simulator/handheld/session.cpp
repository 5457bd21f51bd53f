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

constexpr std::uint32_t kFloodEntries = 100'000;

std::string Name(std::uint32_t request) {
  return "session " + std::to_string(request);
}

}  // namespace

Session::Session(Socket socket, std::uint32_t request, RapiCalls& calls, const Options& options,
                 SpoiledReply& spoil)
    : socket_(std::move(socket)),
      request_(request),
      line_{socket_, Name(request), options.io_ms, options.trickle_ms},
      calls_(calls),
      flood_listing_(options.hostile == Hostile::ListingFlood),
      spoil_(spoil) {}

Session::~Session() {
  calls_.Release(owned_);
}

bool Session::OnReadable() {
  if (stalled_) return DrainStalled(line_);  // only the desktop's close is awaited
  std::vector<std::uint8_t> body;
  if (!ReadRequest(line_, body)) return false;
  if (flood_listing_ && link::WireReader(body).U32() == link::kCmdFindAllFiles) {
    flood_listing_ = false;
    Log(Name(request_) + ": listing-flood: a listing of least-size entries");
    return SendBytes(socket_, FloodListing(body));
  }
  ++calls_served_;
  link::WireWriter reply = link::StartFrame();
  switch (calls_.Serve(body, reply, owned_)) {
    case Served::Reply:
      return SendReply(line_, link::FinishFrame(std::move(reply)), spoil_, calls_served_, false,
                       stalled_);
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

}  // namespace zp::handheld
