// The numbers of the handheld's link (Windows Mobile 5 and later): ports,
// the control connection's requests and answers, and the remote API's
// command numbers. The points that are observed rather than documented are
// each one constant here, with what was observed.
#pragma once

#include <cstdint>

namespace zp::link {

/// The desktop listens here; the handheld connects for control and sessions.
inline constexpr std::uint16_t kDesktopPort = 990;
/// The handheld listens here (UDP) for the trigger.
inline constexpr std::uint16_t kTriggerPort = 5679;
/// The trigger: one datagram of this single byte asks the handheld to connect.
inline constexpr std::uint8_t kTriggerByte = 0x7F;

// Control connection: the handheld's requests (each one u32) and the
// desktop's answers.
inline constexpr std::uint32_t kCtlHello = 0;        ///< answered with kCtlHelloAnswer
inline constexpr std::uint32_t kCtlHelloAnswer = 3;  ///< observed; its meaning is not known
inline constexpr std::uint32_t kCtlVersion = 6;      ///< answered with kCtlVersionAnswer
/// Observed: 7, 8, 4, 5. One older desktop answered 7, 8, 4, 1; the meaning
/// of the four numbers is not known.
inline constexpr std::uint32_t kCtlVersionAnswer[4] = {7, 8, 4, 5};
inline constexpr std::uint32_t kCtlInfo = 4;  ///< u32 N and N bytes of device info follow
/// Keepalive: the desktop sends kCtlPing, the handheld answers kCtlPong.
/// ActiveSync is described as pinging about every 40 s; others sent nothing,
/// or pinged every 5 s. A missed answer is not taken as a lost device: only
/// a closed connection or a reply that does not come is.
inline constexpr std::uint32_t kCtlPing = 1;
inline constexpr std::uint32_t kCtlPong = 2;
/// The desktop asks for a session: kCtlSession, kCtlSessionArg, then the
/// request number R; the handheld opens a connection starting with R.
inline constexpr std::uint32_t kCtlSession = 5;
inline constexpr std::uint32_t kCtlSessionArg = 4;
/// Unlock on the device: the desktop sends kCtlShowUnlock; the handheld
/// answers kCtlUnlocked once the user unlocked it; the desktop then sends
/// kCtlUnlockedAck (observed as needed, meaning unknown).
inline constexpr std::uint32_t kCtlShowUnlock = 8;
inline constexpr std::uint32_t kCtlUnlocked = 0;
inline constexpr std::uint32_t kCtlUnlockedAck[2] = {0, 0x0C};

/// The frame caps: every length from the peer is checked before anything
/// is allocated. Listings hold at most 564 bytes per file, and at most
/// 65,536 files (kMaxListingRecords): about 37 MB. The cap also bounds how
/// long a listing that trickles at the floor rate can hold its call.
inline constexpr std::uint32_t kMaxListingFrame = 40u * 1024 * 1024;
inline constexpr std::uint32_t kMaxFrame = 1024 * 1024;
/// The most one request asks of a read or a write.
inline constexpr std::uint32_t kMaxTransfer = 64 * 1024;

// The remote API's commands (RAPI2).
enum Command : std::uint32_t {
  kCmdFindFirstFile = 0x11,
  kCmdFindNextFile = 0x12,
  kCmdFindClose = 0x13,
  kCmdGetFileAttributes = 0x14,
  kCmdCreateFile = 0x16,
  kCmdReadFile = 0x17,
  kCmdWriteFile = 0x18,
  kCmdCloseHandle = 0x19,
  kCmdFindAllFiles = 0x1A,
  kCmdCreateDirectory = 0x28,
  kCmdRemoveDirectory = 0x29,
  kCmdCreateProcess = 0x2A,
  kCmdMoveFile = 0x2B,
  kCmdDeleteFile = 0x2D,
  kCmdRegOpenKeyEx = 0x2F,
  kCmdRegCreateKeyEx = 0x31,
  kCmdRegCloseKey = 0x32,
  kCmdRegQueryValueEx = 0x37,
  kCmdRegSetValueEx = 0x38,
  kCmdGetStoreInformation = 0x39,
  kCmdGetSystemInfo = 0x3D,
  kCmdGetVersionEx = 0x43,
  kCmdGetSystemPowerStatusEx = 0x49,
  kCmdGetSpecialFolderPath = 0x4B,
};

/// The last error of a command the handheld does not know.
inline constexpr std::uint32_t kErrorCallNotImplemented = 120;

/// The desktop password's encoding: UTF-16LE, every byte XOR'ed with the
/// lock key's low byte, after a u16 byte count. Whether the terminating NUL
/// is sent is not settled (both have been used); this sends it.
inline constexpr bool kPasswordWithNul = true;

}  // namespace zp::link
