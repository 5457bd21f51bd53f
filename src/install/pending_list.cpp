// Scanning and editing the pending-installation list.
#include "install/pending_list.h"

#include <cstdio>

namespace zp {

std::uint32_t ReadPendingNumber(const std::string& list, std::size_t begin) {
  // The list is NUL-terminated inside the string; the entry's comma ends
  // the number, as it is no hexadecimal digit.
  unsigned int value = 0;
  std::sscanf(list.c_str() + begin, "%8x", &value);
  return value;
}

std::optional<PendingEntry> FindPendingEntry(const std::string& list, std::uint32_t device_id) {
  std::size_t begin = 0;
  while (begin < list.size()) {
    std::size_t end = list.find(',', begin);
    const bool last = end == std::string::npos;
    if (last) end = list.size();
    if (ReadPendingNumber(list, begin) == device_id) {
      return PendingEntry{begin, end};
    }
    if (last) break;
    begin = end + 1;
  }
  return std::nullopt;
}

void RemovePendingEntry(std::string& list, const PendingEntry& entry) {
  if (entry.end < list.size()) {
    list.erase(entry.begin, entry.end - entry.begin + 1);  // with its comma
  } else if (entry.begin > 0) {
    list.resize(entry.begin - 1);  // cut at the comma before it
  } else {
    list.clear();
  }
}

}  // namespace zp
