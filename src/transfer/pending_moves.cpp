// Settling the moves an earlier session left unfinished.
#include "transfer/pending_moves.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "device/file_copy.h"
#include "device/path_limits.h"
#include "device/remote_handles.h"
#include "platform/platform.h"
#include "report/device_text.h"
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

// What a numbered move's record tells.
struct Record {
  bool readable = false;                      ///< false: logged, the pass must stop
  std::optional<std::u16string> device_name;  ///< nothing: no record, or not one of ours
};

Record ReadMoveRecord(const std::string& record) {
  File file = OpenDesktopFile(record, FileMode::ReadExisting);
  if (!file) {
    const std::uint32_t error = LastErrorCode();
    if (error == kErrorFileNotFound) return {true, std::nullopt};
    LogError(error, "Cannot read %s", record.c_str());
    return {};
  }
  std::string text;
  char block[512];
  for (;;) {
    std::uint32_t got = 0;
    if (!file.Read(block, sizeof block, got)) {
      LogError(LastErrorCode(), "Cannot read %s", record.c_str());
      return {};
    }
    if (got == 0) break;
    text.append(block, got);
    if (text.size() > 8 * kMaxPath) return {true, std::nullopt};  // no device name is that long
  }
  return {true, UnescapeDeviceName(text)};
}

// The device name of a complete copy: in its name, or in its record.
Record DeviceNameOf(const ParsedMoveName& parsed, const std::string& folder) {
  if (parsed.number < 0) return {true, parsed.device_name};
  return ReadMoveRecord(folder + NumberedMoveName(parsed.number, MoveStage::Record));
}

}  // namespace

bool WriteMoveRecord(const std::string& record, const std::u16string& device_name) {
  const std::string text = EscapeDeviceName(device_name);
  File file = OpenDesktopFile(record, FileMode::CreateAlways);
  std::uint32_t put = 0;
  if (file && file.Write(text.data(), static_cast<std::uint32_t>(text.size()), put) &&
      put == text.size() && file.Flush() && file.Close()) {
    return true;
  }
  const std::uint32_t error = LastErrorCode();
  if (file) file = File();  // closed before it is removed
  RemoveFile(record);
  LogError(error, "Cannot write %s", record.c_str());
  return false;
}

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

namespace {

// Settles one complete copy of the device file `source`: the device's
// file is deleted when it holds the same bytes, and the copy is named.
bool SettleComplete(RemoteDevice& device, const std::u16string& source, const std::string& copy,
                    ArrayNames& names) {
  if (!PathFits(source)) return false;
  std::string named;
  switch (DeviceHolds(device, source, copy)) {
    case Held::Unknown:
      LogText("Cannot tell whether the handheld still holds %s", DeviceText(source, true).c_str());
      return false;
    case Held::Same:
      if (DeleteOnDevice(device, source) != Deletion::Deleted) {
        LogText("Cannot delete remote file %s", DeviceText(source, true).c_str());
        return false;
      }
      [[fallthrough]];
    case Held::No:
      if (!NameArray(copy, names, named)) return false;
      LogText("Finished moving %s to %s", DeviceText(source, true).c_str(), named.c_str());
      return true;
    case Held::Other:
      if (!NameArray(copy, names, named)) return false;
      LogText("Kept an earlier copy of %s as %s", DeviceText(source, true).c_str(), named.c_str());
      return true;
  }
  return false;
}

}  // namespace

bool SettlePendingMoves(RemoteDevice& device, const std::u16string& remote_folder,
                        const std::string& from_pocket, const std::vector<FindEntry>& listing,
                        ArrayNames& names) {
  // Ours, in the order of their names, so that the numbers they take do
  // not depend on the order the folder lists in. A numbered move's record
  // goes with its copy; one whose copy is gone was left by a crash after
  // the copy was named or removed.
  std::vector<std::string> pending;
  std::vector<std::string> records;
  for (const FindEntry& entry : listing) {
    if (entry.is_directory) continue;
    const auto parsed = ParseMoveName(entry.name);
    if (!parsed) continue;
    (parsed->stage == MoveStage::Record ? records : pending).push_back(entry.name);
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
    const Record record = DeviceNameOf(*parsed, from_pocket);
    if (!record.readable) return false;
    std::string named;
    if (!record.device_name) {
      // Without its record nobody can tell which handheld file this was:
      // it is kept as an array rather than stopping every later pass.
      if (!NameArray(copy, names, named)) return false;
      LogText("Kept %s, whose handheld file is not known, as %s", copy.c_str(), named.c_str());
      continue;
    }
    if (!SettleComplete(device, remote_folder + *record.device_name, copy, names)) return false;
  }
  // Every copy is settled: no record is needed any more.
  for (const std::string& name : records) RemoveFile(from_pocket + name);
  return true;
}

}  // namespace zp
