// Remote program start.
#include "device/remote_program.h"

#include "device/remote_handles.h"
#include "report/log.h"

namespace zp {

bool StartRemoteProgram(RemoteDevice& device, const std::u16string& program,
                        const std::u16string& arguments, const std::string& failure,
                        const char* line_end) {
  CeProcessInfo info;
  if (!device.CeCreateProcess(program, arguments, &info)) {
    const std::uint32_t last_error = device.CeGetLastError();
    const std::int32_t rapi_error = device.CeRapiGetError();
    LogText("%s: 0x%08x 0x%08x%s", failure.c_str(), static_cast<std::uint32_t>(rapi_error),
            last_error, line_end);
    return false;
  }
  const RemoteProcess process(device, info);
  return true;
}

}  // namespace zp
