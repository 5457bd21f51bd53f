// The first pass of a sync: every array file of the device's sync folder
// moves into FromPocket under a fresh ARRnnnnn.ARR name.
#pragma once

#include <string>

#include "device/remote_device.h"

namespace zp {

/// Moves every "*.ARR" file of `remote_folder` into `from_pocket`, deleting
/// each from the device once its desktop copy is complete and flushed.
/// True only when every array moved lasts under its final name (FromPocket
/// is flushed at the end of the pass). False when the pass stopped at a
/// failure (logged).
bool CopyArrays(RemoteDevice& device, const std::u16string& remote_folder,
                const std::string& from_pocket);

}  // namespace zp
