// The folder that stands for the desktop's drives and registry.
#pragma once

#include <string>

namespace zp {

/// $ZAMOPOCKET_DESKTOP, or ~/.zamopocket when it is not set.
std::string DesktopRoot();

}  // namespace zp
