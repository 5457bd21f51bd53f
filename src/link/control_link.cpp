// The handheld's control connection: handshake, lock, keepalive, sessions.
#include "link/control_link.h"

#include <algorithm>

#include "link/protocol.h"
#include "link/wire.h"
#include "platform/platform.h"
#include "report/log.h"

namespace zp::link {
namespace {

int Left(std::int64_t deadline) {
  const std::int64_t left = deadline - MonotonicMs();
  return static_cast<int>(std::clamp<std::int64_t>(left, 0, 86'400'000));
}

int Seconds(int ms) {
  return (ms + 999) / 1000;
}

}  // namespace

bool ControlLink::SendWords(const Socket& to, std::initializer_list<std::uint32_t> words) {
  WireWriter out;
  for (const std::uint32_t word : words) out.U32(word);
  return SendAll(to, out.bytes());
}

std::optional<std::uint32_t> ControlLink::ReadWord(const Socket& from, int timeout_ms) {
  std::uint8_t bytes[4];
  if (ReceiveAll(from, bytes, timeout_ms) != NetWait::Done) return std::nullopt;
  return WireReader(bytes).U32();
}

bool ControlLink::SendTrigger() {
  static constexpr std::uint8_t kTrigger[] = {kTriggerByte};
  bool sent = false;
  for (const std::uint32_t to : config_.trigger_to) {
    sent |= SendDatagram(NetAddress{config_.listen.ip, 0}, NetAddress{to, kTriggerPort},
                         config_.net_interface, kTrigger);
  }
  return sent;
}

std::optional<DeviceInfo> ControlLink::Handshake(const Socket& connection) {
  const std::int64_t deadline = MonotonicMs() + config_.timeouts.handshake_ms;
  for (;;) {
    const auto request = ReadWord(connection, Left(deadline));
    if (!request) {
      LogText("The handheld did not complete its handshake");
      return std::nullopt;
    }
    switch (*request) {
      case kCtlHello:
        if (!SendWords(connection, {kCtlHelloAnswer})) break;
        continue;
      case kCtlVersion:
        if (!SendWords(connection, {kCtlVersionAnswer[0], kCtlVersionAnswer[1],
                                    kCtlVersionAnswer[2], kCtlVersionAnswer[3]})) {
          break;
        }
        continue;
      case kCtlPong:
        continue;
      case kCtlInfo: {
        const auto size = ReadWord(connection, Left(deadline));
        if (!size) break;
        if (*size > kMaxDeviceInfoBytes) {
          LogText("Refused the handheld's device info: %u bytes", *size);
          return std::nullopt;
        }
        std::vector<std::uint8_t> bytes(*size);
        if (ReceiveAll(connection, bytes, Left(deadline)) != NetWait::Done) break;
        std::string problem;
        auto info = ParseDeviceInfo(bytes, problem);
        if (!info) LogText("Refused the handheld's device info: %s", problem.c_str());
        return info;
      }
      default:
        LogText("Unexpected control request %u from the handheld", *request);
        continue;
    }
    LogText("The handheld did not complete its handshake");
    return std::nullopt;
  }
}

bool ControlLink::Connect() {
  listener_ = ListenTcp(config_.listen, config_.net_interface);
  if (!listener_) {
    LogText("Cannot listen on %s:%u: %s", FormatIpv4(config_.listen.ip).c_str(),
            config_.listen.port, SocketFailureText().c_str());
    return false;
  }
  const std::int64_t deadline = MonotonicMs() + config_.timeouts.connect_ms;
  std::int64_t next_trigger = MonotonicMs();
  bool trigger_failed_logged = false;
  for (;;) {
    if (MonotonicMs() >= next_trigger) {
      if (!SendTrigger() && !trigger_failed_logged) {
        LogText("Cannot send the trigger to the handheld: %s", SocketFailureText().c_str());
        trigger_failed_logged = true;
      }
      next_trigger = MonotonicMs() + config_.timeouts.retrigger_ms;
    }
    if (MonotonicMs() >= deadline) {
      LogText("No handheld connected on %s:%u within %d s", FormatIpv4(config_.listen.ip).c_str(),
              config_.listen.port, Seconds(config_.timeouts.connect_ms));
      return false;
    }
    Socket connection;
    NetAddress peer;
    const NetWait waited =
        AcceptTcp(listener_, std::min(Left(deadline), Left(next_trigger)), connection, peer);
    if (waited == NetWait::TimedOut) continue;
    if (waited == NetWait::Failed) {
      LogText("Cannot take the handheld's connection: %s", SocketFailureText().c_str());
      return false;
    }
    if (config_.device && peer.ip != *config_.device) {
      LogText("Refused a connection from %s", FormatIpv4(peer.ip).c_str());
      continue;
    }
    auto info = Handshake(connection);
    if (!info) return false;
    control_ = std::move(connection);
    config_.device = peer.ip;
    info_ = std::move(*info);
    last_ping_ = MonotonicMs();
    return true;
  }
}

ControlLink::Unlocking ControlLink::Unlock(const std::optional<std::string>& password) {
  if (info_.lock_key == kLockNone) return Unlocking::Open;
  if (info_.lock_key == kLockOnDevice) {
    LogStatus("Unlock the handheld to continue...");
    if (!SendWords(control_, {kCtlShowUnlock})) return Unlocking::Failed;
    const std::int64_t deadline = MonotonicMs() + config_.timeouts.unlock_ms;
    while (Left(deadline) > 0) {
      PingIfDue();
      const Socket* waits[] = {&control_};
      if (WaitReadable(waits, std::min(Left(deadline), config_.timeouts.ping_ms)) != 0) continue;
      const auto word = ReadWord(control_, config_.timeouts.handshake_ms);
      if (!word) {
        LogText("The handheld closed its control connection");
        return Unlocking::Failed;
      }
      if (*word == kCtlUnlocked) {
        return SendWords(control_, {kCtlUnlockedAck[0], kCtlUnlockedAck[1]}) ? Unlocking::Open
                                                                             : Unlocking::Failed;
      }
      if (Dispatch(*word) == Step::Gone) return Unlocking::Failed;
    }
    LogText("The handheld was not unlocked within %d s", Seconds(config_.timeouts.unlock_ms));
    return Unlocking::Failed;
  }
  if (!password) return Unlocking::Failed;
  const std::u16string text =
      Widen(*password) + (kPasswordWithNul ? std::u16string(1, u'\0') : u"");
  const auto mask = static_cast<std::uint8_t>(info_.lock_key & 0xFF);
  WireWriter out;
  out.U16(static_cast<std::uint16_t>(text.size() * 2));
  for (const char16_t unit : text) {
    out.U8(static_cast<std::uint8_t>((unit & 0xFF) ^ mask));
    out.U8(static_cast<std::uint8_t>((unit >> 8) ^ mask));
  }
  if (!SendAll(control_, out.bytes())) return Unlocking::Failed;
  std::uint8_t answer[2];
  if (ReceiveAll(control_, answer, config_.timeouts.handshake_ms) != NetWait::Done) {
    LogText("The handheld did not answer the desktop password");
    return Unlocking::Failed;
  }
  return WireReader(answer).U16() != 0 ? Unlocking::Open : Unlocking::Refused;
}

ControlLink::Step ControlLink::Dispatch(std::uint32_t request) {
  switch (request) {
    case kCtlHello:
      return SendWords(control_, {kCtlHelloAnswer}) ? Step::Went : Step::Gone;
    case kCtlVersion:
      return SendWords(control_, {kCtlVersionAnswer[0], kCtlVersionAnswer[1], kCtlVersionAnswer[2],
                                  kCtlVersionAnswer[3]})
                 ? Step::Went
                 : Step::Gone;
    case kCtlPong:
      return Step::Went;
    case kCtlInfo: {
      // Only one device info belongs to a connection: a second is read past
      // (within its cap) and ignored.
      const auto size = ReadWord(control_, config_.timeouts.handshake_ms);
      if (!size || *size > kMaxDeviceInfoBytes) {
        LogText("The handheld sent a second device info that does not fit: closed");
        control_.Close();
        return Step::Gone;
      }
      std::vector<std::uint8_t> bytes(*size);
      if (ReceiveAll(control_, bytes, config_.timeouts.handshake_ms) != NetWait::Done) {
        control_.Close();
        return Step::Gone;
      }
      LogText("The handheld sent a second device info: ignored");
      return Step::Went;
    }
    default:
      LogText("Unexpected control request %u from the handheld", request);
      return Step::Went;
  }
}

Socket ControlLink::TakeConnection(Socket connection, NetAddress peer) {
  if (!config_.device || peer.ip != *config_.device) {
    LogText("Refused a connection from %s", FormatIpv4(peer.ip).c_str());
    return {};
  }
  const auto first = ReadWord(connection, config_.timeouts.handshake_ms);
  if (!first) return {};
  if (pending_request_ != 0 && *first == pending_request_) {
    pending_request_ = 0;
    return connection;
  }
  if (*first == kCtlHello) {
    // A handheld that came back opens a new control connection: it replaces
    // the old one, once it is the same handheld.
    if (!SendWords(connection, {kCtlHelloAnswer})) return {};
    const auto info = Handshake(connection);
    if (!info) return {};
    if (info->guid != info_.guid) {
      LogText("Refused a control connection from another handheld %s",
              FormatGuid(info->guid).c_str());
      return {};
    }
    control_ = std::move(connection);
    return {};
  }
  LogText("Refused a connection from the handheld that opened with %u", *first);
  return {};
}

void ControlLink::PingIfDue() {
  if (!control_ || MonotonicMs() - last_ping_ < config_.timeouts.ping_ms) return;
  last_ping_ = MonotonicMs();
  SendWords(control_, {kCtlPing});
}

ControlLink::Step ControlLink::ServiceOnce(const Socket* session, int timeout_ms,
                                           bool& session_ready) {
  const Socket* waits[] = {session, &control_, &listener_};
  switch (WaitReadable(waits, timeout_ms)) {
    case 0:
      session_ready = true;
      return Step::Went;
    case 1: {
      const auto request = ReadWord(control_, config_.timeouts.handshake_ms);
      if (!request) {
        LogText("The handheld closed its control connection");
        control_.Close();
        return Step::Gone;
      }
      return Dispatch(*request);
    }
    case 2: {
      Socket connection;
      NetAddress peer;
      if (AcceptTcp(listener_, 0, connection, peer) == NetWait::Done) {
        Socket session_connection = TakeConnection(std::move(connection), peer);
        if (session_connection) arrived_session_ = std::move(session_connection);
      }
      return Step::Went;
    }
    default:
      return Step::Went;
  }
}

Socket ControlLink::OpenSession() {
  if (!control_) return {};
  pending_request_ = next_request_++;
  if (!SendWords(control_, {kCtlSession, kCtlSessionArg, pending_request_})) {
    LogText("Cannot ask the handheld for a session: %s", SocketFailureText().c_str());
    return {};
  }
  const std::int64_t deadline = MonotonicMs() + config_.timeouts.session_ms;
  while (!arrived_session_) {
    if (Left(deadline) == 0) {
      LogText("The handheld opened no session within %d s", Seconds(config_.timeouts.session_ms));
      pending_request_ = 0;
      return {};
    }
    bool unused = false;
    if (ServiceOnce(nullptr, Left(deadline), unused) == Step::Gone) return {};
  }
  return std::move(arrived_session_);
}

NetWait ControlLink::WaitForSession(const Socket& session, int timeout_ms) {
  const std::int64_t deadline = MonotonicMs() + timeout_ms;
  for (;;) {
    PingIfDue();
    bool ready = false;
    const int wait = std::min(Left(deadline), config_.timeouts.ping_ms);
    if (ServiceOnce(&session, wait, ready) == Step::Gone) return NetWait::Failed;
    if (ready) return NetWait::Done;
    if (Left(deadline) == 0) return NetWait::TimedOut;
  }
}

void ControlLink::Close() {
  arrived_session_.Close();
  control_.Close();
  listener_.Close();
}

}  // namespace zp::link
