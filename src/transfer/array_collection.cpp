// Array collection from the device.
#include "transfer/array_collection.h"

#include <cstdint>
#include <initializer_list>
#include <optional>

#include "device/file_copy.h"
#include "device/path_limits.h"
#include "device/remote_walk.h"
#include "platform/platform.h"
#include "report/device_text.h"
#include "report/log.h"
#include "report/progress.h"
#include "transfer/array_names.h"
#include "transfer/move_names.h"
#include "transfer/pending_moves.h"

namespace zp {
namespace {

// Moves one device array into FromPocket: copied under a name no reader
// takes for an array, flushed, renamed to show it is complete, deleted from
// the device, and only then given its array name. Whatever happens at any
// step, the array is on the device, or complete on the desktop, or both
// (and then the next session settles it): never neither, never half.
bool MoveArray(RemoteDevice& device, const std::u16string& source, const std::u16string& name,
               const std::string& folder, ArrayNames& names) {
  const std::string target = names.Next();
  if (!PathFits(target)) return false;
  // The staging names fit wherever the array's own name does.
  const StagingPaths staging = StagingFor(folder, name, names.counter());
  const std::string& partial = staging.partial;
  const std::string& complete = staging.complete;
  const std::string& record = staging.record;
  if (!record.empty() && !WriteMoveRecord(record, name)) return false;
  // Nothing of this move is left: the device keeps the array. The record
  // goes only once no copy is left that it names: a copy without its record
  // would be taken for an array of its own next time.
  const auto give_up = [&](std::initializer_list<const std::string*> copies) {
    bool gone = true;
    for (const std::string* copy : copies) {
      RemoveFile(*copy);
      gone = gone && PathAttributes(*copy) == kInvalidAttributes;
    }
    if (!record.empty() && gone) RemoveFile(record);
    return false;
  };
  LogText("Copying file %s to %s", DeviceText(source, true).c_str(), target.c_str());
  const CopyOutcome outcome =
      CopyFromPocket(device, source, partial, StepProgress, FileMode::CreateAlways);
  if (outcome != CopyOutcome::Done) {
    LogText("Failed to copy\r\n");
    return give_up({&partial});
  }
  // The complete copy's name is on the disk before the device lets go of
  // the original, so that a crash right after never leaves only a part.
  if (!RenameFile(partial, complete, true)) {
    LogError(LastErrorCode(), "Cannot rename %s to %s", partial.c_str(), complete.c_str());
    // The rename may have happened, its flush failing after it.
    return give_up({&partial, &complete});
  }
  switch (DeleteOnDevice(device, source)) {
    case Deletion::Deleted:  // a lost reply included: the file is gone
      break;
    case Deletion::StillThere:
      LogText("Cannot delete remote file %s", DeviceText(source, true).c_str());
      return give_up({&complete});  // the device keeps the array; it is moved next time
    case Deletion::Unknown:
      // The copy is kept, complete (with its record): the next session
      // finds out whether the device still holds the array, and finishes
      // the move either way.
      LogText("Cannot delete remote file %s", DeviceText(source, true).c_str());
      return false;
  }
  std::string named = target;
  if (!NameArray(complete, names, named)) return false;
  // The name was taken meanwhile: the log tells where the array went.
  if (named != target)
    LogText("Copying file %s to %s", DeviceText(source, true).c_str(), named.c_str());
  // Should it stay behind, the next session removes it.
  if (!record.empty()) RemoveFile(record);
  return true;
}

// FromPocket is listed once a pass, for what an earlier session left
// half-way and for the names already taken; the listing is let go before
// the device's is taken. What an earlier session left is settled first:
// its arrays take the first numbers, and none is listed on the device
// twice. Nothing (logged) when the pass must not run.
std::optional<ArrayNames> SettleAndNumber(RemoteDevice& device, const std::u16string& remote_folder,
                                          const std::string& from_pocket) {
  const std::string everything = from_pocket + "*";
  if (!PathFits(everything)) return std::nullopt;
  const auto listed = ListFiles(everything, FindDetail::NamesOnly);
  if (!listed) {
    LogError(LastErrorCode(), "Cannot list %s", from_pocket.c_str());
    return std::nullopt;
  }
  ArrayNames names(from_pocket, *listed);
  if (!SettlePendingMoves(device, remote_folder, from_pocket, *listed, names)) return std::nullopt;
  return names;
}

// An array's final name is given without a flush of its own: the next
// array's complete copy flushes the folder. The last names of a pass are
// made to last here, once, before anything can tell the handheld that its
// arrays are in. False (logged) when they cannot.
bool NamesLast(const std::string& from_pocket) {
  if (FlushFolder(from_pocket)) return true;
  LogError(LastErrorCode(), "Cannot flush %s", from_pocket.c_str());
  return false;
}

}  // namespace

bool CopyArrays(RemoteDevice& device, const std::u16string& remote_folder,
                const std::string& from_pocket) {
  const std::u16string pattern = remote_folder + u"*.ARR";
  if (!PathFits(pattern)) return false;
  std::optional<ArrayNames> names = SettleAndNumber(device, remote_folder, from_pocket);
  if (!names) return false;
  RemoteListing listing(device);
  if (!ListRemoteLogged(device, pattern, kFafAttributes | kFafName | kFafSizeLow, listing)) {
    return false;
  }
  if (listing.count == 0) return NamesLast(from_pocket);

  std::uint32_t total = 0;
  for (std::uint32_t i = 0; i < listing.count; ++i) total += listing[i].nFileSizeLow;
  SetProgressText("Copying arrays");
  ProgressBarReset bar_reset;
  SetProgressRange(static_cast<std::int32_t>(total));

  return WalkRemoteFiles(listing, remote_folder,
                         [&](const std::u16string& name, const std::u16string& source) {
                           return MoveArray(device, source, name, from_pocket, *names);
                         }) &&
         NamesLast(from_pocket);
}

}  // namespace zp
