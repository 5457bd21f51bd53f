// Installation of the device application on a device for which the desktop
// holds a pending installation.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "device/remote_device.h"
#include "platform/platform.h"

namespace zp {

/// The device's processor name for the install files ("arm", "mips",
/// "sh3"), or null when the processor is not supported.
const char* ProcessorName(std::uint32_t processor_type);

/// How the user is asked whether the installation succeeded.
using InstallQuestion =
    std::function<Answer(void* owner, const std::string& text, const std::string& caption)>;

/// Installs the device application when the pending list holds the
/// device's id, asking the user whether it succeeded. True: go on with the
/// session (nothing to install, or installed); false: stop it. Where nobody
/// can be asked (`can_ask` false: a dock without a terminal), the
/// installation is not started and stays pending, and the session goes on.
bool CheckInstall(RemoteDevice& device, std::uint32_t device_id,
                  const InstallQuestion& ask = AskYesNo, bool can_ask = true);

}  // namespace zp
