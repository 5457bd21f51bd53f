// The first pass of a sync: every array file of the device's sync folder
// moves into FromPocket under a fresh ARRnnnnn.ARR name.
#pragma once

#include <cstdint>
#include <string>

#include "device/remote_device.h"

namespace zp {

/// The next free "<folder>ARR%05d.ARR" above `counter`; the counter is set
/// to the number given out. A file or a folder of that name is taken.
void NextArrayName(std::string& path, const std::string& folder, std::int32_t& counter);

/// Moves every "*.ARR" file of `remote_folder` into `from_pocket`, deleting
/// each from the device once its desktop copy is complete and flushed.
/// False when the pass stopped at a failure (logged).
bool CopyArrays(RemoteDevice& device, const std::u16string& remote_folder,
                const std::string& from_pocket);

}  // namespace zp
