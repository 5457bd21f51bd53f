// An older handheld's control connection: its first word (nothing, or the
// password challenge), its info packet (or a hostile one), the desktop's
// password, and the pings it echoes.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "link/legacy_protocol.h"
#include "link/wire.h"
#include "simulator/handheld/handheld.h"
#include "simulator/handheld/legacy_handheld.h"
#include "simulator/handheld/legacy_identity.h"
#include "simulator/handheld/legacy_password.h"
#include "simulator/handheld/link_io.h"

namespace zp::handheld {
namespace {

constexpr std::size_t kNameOffsetAt = 24;  // the name's offset, in the info packet
/// The legacy-short-header mode's header: too short for an info packet.
constexpr std::uint32_t kShortHeader = 0x10;

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

}  // namespace

std::vector<std::uint8_t> LegacyHandheld::Opening() const {
  link::WireWriter packet;
  packet.Bytes(link::BuildLegacyInfo(info_));
  if (options_.hostile == Hostile::LegacyOffsetOut) {
    packet.PatchU32(kNameOffsetAt, static_cast<std::uint32_t>(packet.size() + 16));
  } else if (options_.hostile == Hostile::LegacyNameNoNul) {
    // The name again at the end, its NUL left out: it runs to the packet's end.
    const std::u16string name = info_.name.empty() ? u"Pocket_PC" : info_.name;
    const std::size_t room = (link::kLegacyMostInfo - packet.size()) / 2;
    packet.PatchU32(kNameOffsetAt, static_cast<std::uint32_t>(packet.size()));
    packet.Utf16(std::u16string_view(name).substr(0, std::max<std::size_t>(room, 1)));
  }
  const auto size = static_cast<std::uint32_t>(packet.size());
  link::WireWriter out;
  out.U32(LegacyLocked(identity_) ? identity_.info.lock_key : link::kLegacyNothing);
  out.U32(options_.hostile == Hostile::LegacyShortHeader ? kShortHeader : size);
  out.Bytes(packet.bytes());
  return std::move(out.bytes());
}

bool LegacyHandheld::SendOpening() {
  if (options_.hostile != Hostile::None) {
    Log(std::string(HostileName(options_.hostile)) + ": mode in force");
  }
  const auto bytes = Opening();
  const bool sent = options_.hostile == Hostile::TrickleInfo
                        ? Trickle(control_, bytes, options_.trickle_ms)
                        : SendBytes(control_, bytes);
  if (!sent) {
    Log("cannot send the info packet: " + SocketFailureText());
    return false;
  }
  Log("info packet sent: partner " + Hex(info_.partner_id) + ", OS " +
      std::to_string(info_.os_major) + "." + std::to_string(info_.os_minor) +
      (LegacyLocked(identity_) ? ", challenge " + Hex(identity_.info.lock_key) : ", no lock"));
  return true;
}

bool LegacyHandheld::OnControl() {
  if (awaiting_password_) return OnPasswordAttempt();
  std::uint32_t word = 0;
  const NetResult waited = ReadU32(control_, word, options_.io_ms);
  if (waited != NetResult::Done) {
    Log(waited == NetResult::Failed ? "the desktop closed the control connection"
                                    : "a control word did not come whole; the connection closes");
    return false;
  }
  if (word == link::kLegacyPing) {
    // Hung: the call was taken (its spoiling is spent) and nothing answers.
    if (options_.hostile == Hostile::LegacyHang && spoil_.mode == Hostile::None) {
      Log("legacy-hang: the ping goes unanswered");
      return true;
    }
    if (SendU32(control_, link::kLegacyPing)) return true;
    Log("the ping's echo could not be sent: " + SocketFailureText());
    return false;
  }
  Log("control word " + Hex(word) + " is not a ping; the control connection closes");
  return false;
}

bool LegacyHandheld::OnPasswordAttempt() {
  std::string problem;
  const auto accepted = ReadPasswordAttempt(control_, identity_, options_.io_ms, problem);
  if (!accepted) {
    Log("control connection: " + problem + "; it closes");
    return false;
  }
  {
    std::ofstream log(std::filesystem::path(options_.world) / "password.log",
                      std::ios::binary | std::ios::app);
    log << (*accepted ? "accepted" : "refused") << '\n';
  }
  Log(*accepted ? "password accepted" : "password refused");
  link::WireWriter answer;
  answer.U16(*accepted ? 1 : 0);
  if (!SendBytes(control_, answer.bytes())) return false;
  if (*accepted) {
    awaiting_password_ = false;
    return true;
  }
  if (++refusals_ < kLegacyPasswordTries) return true;
  Log(std::to_string(kLegacyPasswordTries) +
      " passwords refused; the control connection closes, as the link would end");
  exit_code_ = kExitNoLink;
  return false;
}

}  // namespace zp::handheld
