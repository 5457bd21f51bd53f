// Draws the progress window as one line on a terminal: the status text and,
// while the bar is shown, a bar with its percentage.
#pragma once

#include <cstdio>
#include <memory>

#include "report/progress.h"

namespace zp {

/// A renderer writing to `out` (stderr); the caller installs it only when
/// `out` is a terminal.
std::unique_ptr<ProgressRenderer> MakeTerminalRenderer(std::FILE* out);

}  // namespace zp
