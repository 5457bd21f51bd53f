// Listings that tell "nothing matches" from "could not list", and keep
// only the entries whose own name matches.
#include <algorithm>

#include "platform/listing_filter.h"
#include "platform/name_rules.h"
#include "platform/platform.h"

namespace zp {

void KeepLongNameMatches(std::string_view pattern, std::vector<FindEntry>& entries) {
  const std::size_t cut = pattern.find_last_of("\\/");
  const std::string_view wildcard =
      cut == std::string_view::npos ? pattern : pattern.substr(cut + 1);
  std::erase_if(entries,
                [&](const FindEntry& entry) { return !NarrowNames::Match(wildcard, entry.name); });
}

std::optional<std::vector<FindEntry>> ListFiles(const std::string& pattern, FindDetail detail) {
  std::vector<FindEntry> entries = FindFiles(pattern, detail);
  const std::uint32_t error = LastErrorCode();
  if (error != kErrorFileNotFound && error != kErrorNoMoreFiles) return std::nullopt;
  KeepLongNameMatches(pattern, entries);
  return entries;
}

}  // namespace zp
