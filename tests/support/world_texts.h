// What every test world shares: the log's banners at the tests' fixed
// clock, and the handheld's sync folder.
#pragma once

#include <string>

namespace zp::test {

/// The banners of a session log at 2026-12-08 09:30:05.
inline const std::string kStart = "Starting logging at 2026/12/08 09:30:05\r\n\r\n";
inline const std::string kStop =
    "\nStopping logging at 2026/12/08 09:30:05\n------------------------------------------\n\r\n";

/// The device's sync folder.
inline const std::string kSync = "\\My Documents\\Personal\\ZAMO\\Sync\\";

}  // namespace zp::test
