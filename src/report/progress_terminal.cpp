// The terminal renderer of the progress window.
#include "report/progress_terminal.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

namespace zp {
namespace {

// Columns: the line never reaches the 80th, so no terminal wraps it.
constexpr std::size_t kLineWidth = 79;
constexpr std::size_t kStatusWidth = 20;  // beside the bar
constexpr int kBarWidth = 12;
// The figures of a running bar are drawn at most this often.
constexpr double kMinInterval = 0.1;
// Below this the rate says too little to show.
constexpr double kMinElapsed = 0.2;

// `text` cut or padded to `columns`, one column per UTF-8 character.
std::string Fit(std::string_view text, std::size_t columns) {
  std::string out;
  std::size_t used = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool lead = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (lead && used++ == columns) break;
    out += text[i];
  }
  if (used < columns) out.append(columns - used, ' ');
  return out;
}

// 1023B, 16.0KiB, 512.3MiB, 1.0GiB: at most 9 characters.
std::string Bytes(double count) {
  static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
  char text[32];
  if (count < 1024) {
    std::snprintf(text, sizeof text, "%.0fB", count);
    return text;
  }
  int unit = 0;
  count /= 1024;
  while (count >= 1023.95 && unit < 3) {
    count /= 1024;
    ++unit;
  }
  std::snprintf(text, sizeof text, "%.1f%s", count, kUnits[unit]);
  return text;
}

std::string Clock(double seconds) {
  if (seconds >= 360000) return "--:--:--";
  const long s = std::lround(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  return text;
}

std::string RightAligned(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

double MonotonicSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

class TerminalRenderer : public ProgressRenderer {
 public:
  TerminalRenderer(std::FILE* out, SecondsClock clock)
      : out_(out), clock_(clock ? std::move(clock) : SecondsClock(MonotonicSeconds)) {}

  void Created(const ProgressWindow&) override {
    if (drawn_) std::fputc('\n', out_);  // the earlier window stays above
    drawn_ = false;
    shown_ = {};
    bar_was_visible_ = false;
  }

  void Repaint(const ProgressWindow& window) override {
    const double now = clock_();
    if (window.bar_visible() && !bar_was_visible_) {  // the figures start here
      bar_start_ = now;
      bar_base_ = window.bytes();
    }
    bar_was_visible_ = window.bar_visible();
    // Only the figures of a running bar wait; a new status or a bar shown or
    // hidden is drawn at once.
    const bool same_shape =
        drawn_ && window.status() == shown_status_ && window.bar_visible() == shown_bar_;
    if (same_shape && now - drawn_at_ < kMinInterval) {
      pending_ = true;
      return;
    }
    Draw(window, now);
  }

  void Destroyed(const ProgressWindow& window) override {
    if (pending_) Draw(window, clock_());  // the last state, not an older one
    if (drawn_) std::fputc('\n', out_);
    std::fflush(out_);
    drawn_ = false;
  }

 private:
  std::string Line(const ProgressWindow& window, double now) const {
    if (!window.bar_visible()) return Fit(window.status(), kLineWidth);
    const int filled = window.position() * kBarWidth / 100;
    std::string line = Fit(window.status(), kStatusWidth);
    line += " [";
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    line += "] " + RightAligned(std::to_string(window.position()) + "%", 4);
    const std::uint64_t bytes = window.bytes();
    const double moved = static_cast<double>(bytes > bar_base_ ? bytes - bar_base_ : 0);
    const double elapsed = now - bar_start_;
    line += " " + RightAligned(Bytes(moved), 9);
    if (elapsed >= kMinElapsed && moved > 0) {
      const double rate = moved / elapsed;
      const double left = window.total() > moved ? (window.total() - moved) / rate : 0;
      line += " " + RightAligned(Bytes(rate) + "/s", 11) + " " + RightAligned(Clock(left), 8);
    } else {
      line += " " + RightAligned("--/s", 11) + " " + RightAligned("-:--:--", 8);
    }
    line += " left";
    return Fit(line, kLineWidth);
  }

  void Draw(const ProgressWindow& window, double now) {
    pending_ = false;
    std::string line = Line(window, now);
    if (drawn_ && line == shown_) return;
    shown_ = line;
    shown_status_ = window.status();
    shown_bar_ = window.bar_visible();
    drawn_at_ = now;
    line.insert(0, 1, '\r');
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fflush(out_);
    drawn_ = true;
  }

  std::FILE* out_;
  SecondsClock clock_;
  bool drawn_ = false;    // a line of the current window is on the terminal
  bool pending_ = false;  // a change waits for its turn to be drawn
  std::string shown_;     // the line on the terminal
  std::string shown_status_;
  bool shown_bar_ = false;
  double drawn_at_ = 0;
  bool bar_was_visible_ = false;
  double bar_start_ = 0;
  std::uint64_t bar_base_ = 0;  // the window's bytes when the bar was shown
};

}  // namespace

std::unique_ptr<ProgressRenderer> MakeTerminalRenderer(std::FILE* out, SecondsClock clock) {
  return std::make_unique<TerminalRenderer>(out, std::move(clock));
}

}  // namespace zp
