// The rules of one progress window: the bar shown or hidden, the stored
// total, and the position as the share of the total that the bytes advanced
// so far make up.
#include <algorithm>
#include <cstdint>

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
  bar_visible_ = true;  // range 0..100 again; the position and the bytes are kept
  total_ = total;
}

int ProgressWindow::Percent(std::uint64_t count) const {
  // count * 100 / total, rounded toward zero, kept in 0..100. Below the
  // total the product fits 64 bits (total < 2^31); at or past it the bar is
  // full. A total that 32-bit arithmetic made negative leaves the bar empty.
  if (total_ < 0) return 0;
  const auto total = static_cast<std::uint64_t>(total_);
  if (count >= total) return 100;
  return static_cast<int>(count * 100 / total);
}

void ProgressWindow::SetPos(std::uint32_t count) {
  if (total_ == 0) return;
  bytes_ = count;
  position_ = Percent(bytes_);
}

void ProgressWindow::DeltaPos(std::uint32_t count) {
  if (total_ == 0) return;
  // Each advance adds bytes, not a rounded share of its own, so that many
  // small blocks still move the bar. Saturates rather than wraps.
  bytes_ = std::min<std::uint64_t>(bytes_ + count, UINT64_MAX - UINT32_MAX);
  position_ = Percent(bytes_);
}

}  // namespace zp
