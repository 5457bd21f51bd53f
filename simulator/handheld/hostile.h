// The ways zp-handheld can misbehave on purpose, so that the desktop's
// tests see a handheld that breaks the protocol.
#pragma once

#include <optional>
#include <string_view>

namespace zp::handheld {

enum class Hostile {
  None,
  NeverConnect,        ///< takes the trigger, never connects
  InfoOverrun,         ///< the info packet's name length runs past the packet
  InfoLongName,        ///< the name has no NUL where its length says it ends
  InfoOverCap,         ///< declares a 16 MiB info packet and sends nothing more
  FrameOverCap,        ///< the Nth reply's length is 0x7FFFFFF0
  FrameTruncated,      ///< the Nth reply: its length, half its body, then the connection closes
  ReplyShort,          ///< the Nth reply's frame holds only the last error
  Stall,               ///< the Nth reply never comes
  SecondInfo,          ///< after the first session opens, another info packet on the control link
  WrongSession,        ///< a session connection starts with R+1
  Reconnect,           ///< after the first session opens, a new control connection replaces the old
  TrickleInfo,         ///< the info packet one byte every --trickle-ms
  TrickleReply,        ///< the Nth reply one byte every --trickle-ms
  ListingFlood,        ///< the first listing: 100,000 entries of the least size its flags allow
  UnknownWords,        ///< 1,000 control words of no meaning right after the handshake
  BadFirst,            ///< first a connection whose info packet overruns, then the real one
  ReconnectAtRequest,  ///< the first session request unanswered: a new control connection instead
  // The older link's own.
  LegacyOffsetOut,      ///< the info packet's name offset lies outside the packet
  LegacyNameNoNul,      ///< the info packet's name runs to its end with no NUL
  LegacyShortHeader,    ///< a header of 0x10 (too short for an info packet) in place of its length
  LegacyBadFlag,        ///< the Nth reply's flag is neither 0 nor 1
  LegacyHang,           ///< hangs at the Nth call: no reply, and no ping echoed from then on
  LegacySecondControl,  ///< after the first session opens, a second connection to the control port
};

std::optional<Hostile> ParseHostile(std::string_view text);
std::string_view HostileName(Hostile mode);

/// True for the modes that change the Nth reply of a session.
bool ShapesReply(Hostile mode);

/// True for the modes an older handheld (--legacy) plays, and for those it
/// alone plays.
bool ServesLegacy(Hostile mode);
bool LegacyOnly(Hostile mode);

}  // namespace zp::handheld
