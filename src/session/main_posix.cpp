// Entry point of the Linux build: one session against the desktop stand-in
// and the simulated handheld in $ZAMOPOCKET_DEVICE.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "platform/posix/desktop_root.h"
#include "report/log.h"
#include "report/progress_terminal.h"
#include "session/session.h"
#include "simulator/simulated_device.h"

int main() {
  try {
    if (::isatty(STDERR_FILENO)) zp::SetProgressRenderer(zp::MakeTerminalRenderer(stderr));
    const char* device_folder = std::getenv("ZAMOPOCKET_DEVICE");
    zp::SimulatedDevice device(device_folder ? device_folder : "",
                               zp::DesktopRoot() + "/registry.reg");
    return zp::RunSession(device);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zamopocket: %s\n", e.what());
    zp::StopLogging();
    return zp::kExitNotConnected;
  }
}
