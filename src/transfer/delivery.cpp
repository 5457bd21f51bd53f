// Classifier and template delivery.
#include "transfer/delivery.h"

#include <algorithm>

#include "device/file_copy.h"
#include "device/path_limits.h"
#include "device/path_walk.h"
#include "device/remote_walk.h"
#include "platform/platform.h"
#include "report/log.h"
#include "report/progress.h"

namespace zp {
namespace {

// A ToPocket listing that failed: logged with the system's reason.
bool CannotList(const std::string& to_pocket) {
  LogError(LastErrorCode(), "Cannot list %s", to_pocket.c_str());
  return false;
}

// Deletes every file (not folder) of the device matching `pattern`.
bool DeleteRemoteFiles(RemoteDevice& device, const std::u16string& remote_folder,
                       const char16_t* wildcard) {
  const std::u16string pattern = remote_folder + wildcard;
  if (!PathFits(pattern)) return false;
  RemoteListing listing(device);
  if (!ListRemoteLogged(device, pattern, kFafAttributes | kFafName, listing)) return false;
  return WalkRemoteFiles(listing, remote_folder,
                         [&](const std::u16string&, const std::u16string& path) {
                           if (device.CeDeleteFile(path)) return true;
                           LogText("Cannot delete remote file %s", Narrow(path).c_str());
                           return false;
                         });
}

// Copies every desktop entry matching `wildcard` to the device.
bool CopyKind(RemoteDevice& device, const std::string& to_pocket,
              const std::u16string& remote_folder, const char* wildcard, const char* status,
              const char* kind, SentFiles& sent) {
  const std::string pattern = to_pocket + wildcard;
  if (!PathFits(pattern)) return false;
  const auto listed = ListFiles(pattern);
  if (!listed) return CannotList(to_pocket);
  const std::vector<FindEntry>& entries = *listed;
  if (!entries.empty()) SetProgressText(status);
  for (const FindEntry& entry : entries) {
    const std::string source = to_pocket + entry.name;
    const std::u16string target = remote_folder + Widen(entry.name);
    if (!PathFits(source) || !PathFits(target)) return false;
    LogText("Copying %s '%s' to '%s'", kind, source.c_str(), Narrow(target).c_str());
    if (!CopyFileToPocket(device, source, target, StepProgress)) {
      LogText("Failed to copy\r\n");
      return false;
    }
    LogStatus("Copied successfully\r\n");
    sent.push_back(entry.name);
  }
  return true;
}

// The listing gives a name in the desktop's code page; a character the
// code page has no form for comes back as '?', which no file name can
// hold. Such a file cannot be opened by that name, and a '?' would match
// other names on the handheld: the pass is refused before the handheld
// changes. False (logged) when one is found.
bool NamesCarried(const std::string& to_pocket, const std::vector<FindEntry>& entries) {
  for (const FindEntry& entry : entries) {
    if (entry.name.find('?') == std::string::npos) continue;
    LogText("Cannot deliver %s%s: its name has characters the desktop's code page cannot hold",
            to_pocket.c_str(), entry.name.c_str());
    return false;
  }
  return true;
}

std::uint32_t TotalSize(const std::vector<FindEntry>& entries) {
  std::uint32_t total = 0;
  for (const FindEntry& entry : entries) total += entry.size_low;
  return total;
}

}  // namespace

bool CopyFilesToPocket(RemoteDevice& device, const std::string& to_pocket,
                       const std::u16string& remote_folder, SentFiles& sent) {
  const std::string templates = to_pocket + "*.TMT";
  const std::string classifiers = to_pocket + "*.CLS";
  if (!PathFits(templates) || !PathFits(classifiers)) return false;
  // A folder that cannot be listed is not an empty one: the pass fails
  // before the device loses anything.
  const auto waiting = ListFiles(templates);
  if (!waiting) return CannotList(to_pocket);
  if (waiting->empty()) return true;  // no template: the device is not touched
  const auto classifier_entries = ListFiles(classifiers);
  if (!classifier_entries) return CannotList(to_pocket);
  if (!NamesCarried(to_pocket, *classifier_entries) || !NamesCarried(to_pocket, *waiting)) {
    return false;
  }

  const std::uint32_t total = TotalSize(*waiting) + TotalSize(*classifier_entries);
  SetProgressText("Copying files to PocketPC");
  ProgressBarReset bar_reset;
  SetProgressRange(static_cast<std::int32_t>(total));

  if (!MakeRemotePath(device, remote_folder, RemotePathLog::ReachedOnStatus)) return false;
  if (!DeleteRemoteFiles(device, remote_folder, u"*.TMT")) return false;
  if (!DeleteRemoteFiles(device, remote_folder, u"*.CLS")) return false;
  if (!CopyKind(device, to_pocket, remote_folder, "*.CLS", "Copying classifiers", "classifier",
                sent)) {
    return false;
  }
  return CopyKind(device, to_pocket, remote_folder, "*.TMT", "Copying templates", "template", sent);
}

bool DeleteSentFiles(const std::string& to_pocket, const SentFiles& sent) {
  bool removed = false;
  for (const char* wildcard : {"*.CLS", "*.TMT"}) {
    const auto entries = ListFiles(to_pocket + wildcard);
    if (!entries) {
      LogError(LastErrorCode(), "Cannot list %s", to_pocket.c_str());
      continue;
    }
    for (const FindEntry& entry : *entries) {
      KeepProgressAnswering();
      if (std::find(sent.begin(), sent.end(), entry.name) != sent.end()) {
        removed = RemoveFile(to_pocket + entry.name) || removed;
      }
    }
  }
  // Once for all of them: a removal lost with the power would deliver the
  // file a second time at the next sync.
  if (removed) FlushFolder(to_pocket);
  return true;
}

}  // namespace zp
