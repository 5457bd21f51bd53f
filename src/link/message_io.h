// Whole messages of the handheld's link: control words and length-prefixed
// frames, each read or sent by one deadline for the whole message. A
// message's deadline is the wait for its first byte plus its length at a
// floor rate, so a large listing over a slow line still arrives while a
// peer that trickles cannot hold a call. Used by both ends of the link.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "platform/sockets.h"

namespace zp::link {

/// The slowest a message may come or go once it began: 2 KiB/s, well under
/// a 115,200 bit/s serial line.
inline constexpr std::uint32_t kFloorBytesPerSecond = 2048;

/// `start` moved on by the time `bytes` take at the floor rate.
Deadline AtFloorRate(Deadline start, std::uint64_t bytes);

/// One u32 word by `deadline`.
NetResult ReadWord(const Socket& from, Deadline deadline, std::uint32_t& word);
/// u32 words in one send; the deadline is `wait_ms` plus their size at the
/// floor rate.
NetResult SendWords(const Socket& to, std::initializer_list<std::uint32_t> words, int wait_ms);
/// Any bytes in one send, as SendWords.
NetResult SendMessage(const Socket& to, std::span<const std::uint8_t> bytes, int wait_ms);

/// What reading a frame came to.
enum class FrameRead {
  Done,
  TimedOut,  ///< its length or its body did not come by its deadline
  Closed,    ///< the connection ended or failed, before or inside it
  OverCap,   ///< its length is over the cap: nothing of the body was read
};

/// One frame, u32 L then L bytes, into `body`: its length by `first`, its
/// body by `first` plus L at the floor rate. `length` is L once read.
/// Nothing is allocated for a length over `cap`.
FrameRead ReadFrame(const Socket& from, Deadline first, std::uint32_t cap,
                    std::vector<std::uint8_t>& body, std::uint32_t& length);

/// A counted block, `size` bytes whose count came before, as ReadFrame
/// reads a body (the device info, a password).
FrameRead ReadCounted(const Socket& from, Deadline first, std::uint32_t size, std::uint32_t cap,
                      std::vector<std::uint8_t>& body);

}  // namespace zp::link
