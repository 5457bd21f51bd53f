// Listings that tell "nothing matches" from "could not list".
#include "platform/platform.h"

namespace zp {

std::optional<std::vector<FindEntry>> ListFiles(const std::string& pattern, FindDetail detail) {
  std::vector<FindEntry> entries = FindFiles(pattern, detail);
  const std::uint32_t error = LastErrorCode();
  if (error != kErrorFileNotFound && error != kErrorNoMoreFiles) return std::nullopt;
  return entries;
}

}  // namespace zp
