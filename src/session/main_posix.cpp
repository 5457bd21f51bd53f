// Entry point of the Linux build: one session against the desktop stand-in
// and the handheld: the simulated one in $ZAMOPOCKET_DEVICE, or a real one
// over its link.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "link/legacy_protocol.h"
#include "link/link_choice.h"
#include "link/link_device.h"
#include "platform/posix/desktop_root.h"
#include "report/log.h"
#include "report/progress_terminal.h"
#include "session/session.h"
#include "simulator/simulated_device.h"

namespace {

std::unique_ptr<zp::RemoteDevice> ChooseDevice() {
  if (const char* device_folder = std::getenv("ZAMOPOCKET_DEVICE")) {
    return std::make_unique<zp::SimulatedDevice>(device_folder,
                                                 zp::DesktopRoot() + "/registry.reg");
  }
  zp::link::LinkChoice choice =
      zp::link::ChooseLink(std::getenv("ZAMOPOCKET_LINK"), std::getenv("ZAMOPOCKET_LINK_TIMEOUTS"),
                           zp::ListNetInterfaces());
  // On Linux the older handhelds come over the same link, to their own
  // control port: the port the handheld dials first tells its generation.
  if (choice.config) choice.config->legacy_control_port = zp::link::kLegacyControlPort;
  return std::make_unique<zp::link::LinkDevice>(std::move(choice.config),
                                                std::move(choice.problem));
}

}  // namespace

int main() {
  try {
    if (::isatty(STDERR_FILENO)) zp::SetProgressRenderer(zp::MakeTerminalRenderer(stderr));
    const std::unique_ptr<zp::RemoteDevice> device = ChooseDevice();
    return zp::RunSession(*device);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zamopocket: %s\n", e.what());
    zp::StopLogging();
    return zp::kExitNotConnected;
  }
}
