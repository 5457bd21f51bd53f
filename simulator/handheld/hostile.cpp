// The names of the hostile modes, and which generation plays each.
#include "simulator/handheld/hostile.h"

#include <iterator>
#include <utility>

namespace zp::handheld {
namespace {

constexpr std::pair<Hostile, std::string_view> kNames[] = {
    {Hostile::None, "none"},
    {Hostile::NeverConnect, "never-connect"},
    {Hostile::InfoOverrun, "info-overrun"},
    {Hostile::InfoLongName, "info-long-name"},
    {Hostile::InfoOverCap, "info-over-cap"},
    {Hostile::FrameOverCap, "frame-over-cap"},
    {Hostile::FrameTruncated, "frame-truncated"},
    {Hostile::ReplyShort, "reply-short"},
    {Hostile::Stall, "stall"},
    {Hostile::SecondInfo, "second-info"},
    {Hostile::WrongSession, "wrong-session"},
    {Hostile::Reconnect, "reconnect"},
    {Hostile::TrickleInfo, "trickle-info"},
    {Hostile::TrickleReply, "trickle-reply"},
    {Hostile::ListingFlood, "listing-flood"},
    {Hostile::UnknownWords, "unknown-words"},
    {Hostile::BadFirst, "bad-first"},
    {Hostile::ReconnectAtRequest, "reconnect-at-request"},
    {Hostile::LegacyOffsetOut, "legacy-offset-out"},
    {Hostile::LegacyNameNoNul, "legacy-name-no-nul"},
    {Hostile::LegacyShortHeader, "legacy-short-header"},
    {Hostile::LegacyBadFlag, "legacy-bad-flag"},
    {Hostile::LegacyHang, "legacy-hang"},
    {Hostile::LegacySecondControl, "legacy-second-control"},
};

}  // namespace

std::optional<Hostile> ParseHostile(std::string_view text) {
  for (const auto& [mode, name] : kNames) {
    if (name == text) return mode;
  }
  return std::nullopt;
}

std::string_view HostileName(Hostile mode) {
  for (const auto& [each, name] : kNames) {
    if (each == mode) return name;
  }
  return "?";
}

bool ShapesReply(Hostile mode) {
  return mode == Hostile::FrameOverCap || mode == Hostile::FrameTruncated ||
         mode == Hostile::ReplyShort || mode == Hostile::Stall || mode == Hostile::TrickleReply ||
         mode == Hostile::LegacyBadFlag || mode == Hostile::LegacyHang;
}

bool ServesLegacy(Hostile mode) {
  return mode == Hostile::None || mode == Hostile::TrickleInfo || ShapesReply(mode) ||
         LegacyOnly(mode);
}

bool LegacyOnly(Hostile mode) {
  return mode == Hostile::LegacyOffsetOut || mode == Hostile::LegacyNameNoNul ||
         mode == Hostile::LegacyShortHeader || mode == Hostile::LegacyBadFlag ||
         mode == Hostile::LegacyHang || mode == Hostile::LegacySecondControl;
}

}  // namespace zp::handheld
