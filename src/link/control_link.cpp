// The handheld's control connection: handshake, lock, keepalive, sessions.
#include "link/control_link.h"

#include <algorithm>

#include "link/message_io.h"
#include "link/password_mask.h"
#include "link/protocol.h"
#include "link/wire.h"
#include "platform/platform.h"
#include "report/log.h"

namespace zp::link {
namespace {

constexpr std::uint32_t kLoopbackNetwork = 0x7F000000u;  // 127.0.0.0/8

int Seconds(int ms) {
  return (ms + 999) / 1000;
}

}  // namespace

bool PeerMayBeHandheld(const LinkConfig& config, std::uint32_t peer) {
  if (config.device) return peer == *config.device;
  // Windows cannot bind a listener to an adapter: a local program reaches
  // it over loopback or from the machine's own addresses, and must never
  // pass for the handheld.
  if ((peer & 0xFF000000u) == kLoopbackNetwork) return false;
  if (std::find(config.own_addresses.begin(), config.own_addresses.end(), peer) !=
      config.own_addresses.end()) {
    return false;
  }
  return !config.peer_network || (peer & 0xFFFFFF00u) == *config.peer_network;
}

bool ControlLink::SendTrigger() {
  static constexpr std::uint8_t kTrigger[] = {kTriggerByte};
  bool sent = false;
  for (const std::uint32_t to : config_.trigger_to) {
    sent |= SendDatagram(NetAddress{config_.listen.ip, 0}, NetAddress{to, kTriggerPort},
                         config_.net_interface, kTrigger) == NetResult::Done;
  }
  return sent;
}

void ControlLink::Refuse(const char* why, NetAddress peer) {
  if (noise_.Note(Noise::RefusedPeer)) LogText("%s %s", why, FormatIpv4(peer.ip).c_str());
}

ControlLink::Step ControlLink::Dispatch(const Socket& connection, std::uint32_t request,
                                        Deadline deadline, DeviceInfo* info, std::string& problem) {
  const int wait = config_.timeouts.handshake_ms;
  switch (request) {
    case kCtlHello:
      return SendWords(connection, {kCtlHelloAnswer}, wait) == NetResult::Done ? Step::Went
                                                                               : Step::Gone;
    case kCtlVersion:
      return SendWords(connection,
                       {kCtlVersionAnswer[0], kCtlVersionAnswer[1], kCtlVersionAnswer[2],
                        kCtlVersionAnswer[3]},
                       wait) == NetResult::Done
                 ? Step::Went
                 : Step::Gone;
    case kCtlPong:
      return Step::Went;
    case kCtlInfo: {
      std::uint32_t size = 0;
      std::vector<std::uint8_t> bytes;
      if (ReadWord(connection, deadline, size) != NetResult::Done) return Step::Gone;
      switch (ReadCounted(connection, deadline, size, kMaxDeviceInfoBytes, bytes)) {
        case FrameRead::Done:
          break;
        case FrameRead::OverCap:
          problem = "Refused the handheld's device info: " + std::to_string(size) + " bytes";
          return Step::Gone;
        default:
          return Step::Gone;
      }
      if (info == nullptr) {
        // Only one device info belongs to a connection.
        LogText("The handheld sent a second device info: ignored");
        return Step::Went;
      }
      std::string why;
      auto parsed = ParseDeviceInfo(bytes, why);
      if (!parsed) {
        problem = "Refused the handheld's device info: " + why;
        return Step::Gone;
      }
      *info = std::move(*parsed);
      return Step::Info;
    }
    default:
      if (noise_.Flooding(MonotonicMs())) {
        problem = "The handheld sent more than " + std::to_string(NoiseLimit::kFloodWords) +
                  " unexpected control requests within " +
                  std::to_string(NoiseLimit::kFloodWindowMs / 1000) + " s: dropped";
        return Step::Gone;
      }
      if (noise_.Note(Noise::UnknownWord)) {
        LogText("Unexpected control request %u from the handheld", request);
      }
      return Step::Went;
  }
}

std::optional<DeviceInfo> ControlLink::Handshake(const Socket& connection, std::string& problem) {
  const Deadline deadline = Deadline::In(config_.timeouts.handshake_ms);
  DeviceInfo info;
  for (;;) {
    std::uint32_t request = 0;
    if (ReadWord(connection, deadline, request) != NetResult::Done) break;
    const Step step = Dispatch(connection, request, deadline, &info, problem);
    if (step == Step::Info) return info;
    if (step == Step::Gone) break;
  }
  if (problem.empty()) problem = "The handheld did not complete its handshake";
  return std::nullopt;
}

bool ControlLink::Connect(const LegacyTaker& take_legacy) {
  if (ListenTcp(config_.listen, config_.net_interface, listener_) != NetResult::Done) {
    LogText("Cannot listen on %s:%u: %s", FormatIpv4(config_.listen.ip).c_str(),
            config_.listen.port, SocketFailureText().c_str());
    return false;
  }
  const NetAddress legacy{config_.listen.ip, config_.legacy_control_port};
  if (take_legacy && legacy.port != 0 &&
      ListenTcp(legacy, config_.net_interface, legacy_listener_) != NetResult::Done) {
    // The newer handhelds still come: the older ones' port is only logged.
    LogText("Cannot listen on %s:%u: %s", FormatIpv4(legacy.ip).c_str(), legacy.port,
            SocketFailureText().c_str());
  }
  NotifyListening();
  const Deadline deadline = Deadline::In(config_.timeouts.connect_ms);
  Deadline next_trigger = Deadline::Now();
  // Said only when no handheld came: a handheld on a serial line needs no
  // trigger, and its link's address exists only once PPP is up.
  std::string trigger_failure;
  for (;;) {
    if (next_trigger.Passed()) {
      if (!SendTrigger() && trigger_failure.empty()) trigger_failure = SocketFailureText();
      next_trigger = Deadline::In(config_.timeouts.retrigger_ms);
    }
    if (deadline.Passed()) {
      noise_.LogSummary();
      if (!trigger_failure.empty()) {
        LogText("Cannot send the trigger to the handheld: %s", trigger_failure.c_str());
      }
      LogText("No handheld connected on %s:%u within %d s", FormatIpv4(config_.listen.ip).c_str(),
              config_.listen.port, Seconds(config_.timeouts.connect_ms));
      return false;
    }
    // The generation is the port the handheld dials first.
    const Socket* listeners[] = {&listener_, &legacy_listener_};
    std::size_t ready = 0;
    const NetResult waited = WaitReadable(listeners, deadline.Earlier(next_trigger), ready);
    if (waited == NetResult::TimedOut) continue;
    Socket connection;
    NetAddress peer;
    const NetResult accepted =
        waited == NetResult::Failed
            ? waited
            : AcceptTcp(*listeners[ready], Deadline::Now(), connection, peer);
    if (accepted == NetResult::TimedOut) continue;
    if (accepted == NetResult::Failed) {
      LogText("Cannot take the handheld's connection: %s", SocketFailureText().c_str());
      return false;
    }
    if (!PeerMayBeHandheld(config_, peer.ip)) {
      Refuse("Refused a connection from", peer);
      continue;
    }
    if (ready == 1) {
      if (!take_legacy(connection, peer, legacy_listener_)) continue;
      config_.device = peer.ip;
      legacy_ = true;
      listener_.Close();
      return true;
    }
    // A peer that fails its handshake is not the handheld: it is dropped,
    // and the handheld may still come.
    std::string problem;
    auto info = Handshake(connection, problem);
    if (!info) {
      if (noise_.Note(Noise::RefusedPeer)) LogText("%s", problem.c_str());
      continue;
    }
    control_ = std::move(connection);
    config_.device = peer.ip;
    info_ = std::move(*info);
    last_ping_ = MonotonicMs();
    return true;
  }
}

ControlLink::Unlocking ControlLink::Unlock(const std::optional<std::string>& password) {
  const int wait = config_.timeouts.handshake_ms;
  if (info_.lock_key == kLockNone) return Unlocking::Open;
  if (info_.lock_key == kLockOnDevice) {
    LogStatus("Unlock the handheld to continue...");
    if (SendWords(control_, {kCtlShowUnlock}, wait) != NetResult::Done) return Unlocking::Failed;
    const Deadline deadline = Deadline::In(config_.timeouts.unlock_ms);
    while (!deadline.Passed()) {
      PingIfDue();
      const Socket* waits[] = {&control_};
      std::size_t ready = 0;
      const NetResult waited =
          WaitReadable(waits, deadline.Earlier(Deadline::In(config_.timeouts.ping_ms)), ready);
      if (waited == NetResult::TimedOut) continue;
      std::uint32_t word = 0;
      if (waited == NetResult::Failed ||
          ReadWord(control_, Deadline::In(wait), word) != NetResult::Done) {
        LogText("The handheld closed its control connection");
        return Unlocking::Failed;
      }
      if (word == kCtlUnlocked) {
        return SendWords(control_, {kCtlUnlockedAck[0], kCtlUnlockedAck[1]}, wait) ==
                       NetResult::Done
                   ? Unlocking::Open
                   : Unlocking::Failed;
      }
      std::string problem;
      if (Dispatch(control_, word, Deadline::In(wait), nullptr, problem) == Step::Gone) {
        if (!problem.empty()) LogText("%s", problem.c_str());
        noise_.LogSummary();
        return Unlocking::Failed;
      }
    }
    LogText("The handheld was not unlocked within %d s", Seconds(config_.timeouts.unlock_ms));
    return Unlocking::Failed;
  }
  if (!password) return Unlocking::Failed;
  const auto masked =
      MaskedPassword(*password, static_cast<std::uint8_t>(info_.lock_key & 0xFF), kPasswordWithNul);
  if (SendMessage(control_, masked, wait) != NetResult::Done) return Unlocking::Failed;
  std::uint8_t answer[2];
  if (ReceiveAll(control_, answer, Deadline::In(wait)) != NetResult::Done) {
    LogText("The handheld did not answer the desktop password");
    return Unlocking::Failed;
  }
  return WireReader(answer).U16() != 0 ? Unlocking::Open : Unlocking::Refused;
}

Socket ControlLink::TakeConnection(Socket connection, NetAddress peer) {
  if (!config_.device || peer.ip != *config_.device) {
    Refuse("Refused a connection from", peer);
    return {};
  }
  const int wait = config_.timeouts.handshake_ms;
  std::uint32_t first = 0;
  if (ReadWord(connection, Deadline::In(wait), first) != NetResult::Done) return {};
  if (pending_request_ != 0 && first == pending_request_) {
    pending_request_ = 0;
    return connection;
  }
  if (first != kCtlHello) {
    if (noise_.Note(Noise::RefusedPeer)) {
      LogText("Refused a connection from the handheld that opened with %u", first);
    }
    return {};
  }
  // A handheld that came back opens a new control connection: it replaces
  // the old one, once it is the same handheld, and what it says of itself
  // now (its lock) is what counts.
  std::string problem;
  if (SendWords(connection, {kCtlHelloAnswer}, wait) != NetResult::Done) return {};
  const auto info = Handshake(connection, problem);
  if (!info) {
    if (noise_.Note(Noise::RefusedPeer)) LogText("%s", problem.c_str());
    return {};
  }
  if (info->guid != info_.guid || info->name != info_.name) {
    LogText("Refused a control connection from another handheld %s",
            FormatGuid(info->guid).c_str());
    return {};
  }
  control_ = std::move(connection);
  info_ = *info;
  // A session asked for on the old connection may never have been seen.
  if (pending_request_ != 0) {
    SendWords(control_, {kCtlSession, kCtlSessionArg, pending_request_}, wait);
  }
  return {};
}

void ControlLink::PingIfDue() {
  if (!control_ || MonotonicMs() - last_ping_ < config_.timeouts.ping_ms) return;
  last_ping_ = MonotonicMs();
  SendWords(control_, {kCtlPing}, config_.timeouts.handshake_ms);
}

ControlLink::Step ControlLink::ServiceOnce(const Socket* session, Deadline deadline,
                                           bool& session_ready) {
  const Socket* waits[] = {session, &control_, &listener_};
  std::size_t ready = 0;
  switch (WaitReadable(waits, deadline, ready)) {
    case NetResult::TimedOut:
      return Step::Went;
    case NetResult::Failed:
      LogText("Cannot wait for the handheld: %s", SocketFailureText().c_str());
      return Step::Gone;
    case NetResult::Done:
      break;
  }
  if (ready == 0) {
    session_ready = true;
    return Step::Went;
  }
  if (ready == 1) {
    const Deadline word = Deadline::In(config_.timeouts.handshake_ms);
    std::uint32_t request = 0;
    std::string problem;
    if (ReadWord(control_, word, request) != NetResult::Done) {
      LogText("The handheld closed its control connection");
    } else if (Dispatch(control_, request, word, nullptr, problem) != Step::Gone) {
      return Step::Went;
    } else if (!problem.empty()) {
      LogText("%s", problem.c_str());
    }
    noise_.LogSummary();
    control_.Close();
    return Step::Gone;
  }
  Socket connection;
  NetAddress peer;
  if (AcceptTcp(listener_, Deadline::Now(), connection, peer) == NetResult::Done) {
    Socket session_connection = TakeConnection(std::move(connection), peer);
    if (session_connection) arrived_session_ = std::move(session_connection);
  }
  return Step::Went;
}

Socket ControlLink::OpenSession() {
  if (!control_) return {};
  pending_request_ = next_request_++;
  if (SendWords(control_, {kCtlSession, kCtlSessionArg, pending_request_},
                config_.timeouts.handshake_ms) != NetResult::Done) {
    LogText("Cannot ask the handheld for a session: %s", SocketFailureText().c_str());
    return {};
  }
  const Deadline deadline = Deadline::In(config_.timeouts.session_ms);
  while (!arrived_session_) {
    if (deadline.Passed()) {
      LogText("The handheld opened no session within %d s", Seconds(config_.timeouts.session_ms));
      pending_request_ = 0;
      return {};
    }
    bool unused = false;
    if (ServiceOnce(nullptr, deadline, unused) == Step::Gone) return {};
  }
  return std::move(arrived_session_);
}

NetResult ControlLink::WaitForSession(const Socket& session, Deadline deadline) {
  for (;;) {
    PingIfDue();
    bool ready = false;
    const Deadline wait = deadline.Earlier(Deadline::In(config_.timeouts.ping_ms));
    if (ServiceOnce(&session, wait, ready) == Step::Gone) return NetResult::Failed;
    if (ready) return NetResult::Done;
    if (deadline.Passed()) return NetResult::TimedOut;
  }
}

void ControlLink::Close() {
  noise_.LogSummary();
  arrived_session_.Close();
  control_.Close();
  listener_.Close();
  legacy_listener_.Close();
}

}  // namespace zp::link
