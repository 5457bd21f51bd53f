// Remote listings taken into a guard.
#include "device/remote_handles.h"

namespace zp {

bool ListRemote(RemoteDevice& device, const std::u16string& pattern, std::uint32_t flags,
                RemoteListing& listing) {
  std::uint32_t count = 0;
  CeFindData* records = nullptr;
  const bool ok = device.CeFindAllFiles(pattern, flags, &count, &records);
  listing.buffer.Reset(records);
  listing.count = ok && records ? count : 0;
  return ok;
}

std::u16string RecordName(const CeFindData& record) {
  std::size_t length = 0;
  while (length < std::size(record.cFileName) && record.cFileName[length] != 0) ++length;
  return std::u16string(record.cFileName, length);
}

}  // namespace zp
