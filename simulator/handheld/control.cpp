// The handheld's control connection: the handshake, its device info (or a
// hostile one), the lock, and the desktop's requests.
#include <filesystem>
#include <fstream>
#include <string>

#include "link/protocol.h"
#include "simulator/handheld/handheld.h"
#include "simulator/handheld/link_io.h"

namespace zp::handheld {
namespace {

constexpr std::uint32_t kInfoOverCapSize = 0x01000000u;
constexpr std::size_t kNameLengthOffset = 24;  // L, in the info packet
/// A name length that runs past any info packet but stays under the
/// desktop's cap on names, so that the overrun is what is refused.
constexpr std::uint32_t kOverrunNameLength = 1000;
/// The unknown-words mode's stream.
constexpr int kUnknownWords = 1000;
constexpr std::uint32_t kUnknownWord = 0x55AA55AAu;
/// The longest password attempt read; a longer one ends the connection.
constexpr std::uint16_t kMaxPasswordBytes = 4096;

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

}  // namespace

Handheld::Step Handheld::Expect(const char* what, std::span<const std::uint32_t> expected) {
  bool same = true;
  std::string got;
  for (const std::uint32_t want : expected) {
    std::uint32_t word = 0;
    const NetResult waited = ReadU32(control_, word, options_.io_ms);
    if (waited == NetResult::Failed) {
      Log(std::string("the desktop closed the control connection before its ") + what + " answer");
      return Step::Ended;
    }
    if (waited != NetResult::Done) {
      Log(std::string("no ") + what + " answer came");
      return Step::Failed;
    }
    same = same && word == want;
    got += (got.empty() ? "" : ", ") + std::to_string(word);
  }
  if (!same) Log(std::string(what) + " answer " + got + " (not the usual one), taken");
  return Step::Go;
}

std::vector<std::uint8_t> Handheld::InfoPacket() const {
  link::DeviceInfo info = identity_.info;
  if (options_.hostile == Hostile::InfoLongName && info.name.empty()) info.name = u"Pocket_PC";
  auto packet = link::BuildDeviceInfo(info);
  link::WireWriter patched;
  patched.Bytes(packet);
  if (options_.hostile == Hostile::InfoOverrun) {
    patched.PatchU32(kNameLengthOffset, kOverrunNameLength);
  } else if (options_.hostile == Hostile::InfoLongName) {
    // One character short: where the NUL should be is the name's last character.
    patched.PatchU32(kNameLengthOffset, static_cast<std::uint32_t>(info.name.size() - 1));
  }
  return std::move(patched.bytes());
}

Handheld::Step Handheld::Handshake() {
  if (!SendU32(control_, link::kCtlHello)) return Step::Failed;
  if (const Step step = Expect("hello", std::span(&link::kCtlHelloAnswer, 1)); step != Step::Go) {
    return step;
  }
  if (!SendU32(control_, link::kCtlVersion)) return Step::Failed;
  if (const Step step = Expect("version", link::kCtlVersionAnswer); step != Step::Go) return step;
  link::WireWriter out;
  out.U32(link::kCtlInfo);
  if (options_.hostile == Hostile::InfoOverCap) {
    out.U32(kInfoOverCapSize);
    Log("info-over-cap: an info packet of " + Hex(kInfoOverCapSize) + " bytes is announced");
  } else {
    const auto packet = InfoPacket();
    out.U32(static_cast<std::uint32_t>(packet.size())).Bytes(packet);
    if (options_.hostile != Hostile::None) {
      Log(std::string(HostileName(options_.hostile)) + ": mode in force");
    }
  }
  const bool sent = options_.hostile == Hostile::TrickleInfo
                        ? Trickle(control_, out.bytes(), options_.trickle_ms)
                        : SendBytes(control_, out.bytes());
  if (!sent) {
    Log("cannot send the device info: " + SocketFailureText());
    return Step::Ended;
  }
  Log("device info sent: " + link::FormatGuid(identity_.info.guid) + ", partner " +
      Hex(identity_.info.partner_id) + ", lock " + Hex(identity_.info.lock_key));
  if (options_.hostile == Hostile::UnknownWords) {
    link::WireWriter junk;
    for (int i = 0; i < kUnknownWords; ++i) junk.U32(kUnknownWord);
    Log("unknown-words: " + std::to_string(kUnknownWords) + " words of no meaning");
    if (!SendBytes(control_, junk.bytes())) return Step::Ended;
  }
  return Step::Go;
}

void Handheld::Reconnect() {
  Socket old = std::move(control_);
  if (ConnectTcp(NetAddress{options_.device_ip, 0}, NetAddress{options_.desktop_ip, options_.port},
                 "", Deadline::In(options_.io_ms), control_) != NetResult::Done) {
    Log("reconnect: cannot connect again: " + SocketFailureText() + "; the old connection stays");
    control_ = std::move(old);
    return;
  }
  if (Handshake() != Step::Go) {
    Log("reconnect: the new control connection's handshake failed; the old connection stays");
    control_ = std::move(old);
    return;
  }
  old.Close();
  Log("reconnect: a new control connection replaced the old one, now closed");
}

bool Handheld::OnControl() {
  if (lock_ == Lock::Password) return OnPasswordAttempt();
  std::uint32_t request = 0;
  const NetResult waited = ReadU32(control_, request, options_.io_ms);
  if (waited != NetResult::Done) {
    Log(waited == NetResult::Failed ? "the desktop closed the control connection"
                                    : "a control request did not come whole");
    return false;
  }
  switch (request) {
    case link::kCtlPing:
      return SendU32(control_, link::kCtlPong);
    case link::kCtlSession:
      return OnSessionRequest();
    case link::kCtlShowUnlock:
      return OnUnlockRequest();
    default:
      Log("control request " + std::to_string(request) + " is not known; ignored");
      return true;
  }
}

bool Handheld::OnSessionRequest() {
  std::uint32_t argument = 0;
  std::uint32_t request = 0;
  if (ReadU32(control_, argument, options_.io_ms) != NetResult::Done ||
      ReadU32(control_, request, options_.io_ms) != NetResult::Done) {
    Log("a session request did not come whole");
    return false;
  }
  if (argument != link::kCtlSessionArg) {
    Log("session request with " + std::to_string(argument) + " where 4 was expected; served");
  }
  if (Locked()) {
    Log("session " + std::to_string(request) + " asked for while locked; refused");
    return true;
  }
  if (reconnect_at_request_due_) {
    reconnect_at_request_due_ = false;
    Log("reconnect-at-request: session " + std::to_string(request) + " is not served");
    Reconnect();
    return true;
  }
  OpenSession(request);
  return true;
}

bool Handheld::OnUnlockRequest() {
  if (lock_ == Lock::OnDevice) {
    Log("the unlock screen is shown; unlocked in " + std::to_string(options_.unlock_after_ms) +
        " ms");
    Pause(options_.unlock_after_ms);
    if (Stopping()) return false;
  } else {
    Log("unlock asked for, but not locked on the device; answered at once");
  }
  if (!SendU32(control_, link::kCtlUnlocked)) return false;
  const Step step = Expect("unlock", link::kCtlUnlockedAck);
  if (step != Step::Go) return false;
  if (lock_ == Lock::OnDevice) lock_ = Lock::None;
  Log("unlocked");
  return true;
}

bool Handheld::OnPasswordAttempt() {
  std::uint16_t size = 0;
  if (ReadU16(control_, size, options_.io_ms) != NetResult::Done) {
    Log("the desktop closed the control connection (locked)");
    return false;
  }
  if (size > kMaxPasswordBytes) {
    Log("a password of " + std::to_string(size) + " bytes; the control connection closes");
    return false;
  }
  std::vector<std::uint8_t> encoded(size);
  if (ReadExactly(control_, encoded, options_.io_ms) != NetResult::Done) {
    Log("a password attempt did not come whole");
    return false;
  }
  const bool accepted = PasswordMatches(encoded, identity_.info.lock_key, identity_.password);
  {
    std::ofstream log(std::filesystem::path(options_.world) / "password.log",
                      std::ios::binary | std::ios::app);
    log << (accepted ? "accepted" : "refused") << '\n';
  }
  Log(accepted ? "password accepted" : "password refused");
  link::WireWriter answer;
  answer.U16(accepted ? 1 : 0);
  if (!SendBytes(control_, answer.bytes())) return false;
  if (accepted) lock_ = Lock::None;
  return true;
}

}  // namespace zp::handheld
