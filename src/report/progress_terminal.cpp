// The terminal renderer of the progress window.
#include "report/progress_terminal.h"

#include <string>

namespace zp {
namespace {

constexpr int kBarWidth = 30;
constexpr std::size_t kStatusWidth = 40;  // status, bar and percentage fit 80 columns

class TerminalRenderer : public ProgressRenderer {
 public:
  explicit TerminalRenderer(std::FILE* out) : out_(out) {}

  void Created(const ProgressWindow&) override {
    if (drawn_) std::fputc('\n', out_);  // the earlier window stays above
    drawn_ = false;
  }

  void Repaint(const ProgressWindow& window) override {
    std::string line = window.status().substr(0, kStatusWidth);
    line.resize(kStatusWidth, ' ');
    if (window.bar_visible()) {
      const int filled = window.position() * kBarWidth / 100;
      line += " [";
      line.append(static_cast<std::size_t>(filled), '#');
      line.append(static_cast<std::size_t>(kBarWidth - filled), '.');
      line += "] " + std::to_string(window.position()) + "%";
    }
    line.resize(kStatusWidth + kBarWidth + 8, ' ');  // wipes a longer earlier line
    std::fprintf(out_, "\r%s", line.c_str());
    std::fflush(out_);
    drawn_ = true;
  }

  void Destroyed(const ProgressWindow&) override {
    if (drawn_) std::fputc('\n', out_);
    std::fflush(out_);
    drawn_ = false;
  }

 private:
  std::FILE* out_;
  bool drawn_ = false;
};

}  // namespace

std::unique_ptr<ProgressRenderer> MakeTerminalRenderer(std::FILE* out) {
  return std::make_unique<TerminalRenderer>(out);
}

}  // namespace zp
