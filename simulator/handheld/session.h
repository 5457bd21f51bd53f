// One session connection: remote API requests read one frame at a time,
// served, and answered, until the desktop closes it, the link is lost or
// a request cannot be read.
#pragma once

#include <cstdint>

#include "platform/sockets.h"
#include "simulator/handheld/options.h"
#include "simulator/handheld/rapi_calls.h"
#include "simulator/handheld/session_io.h"

namespace zp::handheld {

class Session {
 public:
  Session(Socket socket, std::uint32_t request, RapiCalls& calls, const Options& options,
          SpoiledReply& spoil);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  /// Serves what waits on the connection. False when the session is over
  /// (the connection is then closed).
  bool OnReadable();

  const Socket& socket() const { return socket_; }

 private:
  /// The listing-flood mode's reply to a listing request.
  std::vector<std::uint8_t> FloodListing(std::span<const std::uint8_t> request) const;

  Socket socket_;
  std::uint32_t request_;  ///< R, for the log
  SessionLine line_;
  RapiCalls& calls_;
  bool flood_listing_;  ///< the next listing is the listing-flood mode's
  SpoiledReply& spoil_;
  SessionOwned owned_;
  int calls_served_ = 0;
  bool stalled_ = false;  ///< a stalled reply: everything after it is read and dropped
};

}  // namespace zp::handheld
