// The numbers of the older handhelds' link (Pocket PC 2000, 2002, 2003): a
// serial line with a short text exchange and PPP, a control connection the
// handheld opens to the desktop's TCP 5679, and the older remote API
// ("RAPI1") on the handheld's own TCP 990, one connection per session. The
// points that are observed rather than documented are each one constant
// here, with what was observed.
#pragma once

#include <cstdint>

namespace zp::link {

/// The desktop listens here for the older handhelds' control connection.
inline constexpr std::uint16_t kLegacyControlPort = 5679;
/// The desktop dials the handheld here for each session.
inline constexpr std::uint16_t kLegacySessionPort = 990;

// The serial line's text exchange.
inline constexpr char kChatClient[] = "CLIENT";
inline constexpr char kChatServer[] = "CLIENTSERVER";
/// A PPP frame's flag: a handheld that sends it already runs PPP.
inline constexpr std::uint8_t kPppFlag = 0x7E;
/// The most bytes read while waiting for CLIENT.
inline constexpr std::size_t kChatMaxBytes = 256;

// The control connection: every word the handheld sends is classified by
// its value (H).
inline constexpr std::uint32_t kLegacyNothing = 0;       ///< "no password": ignored
inline constexpr std::uint32_t kLegacyLeastInfo = 0x24;  ///< H below this (but 0): dropped
inline constexpr std::uint32_t kLegacyMostInfo =
    0x1FF;  ///< H up to this: an info packet of H bytes
inline constexpr std::uint32_t kLegacyPing = 0x12345678u;  ///< the desktop's ping, echoed
/// Any other H of 0x200 or more is a password challenge; its key is H & 0xFF.
inline constexpr std::uint32_t kLegacyChallengeKeyMask = 0xFF;

/// The keepalive: a ping this often; this many unanswered mean the handheld
/// is gone.
inline constexpr int kLegacyPingMs = 5'000;
inline constexpr int kLegacyPingMisses = 3;

/// After a reconnect a Windows CE 4.x handheld may refuse connections to its
/// 990 for up to 40 s: the desktop dials again for longer than that.
inline constexpr int kLegacyDialRetryMs = 60'000;
inline constexpr int kLegacyDialGapMs = 1'000;

/// One read or write asks at most this much: the desktop software of the
/// time moved down from 64 KiB to 16 KiB for serial links.
inline constexpr std::uint32_t kLegacyMaxTransfer = 16 * 1024;

/// A reply's flag word: 0, or 1 with an HRESULT after it.
inline constexpr std::uint32_t kReplyPlain = 0;
inline constexpr std::uint32_t kReplyWithResult = 1;
/// What a handheld answers an unknown command with (flag 1): E_NOTIMPL
/// (uncertain).
inline constexpr std::uint32_t kENotImpl = 0x80004001u;

// The older remote API's commands (RAPI1).
enum LegacyCommand : std::uint32_t {
  kLegFindFirstFile = 0x00,
  kLegFindNextFile = 0x01,
  kLegFindClose = 0x02,
  kLegGetFileAttributes = 0x03,
  kLegCreateFile = 0x05,
  kLegReadFile = 0x06,
  kLegWriteFile = 0x07,
  kLegCloseHandle = 0x08,
  kLegFindAllFiles = 0x09,
  kLegCreateDirectory = 0x17,
  kLegRemoveDirectory = 0x18,
  kLegCreateProcess = 0x19,
  kLegMoveFile = 0x1A,
  kLegDeleteFile = 0x1C,
  kLegRegOpenKeyEx = 0x1E,
  kLegRegCreateKeyEx = 0x20,
  kLegRegCloseKey = 0x21,
  kLegRegQueryValueEx = 0x26,
  kLegRegSetValueEx = 0x27,
  kLegGetSystemMemoryDivision = 0x28,
  kLegGetStoreInformation = 0x29,
  kLegGetSystemInfo = 0x2F,
  kLegGetVersionEx = 0x3B,
  kLegGetSystemPowerStatusEx = 0x41,
  kLegGetSpecialFolderPath = 0x44,
};

}  // namespace zp::link
