#include "handheld/desktop_side.h"

#include <unistd.h>

#include "link/message_io.h"
#include "link/protocol.h"
#include "support/own_network.h"

namespace zp::test {

LoopbackPair PickAddresses() {
  const auto pid = static_cast<std::uint32_t>(::getpid());
  const std::uint32_t x = 1 + (pid >> 8) % 254;
  const std::uint32_t y = pid & 0xFF;
  const std::uint32_t base = (127u << 24) | (x << 16) | (y << 8);
  return LoopbackPair{base | 1, base | 2};
}

DesktopSide::DesktopSide() : addresses_(PickAddresses()) {
  EnterOwnNetwork();  // without root, port 990 in a namespace of its own
  if (ListenTcp(NetAddress{addresses_.desktop, port_}, "", listener_) !=
      NetResult::Done) {  // not allowed to bind 990: an unprivileged port, passed with --port
    port_ = static_cast<std::uint16_t>(20000 + ::getpid() % 20000);
    ListenTcp(NetAddress{addresses_.desktop, port_}, "", listener_);
  }
}

std::vector<std::string> DesktopSide::AddressArgs() const {
  return {"--device", FormatIpv4(addresses_.device), "--desktop", FormatIpv4(addresses_.desktop),
          "--port",   std::to_string(port_)};
}

bool DesktopSide::AcceptControl() {
  const std::uint8_t trigger[] = {link::kTriggerByte};
  const std::int64_t deadline = MonotonicMs() + kTestWaitMs;
  while (MonotonicMs() < deadline) {
    SendDatagram(NetAddress{addresses_.desktop, 0},
                 NetAddress{addresses_.device, link::kTriggerPort}, "", trigger);
    NetAddress peer;
    if (AcceptTcp(listener_, Deadline::In(200), control_, peer) == NetResult::Done) {
      return peer.ip == addresses_.device;
    }
  }
  return false;
}

bool DesktopSide::Send(std::initializer_list<std::uint32_t> words) {
  link::WireWriter out;
  for (const std::uint32_t word : words) out.U32(word);
  return SendAll(control_, out.bytes(), Deadline::In(kTestWaitMs)) == NetResult::Done;
}

std::optional<std::uint32_t> DesktopSide::ReadWord(int timeout_ms) {
  std::uint8_t bytes[4];
  if (ReceiveAll(control_, bytes, Deadline::In(timeout_ms)) != NetResult::Done) return std::nullopt;
  return link::WireReader(bytes).U32();
}

std::optional<link::DeviceInfo> DesktopSide::Handshake(std::string& problem) {
  if (ReadWord() != link::kCtlHello || !Send({link::kCtlHelloAnswer})) {
    problem = "no hello";
    return std::nullopt;
  }
  if (ReadWord() != link::kCtlVersion || !Send({7, 8, 4, 5})) {
    problem = "no version request";
    return std::nullopt;
  }
  const auto info = ReadWord();
  const auto size = ReadWord();
  if (info != link::kCtlInfo || !size) {
    problem = "no info packet";
    return std::nullopt;
  }
  if (*size > link::kMaxDeviceInfoBytes) {
    problem = "the info packet is over the cap";
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes(*size);
  if (ReceiveAll(control_, bytes, Deadline::In(kTestWaitMs)) != NetResult::Done) {
    problem = "the info packet did not come whole";
    return std::nullopt;
  }
  return link::ParseDeviceInfo(bytes, problem);
}

Socket DesktopSide::OpenSession(std::uint32_t request, std::uint32_t* first_word, int timeout_ms) {
  if (!Send({link::kCtlSession, link::kCtlSessionArg, request})) return {};
  Socket session;
  NetAddress peer;
  if (AcceptTcp(listener_, Deadline::In(timeout_ms), session, peer) != NetResult::Done) return {};
  std::uint8_t bytes[4];
  if (ReceiveAll(session, bytes, Deadline::In(kTestWaitMs)) != NetResult::Done) return {};
  if (first_word) *first_word = link::WireReader(bytes).U32();
  return session;
}

link::WireWriter Request(std::uint32_t command) {
  link::WireWriter frame = link::StartFrame();
  frame.U32(command);
  return frame;
}

std::optional<std::vector<std::uint8_t>> ReadFrame(const Socket& connection) {
  std::vector<std::uint8_t> body;
  std::uint32_t length = 0;
  if (link::ReadFrame(connection, Deadline::In(kTestWaitMs), link::kMaxListingFrame, body,
                      length) != link::FrameRead::Done) {
    return std::nullopt;
  }
  return body;
}

std::optional<std::vector<std::uint8_t>> Call(const Socket& session, link::WireWriter request) {
  if (SendAll(session, link::FinishFrame(std::move(request)), Deadline::In(kTestWaitMs)) !=
      NetResult::Done) {
    return std::nullopt;
  }
  return ReadFrame(session);
}

bool SendWithin(const Socket& connection, std::span<const std::uint8_t> bytes, int timeout_ms) {
  return SendAll(connection, bytes, Deadline::In(timeout_ms)) == NetResult::Done;
}

NetResult ReceiveWithin(const Socket& connection, std::span<std::uint8_t> buffer, int timeout_ms) {
  return ReceiveAll(connection, buffer, Deadline::In(timeout_ms));
}

bool ClosedWithNothing(const Socket& connection, int timeout_ms) {
  std::uint8_t byte[1];
  return ReceiveAll(connection, byte, Deadline::In(timeout_ms)) == NetResult::Failed;
}

}  // namespace zp::test
