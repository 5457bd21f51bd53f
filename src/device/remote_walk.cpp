// Remote listings walked file by file.
#include "device/remote_walk.h"

#include "device/path_limits.h"
#include "platform/platform.h"
#include "report/log.h"
#include "report/progress.h"

namespace zp {

bool ListRemoteLogged(RemoteDevice& device, const std::u16string& pattern, std::uint32_t flags,
                      RemoteListing& listing) {
  if (ListRemote(device, pattern, flags, listing)) return true;
  LogText("*** CeFindAllFiles failed. ***\n");
  return false;
}

bool WalkRemoteFiles(const RemoteListing& listing, const std::u16string& folder,
                     const RemoteFileVisit& visit) {
  for (std::uint32_t i = 0; i < listing.count; ++i) {
    KeepProgressAnswering();  // a delete pass moves no bar
    if (listing[i].dwFileAttributes & kAttributeDirectory) continue;
    const std::u16string name = RecordName(listing[i]);
    const std::u16string path = folder + name;
    if (!PathFits(path) || !visit(name, path)) return false;
  }
  return true;
}

}  // namespace zp
