// Array collection from the device.
#include "transfer/array_collection.h"

#include <cstdint>

#include "device/file_copy.h"
#include "device/path_limits.h"
#include "device/remote_handles.h"
#include "platform/platform.h"
#include "report/log.h"
#include "report/progress.h"
#include "transfer/array_names.h"

namespace zp {
namespace {

// Copies one device array to a fresh desktop name and removes it from the
// device. A name taken between the probe and the create is passed over.
bool MoveArray(RemoteDevice& device, const std::u16string& source, ArrayNames& names) {
  for (;;) {
    const std::string target = names.Next();
    if (!PathFits(target)) return false;
    LogText("Copying file %s to %s", Narrow(source).c_str(), target.c_str());
    const CopyOutcome outcome =
        CopyFromPocket(device, source, target, StepProgress, FileMode::CreateNew);
    if (outcome == CopyOutcome::DestinationExists) continue;
    if (outcome != CopyOutcome::Done) {
      // A partial copy would later be taken for an array: it goes.
      if (outcome == CopyOutcome::TransferFailed) RemoveFile(target);
      LogText("Failed to copy\r\n");
      return false;
    }
    if (!device.CeDeleteFile(source)) {
      LogText("Cannot delete remote file %s", Narrow(source).c_str());
      RemoveFile(target);
      return false;
    }
    return true;
  }
}

}  // namespace

bool CopyArrays(RemoteDevice& device, const std::u16string& remote_folder,
                const std::string& from_pocket) {
  const std::u16string pattern = remote_folder + u"*.ARR";
  if (!PathFits(pattern)) return false;
  RemoteListing listing(device);
  if (!ListRemote(device, pattern, kFafAttributes | kFafName | kFafSizeLow, listing)) {
    LogText("*** CeFindAllFiles failed. ***\n");
    return false;
  }
  if (listing.count == 0) return true;

  std::uint32_t total = 0;
  for (std::uint32_t i = 0; i < listing.count; ++i) total += listing[i].nFileSizeLow;
  SetProgressText("Copying arrays");
  ProgressBarReset bar_reset;
  SetProgressRange(static_cast<std::int32_t>(total));

  ArrayNames names(from_pocket);
  for (std::uint32_t i = 0; i < listing.count; ++i) {
    if (listing[i].dwFileAttributes & kAttributeDirectory) continue;
    const std::u16string source = remote_folder + RecordName(listing[i]);
    if (!PathFits(source)) return false;
    if (!MoveArray(device, source, names)) return false;
  }
  return true;
}

}  // namespace zp
