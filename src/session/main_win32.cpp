// Entry point of the Windows program: one session against the docked
// handheld, through ActiveSync's or WMDC's DLLs when they see it, else over
// the handheld's own link.
#include "platform/win32/windows_api.h"

#include <winsock2.h>

#include <cstdlib>
#include <exception>
#include <memory>

#include "device/rapi_library.h"
#include "link/link_choice.h"
#include "link/link_device.h"
#include "platform/net_interfaces.h"
#include "report/log.h"
#include "report/progress.h"
#include "report/progress_dialog.h"
#include "session/session.h"

namespace {

// Winsock for the life of the program: started once, cleaned up at the end.
class Winsock {
 public:
  Winsock() {
    WSADATA data{};
    started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~Winsock() {
    if (started_) ::WSACleanup();
  }
  Winsock(const Winsock&) = delete;
  Winsock& operator=(const Winsock&) = delete;

 private:
  bool started_ = false;
};

// The DLLs when they report a docked device, exactly as without the link.
// Otherwise ZAMOPOCKET_LINK ("LOCAL,DEVICE", or an adapter's name or index)
// or the one adapter a docked handheld brought up (README: its hardware
// address and an address in 169.254.2.0/24) runs the link. Neither: the
// DLLs, which find no device ("Unknown device").
// A dock run (the scheduled task's "/dock" at a network connection) takes
// the link alone, and gets null when it has none to take: where the DLLs
// load, or when the network that connected is not a handheld's.
std::unique_ptr<zp::RemoteDevice> ChooseDevice(bool dock_run) {
  auto dlls = std::make_unique<zp::RapiLibrary>();
  const std::uint32_t dll_device_id = dock_run ? 0 : dlls->CeGetDeviceId();
  if (dll_device_id != 0) return dlls;
  zp::link::LinkChoice choice =
      zp::link::ChooseLink(std::getenv("ZAMOPOCKET_LINK"), std::getenv("ZAMOPOCKET_LINK_TIMEOUTS"),
                           zp::ListNetInterfaces(), zp::link::IsHandheldAdapter);
  if (dock_run) {
    if (!zp::link::DockRunGoesOn(dlls->Loaded(), choice)) return nullptr;
  } else if (zp::link::ChooseDevicePath(dll_device_id, choice) == zp::link::DevicePath::Dlls) {
    return dlls;
  }
  return std::make_unique<zp::link::LinkDevice>(std::move(choice.config),
                                                std::move(choice.problem));
}

}  // namespace

// The program shows no window of its own besides the progress window. Its
// command line is ignored, but for "/dock" (link_choice.h).
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  try {
    const Winsock winsock;
    zp::SetProgressInstance(instance);
    zp::SetProgressRenderer(zp::MakeDialogRenderer());
    const std::unique_ptr<zp::RemoteDevice> device =
        ChooseDevice(zp::link::IsDockRun(command_line));
    // A dock run with no handheld's link to take ends here, writing nothing.
    if (!device) return zp::kExitDone;
    return zp::RunSession(*device);
  } catch (const std::exception&) {
    // A GUI program has no stderr to tell: the log is closed and the
    // session counts as not connected, as on Linux.
    zp::StopLogging();
    return zp::kExitNotConnected;
  }
}
