// Deadlines on the monotonic clock, the same on every platform.
#include <algorithm>

#include "platform/sockets.h"

namespace zp {

Deadline Deadline::In(std::int64_t ms) {
  return Deadline{MonotonicMs() + ms};
}

int Deadline::LeftMs() const {
  return static_cast<int>(std::clamp<std::int64_t>(at_ms - MonotonicMs(), 0, 86'400'000));
}

}  // namespace zp
