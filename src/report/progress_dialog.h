// Draws the progress window as the dialog of template 101 (Windows only).
#pragma once

#include <memory>

#include "report/progress.h"

namespace zp {

/// The ids of the dialog template.
inline constexpr int kProgressDialog = 101;
inline constexpr int kStatusControl = 102;
inline constexpr int kProgressBar = 1000;

/// A renderer making one modeless, topmost dialog per progress window from
/// the template in the program's resources (ProgressInstance()), driven
/// through the window's private messages and repainted at once, controls
/// included, after every operation. No message loop runs: the thread's
/// messages are handled at every operation and between the steps of work
/// that moves no bar. With no display the dialog cannot be made and the
/// renderer draws nothing.
std::unique_ptr<ProgressRenderer> MakeDialogRenderer();

}  // namespace zp
