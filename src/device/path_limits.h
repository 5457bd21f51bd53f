// The 260-character path buffers: a path that would not fit is refused with
// a log line, never cut.
#pragma once

#include <string>

namespace zp {

/// True when the path and its terminator fit MAX_PATH; otherwise logs
/// "Path too long: %s" and returns false.
bool PathFits(const std::string& path);
bool PathFits(const std::u16string& path);

}  // namespace zp
