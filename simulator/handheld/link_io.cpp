// Bounded reads, words and the log of zp-handheld.
#include "simulator/handheld/link_io.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

#include "link/message_io.h"
#include "link/wire.h"

namespace zp::handheld {
namespace {

volatile std::sig_atomic_t stop_requested = 0;

extern "C" void OnStop(int) {
  stop_requested = 1;
}

}  // namespace

void CatchStop() {
  struct sigaction action {};
  action.sa_handler = OnStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

bool Stopping() {
  return stop_requested != 0;
}

void Pause(int ms) {
  const std::int64_t deadline = MonotonicMs() + ms;
  for (std::int64_t left = ms; left > 0 && !Stopping(); left = deadline - MonotonicMs()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min<std::int64_t>(left, kTickMs)));
  }
}

NetResult ReadExactly(const Socket& socket, std::span<std::uint8_t> buffer, int timeout_ms) {
  // The whole read by one deadline; a stop is looked at every tick.
  const Deadline deadline = Deadline::In(timeout_ms);
  for (std::size_t got = 0; got < buffer.size();) {
    if (Stopping() || deadline.Passed()) return NetResult::TimedOut;
    std::size_t part = 0;
    const NetResult read =
        ReceiveSome(socket, buffer.subspan(got), deadline.Earlier(Deadline::In(kTickMs)), part);
    if (read == NetResult::Failed) return read;
    got += part;
  }
  return NetResult::Done;
}

NetResult ReadU32(const Socket& socket, std::uint32_t& value, int timeout_ms) {
  std::uint8_t bytes[4];
  const NetResult read = ReadExactly(socket, bytes, timeout_ms);
  if (read == NetResult::Done) value = link::WireReader(bytes).U32();
  return read;
}

NetResult ReadU16(const Socket& socket, std::uint16_t& value, int timeout_ms) {
  std::uint8_t bytes[2];
  const NetResult read = ReadExactly(socket, bytes, timeout_ms);
  if (read == NetResult::Done) value = link::WireReader(bytes).U16();
  return read;
}

bool SendU32(const Socket& socket, std::uint32_t value) {
  link::WireWriter out;
  out.U32(value);
  return SendBytes(socket, out.bytes());
}

bool SendBytes(const Socket& socket, std::span<const std::uint8_t> bytes) {
  return link::SendMessage(socket, bytes, kSendMs) == NetResult::Done;
}

bool Trickle(const Socket& socket, std::span<const std::uint8_t> bytes, int gap_ms) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) Pause(gap_ms);
    if (Stopping() || !SendBytes(socket, bytes.subspan(i, 1))) return false;
  }
  return true;
}

void Log(const std::string& text) {
  std::fprintf(stderr, "zp-handheld: %s\n", text.c_str());
  std::fflush(stderr);
}

Traffic AwaitTraffic(std::span<const Socket* const> watched, int idle_ms,
                     std::int64_t& last_traffic, std::size_t& ready) {
  const NetResult waited = WaitReadable(watched, Deadline::In(kTickMs), ready);
  if (waited == NetResult::Failed) {
    Log("cannot wait on the connections: " + SocketFailureText());
    return Traffic::End;
  }
  if (waited == NetResult::TimedOut) {
    if (MonotonicMs() - last_traffic >= idle_ms) {
      Log("nothing happened for " + std::to_string(idle_ms) + " ms; ending");
      return Traffic::End;
    }
    return Traffic::Quiet;
  }
  last_traffic = MonotonicMs();
  return Traffic::Ready;
}

}  // namespace zp::handheld
