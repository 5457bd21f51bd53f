// Block copies of one file between the desktop and the handheld, 16384
// bytes at a time, reporting each block written to a ProgressSink.
#pragma once

#include <cstdint>
#include <string>

#include "device/remote_device.h"
#include "platform/platform.h"
#include "report/progress.h"

namespace zp {

/// The block buffer of one copy.
inline constexpr std::uint32_t kCopyBlock = 16384;

/// How a copy from the handheld ended.
enum class CopyOutcome {
  Done,               ///< every byte is in the destination, flushed to storage
  SourceFailed,       ///< the device file could not be opened; nothing created
  DestinationExists,  ///< exclusive create: the desktop name was taken; nothing created
  DestinationFailed,  ///< the desktop file could not be created; nothing created
  TransferFailed,     ///< a read, write, flush or close failed after the destination was made
};

/// Copies a desktop file to the device, creating or truncating the device
/// file. True when every byte of the source reached the destination.
bool CopyFileToPocket(RemoteDevice& device, const std::string& source,
                      const std::u16string& destination, const ProgressSink& sink);

/// Copies a device file to the desktop. The desktop file is created as
/// `mode` says (CreateAlways or CreateNew) and is on stable storage before
/// the copy counts as done.
CopyOutcome CopyFromPocket(RemoteDevice& device, const std::u16string& source,
                           const std::string& destination, const ProgressSink& sink, FileMode mode);

/// CopyFromPocket creating or truncating the destination; true when done.
bool CopyFileFromPocket(RemoteDevice& device, const std::u16string& source,
                        const std::string& destination, const ProgressSink& sink);

}  // namespace zp
