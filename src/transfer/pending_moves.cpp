// Settling the moves an earlier session left unfinished.
#include "transfer/pending_moves.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "device/file_copy.h"
#include "device/path_limits.h"
#include "device/remote_handles.h"
#include "platform/platform.h"
#include "report/log.h"
#include "transfer/move_names.h"

namespace zp {
namespace {

constexpr std::uint32_t kDeviceFileNotFound = 2;
constexpr std::uint32_t kDevicePathNotFound = 3;

enum class Held { No, Same, Other, Unknown };

// Whether the device says the file is not there: its attributes cannot be
// had because it does not exist, and a listing of its very name, which
// succeeds, finds nothing. One answer alone is not enough to give up the
// device's copy: a failing device may answer "not found" to everything.
bool SurelyGone(RemoteDevice& device, const std::u16string& path) {
  if (device.CeGetFileAttributes(path) != kInvalidAttributes) return false;
  const std::uint32_t error = device.CeGetLastError();
  if (error != kDeviceFileNotFound && error != kDevicePathNotFound) return false;
  RemoteListing listing(device);
  return ListRemote(device, path, kFafName, listing) && listing.count == 0;
}

// Whether the device's file has exactly the bytes of the desktop copy.
Held CompareBytes(RemoteDevice& device, const std::u16string& source, const std::string& copy) {
  RemoteFile from(
      device, device.CeCreateFile(source, kGenericRead, 0, kOpenExisting, kFileAttributeNormal));
  if (!from.valid()) return Held::Unknown;
  File to = OpenDesktopFile(copy, FileMode::ReadExisting);
  if (!to) return Held::Unknown;
  std::vector<char> theirs(kCopyBlock), ours(kCopyBlock);
  for (;;) {
    std::uint32_t got = 0, read = 0;
    if (!device.CeReadFile(from.get(), theirs.data(), kCopyBlock, &got)) return Held::Unknown;
    if (!to.Read(ours.data(), kCopyBlock, read)) return Held::Unknown;
    if (got != read || std::memcmp(theirs.data(), ours.data(), got) != 0) return Held::Other;
    if (got == 0) return Held::Same;
  }
}

// Whether the device still holds `source`, and with the copy's bytes.
Held DeviceHolds(RemoteDevice& device, const std::u16string& source, const std::string& copy) {
  if (SurelyGone(device, source)) return Held::No;
  if (device.CeGetFileAttributes(source) == kInvalidAttributes) return Held::Unknown;
  RemoteListing listing(device);
  if (!ListRemote(device, source, kFafAttributes | kFafSizeLow, listing)) return Held::Unknown;
  const std::optional<FileInfo> ours = PathInfo(copy);
  if (listing.count != 1 || !ours) return Held::Unknown;
  if (listing[0].nFileSizeLow != ours->size_low) return Held::Other;
  return CompareBytes(device, source, copy);  // read back only in this rare case
}

}  // namespace

Deletion DeleteOnDevice(RemoteDevice& device, const std::u16string& path) {
  if (device.CeDeleteFile(path)) return Deletion::Deleted;
  if (SurelyGone(device, path)) return Deletion::Deleted;  // only the reply was lost
  if (device.CeGetFileAttributes(path) != kInvalidAttributes) return Deletion::StillThere;
  return Deletion::Unknown;
}

bool NameArray(const std::string& complete, ArrayNames& names, std::string& named) {
  for (bool first = true;; first = false) {
    if (!first || named.empty()) named = names.Next();
    if (!PathFits(named)) return false;
    if (RenameFile(complete, named, false)) return true;
    const std::uint32_t error = LastErrorCode();
    if (error == kErrorAlreadyExists || error == kErrorFileExists) continue;  // taken meanwhile
    LogError(error, "Cannot rename %s to %s", complete.c_str(), named.c_str());
    return false;
  }
}

bool SettlePendingMoves(RemoteDevice& device, const std::u16string& remote_folder,
                        const std::string& from_pocket, const std::vector<FindEntry>& listing,
                        ArrayNames& names) {
  // Ours, in the order of their names, so that the numbers they take do
  // not depend on the order the folder lists in.
  std::vector<std::string> pending;
  for (const FindEntry& entry : listing) {
    if (!entry.is_directory && ParseMoveName(entry.name)) pending.push_back(entry.name);
  }
  std::sort(pending.begin(), pending.end());
  for (const std::string& name : pending) {
    const auto parsed = ParseMoveName(name);
    const std::string copy = from_pocket + name;
    if (parsed->stage == MoveStage::Partial) {
      RemoveFile(copy);
      LogText("Removed the partial copy %s", copy.c_str());
      continue;
    }
    const std::u16string source = remote_folder + parsed->device_name;
    if (!PathFits(source)) return false;
    std::string named;
    switch (DeviceHolds(device, source, copy)) {
      case Held::Unknown:
        LogText("Cannot tell whether the handheld still holds %s", Narrow(source).c_str());
        return false;
      case Held::Same:
        if (DeleteOnDevice(device, source) != Deletion::Deleted) {
          LogText("Cannot delete remote file %s", Narrow(source).c_str());
          return false;
        }
        [[fallthrough]];
      case Held::No:
        if (!NameArray(copy, names, named)) return false;
        LogText("Finished moving %s to %s", Narrow(source).c_str(), named.c_str());
        break;
      case Held::Other:
        if (!NameArray(copy, names, named)) return false;
        LogText("Kept an earlier copy of %s as %s", Narrow(source).c_str(), named.c_str());
        break;
    }
  }
  return true;
}

}  // namespace zp
