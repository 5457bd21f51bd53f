// What a device's junk may cost the desktop: a few log lines per docking for
// each kind of it, then one line with the count; and whether unknown
// control words come faster than a handheld's real traffic could.
#pragma once

#include <array>
#include <cstdint>
#include <deque>

namespace zp::link {

enum class Noise {
  UnknownWord,  ///< a control request of no known meaning
  RefusedPeer,  ///< a connection that was not the handheld's, or failed its handshake
};

class NoiseLimit {
 public:
  /// The lines logged of each kind before they are only counted.
  static constexpr std::uint32_t kLogged = 3;
  /// More unknown words than this within kFloodWindowMs are a flood: the
  /// protocol is only partly known, so a slow stream of them never is.
  static constexpr std::size_t kFloodWords = 100;
  static constexpr std::int64_t kFloodWindowMs = 10'000;

  /// Counts one of `kind`; true while it may still be logged.
  bool Note(Noise kind);
  /// Notes one unknown word at `now_ms`; true when they now come as a flood.
  bool Flooding(std::int64_t now_ms);
  /// One line per kind for what was counted but not logged; then nothing
  /// until more comes.
  void LogSummary();

 private:
  std::array<std::uint32_t, 2> seen_{};
  std::array<std::uint32_t, 2> summarised_{};
  std::deque<std::int64_t> recent_words_;
};

}  // namespace zp::link
