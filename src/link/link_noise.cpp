// The bounds on a device's junk.
#include "link/link_noise.h"

#include "report/log.h"

namespace zp::link {

bool NoiseLimit::Note(Noise kind) {
  return ++seen_[static_cast<std::size_t>(kind)] <= kLogged;
}

bool NoiseLimit::Flooding(std::int64_t now_ms) {
  recent_words_.push_back(now_ms);
  while (recent_words_.size() > kFloodWords + 1) recent_words_.pop_front();
  return recent_words_.size() > kFloodWords && now_ms - recent_words_.front() < kFloodWindowMs;
}

void NoiseLimit::LogSummary() {
  static constexpr const char* kWhat[] = {"unexpected control requests from the handheld",
                                          "refused connections"};
  for (std::size_t kind = 0; kind < seen_.size(); ++kind) {
    const std::uint32_t unlogged = seen_[kind] > kLogged ? seen_[kind] - kLogged : 0;
    if (unlogged <= summarised_[kind]) continue;
    LogText("%u more %s, not logged one by one", unlogged - summarised_[kind], kWhat[kind]);
    summarised_[kind] = unlogged;
  }
}

}  // namespace zp::link
