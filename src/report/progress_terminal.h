// Draws the progress window as one line on a terminal: the status text and,
// while the bar is shown, a bar with its percentage, the bytes moved, the
// rate and the time left, within 80 columns.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>

#include "report/progress.h"

namespace zp {

/// Seconds since some fixed moment; tests pass a clock of their own.
using SecondsClock = std::function<double()>;

/// A renderer writing to `out` (stderr); the caller installs it only when
/// `out` is a terminal. It draws only when the line would change: a new
/// status or the bar shown or hidden at once, the bar's figures at most ten
/// times a second. Without a clock it reads the monotonic clock.
std::unique_ptr<ProgressRenderer> MakeTerminalRenderer(std::FILE* out, SecondsClock clock = {});

}  // namespace zp
