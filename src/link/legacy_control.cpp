// An older handheld's control connection and its sessions.
#include "link/legacy_control.h"

#include "link/legacy_protocol.h"
#include "link/message_io.h"
#include "link/password_mask.h"
#include "link/wire.h"
#include "report/log.h"

namespace zp::link {
namespace {

// The password bytes of this handheld: with the NUL, as it was captured
// from a real one.
std::vector<std::uint8_t> Password(const std::string& password, std::uint32_t challenge) {
  return MaskedPassword(password, static_cast<std::uint8_t>(challenge & kLegacyChallengeKeyMask),
                        true);
}

}  // namespace

std::optional<LegacyInfo> LegacyControl::Handshake(std::string& problem) {
  const Deadline deadline = Deadline::In(config_.timeouts.handshake_ms);
  for (;;) {
    std::uint32_t word = 0;
    if (ReadWord(control_, deadline, word) != NetResult::Done) break;
    if (word == kLegacyNothing) continue;
    if (word < kLegacyLeastInfo) {
      problem = "Refused the handheld's info packet: a header of " + std::to_string(word);
      return std::nullopt;
    }
    if (word > kLegacyMostInfo) {
      if (word == kLegacyPing) continue;  // an echo, out of place: nothing to do
      challenge_ = word;
      continue;
    }
    std::vector<std::uint8_t> bytes;
    if (ReadCounted(control_, deadline, word, kLegacyMostInfo, bytes) != FrameRead::Done) break;
    std::string why;
    auto info = ParseLegacyInfo(bytes, why);
    if (!info) {
      problem = "Refused the handheld's info packet: " + why;
      return std::nullopt;
    }
    last_ping_ = MonotonicMs();
    return info;
  }
  problem = "The handheld did not complete its handshake";
  return std::nullopt;
}

LegacyControl::Unlocking LegacyControl::Unlock(const std::string& password) {
  const int wait = config_.timeouts.handshake_ms;
  if (SendMessage(control_, Password(password, challenge_), wait) != NetResult::Done) {
    return Unlocking::Failed;
  }
  // The answer is the one u16 the handheld sends; no ping goes before it.
  std::uint8_t answer[2];
  if (ReceiveAll(control_, answer, Deadline::In(wait)) != NetResult::Done) {
    LogText("The handheld did not answer the desktop password");
    return Unlocking::Failed;
  }
  if (WireReader(answer).U16() == 0) return Unlocking::Refused;
  password_ = password;
  last_ping_ = MonotonicMs();
  return Unlocking::Open;
}

Socket LegacyControl::OpenSession(const std::optional<std::string>& password, bool& refused) {
  refused = false;
  const NetAddress to{peer_.ip, config_.legacy_session_port};
  const Deadline dial_until = Deadline::In(config_.timeouts.dial_ms);
  Socket session;
  for (;;) {
    const NetResult dialled =
        ConnectTcp(NetAddress{config_.listen.ip, 0}, to, config_.net_interface,
                   dial_until.Earlier(Deadline::In(config_.timeouts.session_ms)), session);
    if (dialled == NetResult::Done) break;
    if (dial_until.Passed() || !control_) {
      LogText("Cannot open a session on %s:%u: %s", FormatIpv4(to.ip).c_str(), to.port,
              SocketFailureText().c_str());
      return {};
    }
    // Refused: a handheld back from a disconnect refuses for a while.
    if (WaitForSession(Socket(), Deadline::In(kLegacyDialGapMs)) == NetResult::Failed) return {};
  }
  if (!password) return session;
  const int wait = config_.timeouts.handshake_ms;
  std::uint8_t answer[1];
  if (SendMessage(session, Password(*password, challenge_), wait) != NetResult::Done ||
      ReceiveAll(session, answer, Deadline::In(wait)) != NetResult::Done) {
    LogText("The handheld did not answer the desktop password on its session");
    return {};
  }
  if (answer[0] == 0) {
    refused = true;
    return {};
  }
  return session;
}

bool LegacyControl::PingIfDue() {
  if (MonotonicMs() - last_ping_ < kLegacyPingMs) return true;
  if (unanswered_ >= kLegacyPingMisses) {
    LogText("The handheld answered none of %d pings: gone", kLegacyPingMisses);
    control_.Close();
    return false;
  }
  last_ping_ = MonotonicMs();
  ++unanswered_;
  return SendWords(control_, {kLegacyPing}, config_.timeouts.handshake_ms) == NetResult::Done;
}

bool LegacyControl::ServiceControl() {
  std::uint32_t word = 0;
  if (ReadWord(control_, Deadline::In(config_.timeouts.handshake_ms), word) != NetResult::Done) {
    LogText("The handheld closed its control connection");
    control_.Close();
    return false;
  }
  if (word == kLegacyPing) {
    unanswered_ = 0;
  } else if (word != kLegacyNothing && noise_.Note(Noise::UnknownWord)) {
    LogText("Unexpected control word %u from the handheld", word);
  }
  return true;
}

NetResult LegacyControl::WaitForSession(const Socket& session, Deadline deadline) {
  for (;;) {
    if (!control_ || !PingIfDue()) return NetResult::Failed;
    const Socket* waits[] = {&session, &control_, &listener_};
    std::size_t ready = 0;
    const Deadline wait = deadline.Earlier(Deadline::In(kLegacyPingMs));
    switch (WaitReadable(waits, wait, ready)) {
      case NetResult::Failed:
        LogText("Cannot wait for the handheld: %s", SocketFailureText().c_str());
        return NetResult::Failed;
      case NetResult::TimedOut:
        if (deadline.Passed()) return NetResult::TimedOut;
        continue;
      case NetResult::Done:
        break;
    }
    if (ready == 0) return NetResult::Done;
    if (ready == 2) {
      RefuseSecond();
      continue;
    }
    if (!ServiceControl()) return NetResult::Failed;
  }
}

void LegacyControl::RefuseSecond() {
  Socket second;
  NetAddress from;
  if (AcceptTcp(listener_, Deadline::Now(), second, from) != NetResult::Done) return;
  if (noise_.Note(Noise::RefusedPeer)) {
    LogText("Refused a second control connection from %s", FormatIpv4(from.ip).c_str());
  }
}

void LegacyControl::Close() {
  noise_.LogSummary();
  control_.Close();
  listener_.Close();
}

}  // namespace zp::link
