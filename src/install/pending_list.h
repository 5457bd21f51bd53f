// The desktop's list of pending installations, "InstallID": device ids in
// hexadecimal, separated by commas.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace zp {

/// Where an entry stands in the list text: [begin, end), the comma excluded.
struct PendingEntry {
  std::size_t begin = 0;
  std::size_t end = 0;
};

/// Reads one entry's number as scanf's "%08x" does: white space skipped, at
/// most 8 characters taken, 0 when no number can be read.
std::uint32_t ReadPendingNumber(const std::string& list, std::size_t begin);

/// The first entry whose number equals `device_id`; nothing when the
/// device has no entry (only the device's own entry is ever installed).
std::optional<PendingEntry> FindPendingEntry(const std::string& list, std::uint32_t device_id);

/// Takes the entry out of the list text: with the comma after it; the last
/// of several with the comma before it; the only one leaves "".
void RemovePendingEntry(std::string& list, const PendingEntry& entry);

}  // namespace zp
