// The rules of one progress window: the bar shown or hidden, the stored
// total and the percentage of each position message.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "report/progress.h"

namespace zp {

ProgressWindow::ProgressWindow() = default;

void ProgressWindow::SetText(const char* text) {
  status_ = text ? text : "";
}

void ProgressWindow::SetRange(std::int32_t total) {
  if (total == 0) {
    // Hiding leaves the stored total as it was.
    bar_visible_ = false;
    return;
  }
  bar_visible_ = true;  // range 0..100 again; the position is kept
  total_ = total;
}

int ProgressWindow::Percent(std::uint32_t count) const {
  // count * 100 / total, rounded toward zero, without overflow.
  const std::int64_t percent = static_cast<std::int64_t>(count) * 100 / total_;
  return static_cast<int>(std::clamp<std::int64_t>(percent, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
}

void ProgressWindow::SetPos(std::uint32_t count) {
  if (total_ == 0) return;
  position_ = std::clamp(Percent(count), 0, 100);
}

void ProgressWindow::DeltaPos(std::uint32_t count) {
  if (total_ == 0) return;
  const std::int64_t moved = static_cast<std::int64_t>(position_) + Percent(count);
  position_ = static_cast<int>(std::clamp<std::int64_t>(moved, 0, 100));
}

}  // namespace zp
