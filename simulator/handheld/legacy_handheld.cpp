// An older handheld's run: its session port, the dial to the desktop, the
// one loop over the control connection, the session port and the
// sessions, and the sessions' opening.
#include "simulator/handheld/legacy_handheld.h"

#include <algorithm>
#include <filesystem>
#include <string>

#include "simulator/handheld/handheld.h"
#include "simulator/handheld/legacy_identity.h"
#include "simulator/handheld/link_io.h"

namespace zp::handheld {
namespace {

std::string Where(NetAddress address) {
  return FormatIpv4(address.ip) + ":" + std::to_string(address.port);
}

}  // namespace

LegacyHandheld::LegacyHandheld(Options options, Identity identity, link::LegacyInfo info)
    : options_(std::move(options)),
      identity_(std::move(identity)),
      info_(std::move(info)),
      device_(options_.world, ""),
      calls_(device_, std::filesystem::path(options_.world) / "files", info_) {
  if (ShapesReply(options_.hostile)) spoil_ = SpoiledReply{options_.hostile, options_.hostile_at};
  awaiting_password_ = LegacyLocked(identity_);
}

int LegacyHandheld::Run() {
  // The remote API opens before any session is served: a handheld whose
  // remote API will not open (a fault rule) refuses every session.
  rapi_open_ = device_.CeRapiInit() == 0;
  if (!rapi_open_) Log("the remote API refused to open: no session is served");
  if ((rapi_open_ && !Listen()) || !Dial()) return kExitNoLink;
  last_traffic_ = MonotonicMs();
  if (!SendOpening()) return kExitEnded;
  Loop();
  if (rapi_open_) device_.CeRapiUninit();
  return exit_code_;
}

bool LegacyHandheld::Listen() {
  const NetAddress local{options_.device_ip, options_.port};
  if (ListenTcp(local, "", listener_) != NetResult::Done) {
    Log("cannot listen on " + Where(local) + " for sessions: " + SocketFailureText());
    return false;
  }
  Log("sessions are served on " + Where(local));
  return true;
}

bool LegacyHandheld::Dial() {
  // No trigger on this link: the handheld dials at once, and again while
  // the desktop's listener is not up yet.
  const NetAddress desktop{options_.desktop_ip, options_.legacy_port};
  const Deadline deadline = Deadline::In(options_.wait_ms);
  for (;;) {
    const Deadline attempt = Deadline::In(std::max(deadline.LeftMs(), kLegacyDialGapMs));
    if (ConnectTcp(NetAddress{options_.device_ip, 0}, desktop, "",
                   attempt.Earlier(Deadline::In(options_.io_ms)), control_) == NetResult::Done) {
      Log("connected to " + Where(desktop));
      return true;
    }
    const std::string why = SocketFailureText();
    if (Stopping() || deadline.Passed()) {
      Log("cannot connect to " + Where(desktop) + ": " + why);
      return false;
    }
    Pause(kLegacyDialGapMs);
  }
}

void LegacyHandheld::Loop() {
  while (!Stopping()) {
    std::vector<const Socket*> watched{&control_, &listener_};
    for (const auto& session : sessions_) watched.push_back(&session->socket());
    std::size_t ready = 0;
    const Traffic traffic = AwaitTraffic(watched, options_.idle_ms, last_traffic_, ready);
    if (traffic == Traffic::End) return;
    if (traffic == Traffic::Quiet) continue;
    if (ready == 0) {
      if (!OnControl()) return;
    } else if (ready == 1) {
      OnSessionConnection();
    } else if (!sessions_[ready - 2]->OnReadable()) {
      sessions_.erase(sessions_.begin() + static_cast<std::ptrdiff_t>(ready - 2));
    }
  }
  Log("stopped");
}

void LegacyHandheld::OnSessionConnection() {
  Socket connection;
  NetAddress peer;
  if (AcceptTcp(listener_, Deadline::Now(), connection, peer) != NetResult::Done) return;
  if (peer.ip != options_.desktop_ip) {
    Log("a session connection from " + Where(peer) + ", not the desktop's address: closed");
    return;
  }
  const int number = ++sessions_opened_;
  Log("session " + std::to_string(number) + " open (from " + Where(peer) + ")");
  sessions_.push_back(std::make_unique<LegacySession>(std::move(connection), number, calls_,
                                                      options_, identity_, spoil_));
  if (options_.hostile == Hostile::LegacySecondControl && number == 1) DialSecondControl();
}

void LegacyHandheld::DialSecondControl() {
  const NetAddress desktop{options_.desktop_ip, options_.legacy_port};
  if (ConnectTcp(NetAddress{options_.device_ip, 0}, desktop, "", Deadline::In(options_.io_ms),
                 second_control_) == NetResult::Done) {
    Log("legacy-second-control: a second connection to " + Where(desktop));
  } else {
    Log("legacy-second-control: cannot connect to " + Where(desktop) + ": " + SocketFailureText());
  }
}

}  // namespace zp::handheld
