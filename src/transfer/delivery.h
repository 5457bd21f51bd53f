// The second pass of a sync: the device's classifiers (*.CLS) and templates
// (*.TMT) are replaced by the ones waiting in ToPocket.
#pragma once

#include <string>
#include <vector>

#include "device/remote_device.h"

namespace zp {

/// The ToPocket names that reached the device whole in this session.
using SentFiles = std::vector<std::string>;

/// Deletes the device's templates and classifiers, then copies the desktop
/// classifiers and templates into `remote_folder`. True when everything was
/// delivered, or when ToPocket holds no template (then nothing happens).
/// Each file delivered whole is added to `sent`.
bool CopyFilesToPocket(RemoteDevice& device, const std::string& to_pocket,
                       const std::u16string& remote_folder, SentFiles& sent);

/// Removes from ToPocket the classifiers and templates named in `sent`;
/// anything else stays for a later session. Always true.
bool DeleteSentFiles(const std::string& to_pocket, const SentFiles& sent);

}  // namespace zp
