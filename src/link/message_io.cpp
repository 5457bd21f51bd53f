// Whole messages of the link, each by one deadline.
#include "link/message_io.h"

#include "link/wire.h"

namespace zp::link {

Deadline AtFloorRate(Deadline start, std::uint64_t bytes) {
  return Deadline{start.at_ms + static_cast<std::int64_t>(bytes * 1000 / kFloorBytesPerSecond)};
}

NetResult ReadWord(const Socket& from, Deadline deadline, std::uint32_t& word) {
  std::uint8_t bytes[4];
  const NetResult read = ReceiveAll(from, bytes, deadline);
  if (read == NetResult::Done) word = WireReader(bytes).U32();
  return read;
}

NetResult SendMessage(const Socket& to, std::span<const std::uint8_t> bytes, int wait_ms) {
  return SendAll(to, bytes, AtFloorRate(Deadline::In(wait_ms), bytes.size()));
}

NetResult SendWords(const Socket& to, std::initializer_list<std::uint32_t> words, int wait_ms) {
  WireWriter out;
  for (const std::uint32_t word : words) out.U32(word);
  return SendMessage(to, out.bytes(), wait_ms);
}

FrameRead ReadCounted(const Socket& from, Deadline first, std::uint32_t size, std::uint32_t cap,
                      std::vector<std::uint8_t>& body) {
  if (size > cap) return FrameRead::OverCap;
  body.resize(size);
  switch (ReceiveAll(from, body, AtFloorRate(first, size))) {
    case NetResult::Done:
      return FrameRead::Done;
    case NetResult::TimedOut:
      return FrameRead::TimedOut;
    case NetResult::Failed:
      break;
  }
  return FrameRead::Closed;
}

FrameRead ReadFrame(const Socket& from, Deadline first, std::uint32_t cap,
                    std::vector<std::uint8_t>& body, std::uint32_t& length) {
  switch (ReadWord(from, first, length)) {
    case NetResult::Done:
      return ReadCounted(from, first, length, cap, body);
    case NetResult::TimedOut:
      return FrameRead::TimedOut;
    case NetResult::Failed:
      break;
  }
  return FrameRead::Closed;
}

}  // namespace zp::link
