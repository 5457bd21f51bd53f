// Entry point of the Windows program: one session against the handheld docked through ActiveSync.
#include "platform/win32/windows_api.h"

#include <exception>

#include "device/rapi_library.h"
#include "report/log.h"
#include "report/progress.h"
#include "report/progress_dialog.h"
#include "session/session.h"

// Only the instance is used: the program takes no command line and shows
// no window of its own besides the progress window.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  try {
    zp::SetProgressInstance(instance);
    zp::SetProgressRenderer(zp::MakeDialogRenderer());
    zp::RapiLibrary device;
    return zp::RunSession(device);
  } catch (const std::exception&) {
    // A GUI program has no stderr to tell: the log is closed and the
    // session counts as not connected, as on Linux.
    zp::StopLogging();
    return zp::kExitNotConnected;
  }
}
