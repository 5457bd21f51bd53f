// Starting a program on the device.
#pragma once

#include <string>

#include "device/remote_device.h"

namespace zp {

/// Starts `program` on the device with `arguments`; its process and thread
/// handles are closed at once. When it cannot be started, `failure`, then
/// ": 0x<RAPI error> 0x<device's last error>" and `line_end` go to the log,
/// and the result is false.
bool StartRemoteProgram(RemoteDevice& device, const std::u16string& program,
                        const std::u16string& arguments, const std::string& failure,
                        const char* line_end = "");

}  // namespace zp
