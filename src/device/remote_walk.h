// The files of a device folder, listed and walked one by one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "device/remote_handles.h"

namespace zp {

/// Lists `pattern` on the device into `listing` (ListRemote); a listing
/// that fails is logged and false.
bool ListRemoteLogged(RemoteDevice& device, const std::u16string& pattern, std::uint32_t flags,
                      RemoteListing& listing);

/// What a walk does with one file, given its name and its device path;
/// false stops the walk.
using RemoteFileVisit = std::function<bool(const std::u16string& name, const std::u16string& path)>;

/// Visits each file of `listing` in listing order (folders are passed
/// over), its path being `folder` and its name. False at the first path too
/// long for the device (logged) or the first visit that returns false.
bool WalkRemoteFiles(const RemoteListing& listing, const std::u16string& folder,
                     const RemoteFileVisit& visit);

}  // namespace zp
