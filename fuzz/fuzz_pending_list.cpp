// Fuzzes the pending-installation list: the scan and the edit stay inside
// the text, and taking an entry out removes exactly that entry's text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "install/pending_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  std::uint32_t id = 0;
  std::memcpy(&id, data, 4);
  std::string list(reinterpret_cast<const char*>(data) + 4, size - 4);
  list.resize(std::strlen(list.c_str()));  // the registry text ends at its NUL
  const auto entry = zp::FindPendingEntry(list, id);
  if (!entry) return 0;
  if (entry->begin > entry->end || entry->end > list.size()) std::abort();
  const std::string before = list;
  zp::RemovePendingEntry(list, *entry);
  if (list.size() >= before.size() && !before.empty()) std::abort();
  return 0;
}
