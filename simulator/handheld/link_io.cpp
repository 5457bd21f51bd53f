// Bounded reads, words and the log of zp-handheld.
#include "simulator/handheld/link_io.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

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

NetWait ReadExactly(const Socket& socket, std::span<std::uint8_t> buffer, int timeout_ms) {
  // Each part may take the time that is left, but a stop is looked at
  // every tick.
  const std::int64_t deadline = MonotonicMs() + timeout_ms;
  for (std::size_t got = 0; got < buffer.size();) {
    if (Stopping()) return NetWait::TimedOut;
    const std::int64_t left = deadline - MonotonicMs();
    if (left <= 0) return NetWait::TimedOut;
    std::size_t part = 0;
    const NetWait waited = ReceiveSome(
        socket, buffer.subspan(got), static_cast<int>(std::min<std::int64_t>(left, kTickMs)), part);
    if (waited == NetWait::Failed) return waited;
    got += part;
  }
  return NetWait::Done;
}

NetWait ReadU32(const Socket& socket, std::uint32_t& value, int timeout_ms) {
  std::uint8_t bytes[4];
  const NetWait waited = ReadExactly(socket, bytes, timeout_ms);
  if (waited == NetWait::Done) value = link::WireReader(bytes).U32();
  return waited;
}

NetWait ReadU16(const Socket& socket, std::uint16_t& value, int timeout_ms) {
  std::uint8_t bytes[2];
  const NetWait waited = ReadExactly(socket, bytes, timeout_ms);
  if (waited == NetWait::Done) value = link::WireReader(bytes).U16();
  return waited;
}

bool SendU32(const Socket& socket, std::uint32_t value) {
  link::WireWriter out;
  out.U32(value);
  return SendAll(socket, out.bytes());
}

bool SendBytes(const Socket& socket, std::span<const std::uint8_t> bytes) {
  return SendAll(socket, bytes);
}

void Log(const std::string& text) {
  std::fprintf(stderr, "zp-handheld: %s\n", text.c_str());
  std::fflush(stderr);
}

}  // namespace zp::handheld
