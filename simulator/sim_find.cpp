// The simulated handheld's listings: CeFindAllFiles and the record buffers
// it hands out.
#include <algorithm>

#include "platform/name_rules.h"
#include "simulator/sim_paths.h"
#include "simulator/sim_state.h"

namespace zp {
namespace {

// cFileName holds 260 units: longer names are cut to 259 and terminated.
constexpr std::size_t kNameUnits = sizeof(CeFindData::cFileName) / sizeof(char16_t) - 1;

bool Matches(std::u16string_view wildcard, std::u16string_view name) {
  // "*.*" lists every name, dot or not, as on the device.
  return wildcard == u"*.*" || WideNames::Match(wildcard, name);
}

// A FILETIME (100 ns since 1601) as its two halves.
void SetTime(std::uint32_t (&time)[2], std::uint64_t filetime) {
  time[0] = static_cast<std::uint32_t>(filetime);
  time[1] = static_cast<std::uint32_t>(filetime >> 32);
}

// Each field is filled only when its flag asks for it, as the device does;
// the rest stay 0.
void Fill(CeFindData& record, const sim::Entry& entry, std::uint32_t flags) {
  if (flags & kFafAttributes) {
    record.dwFileAttributes = entry.folder ? kAttributeDirectory : kFileAttributeNormal;
  }
  if (flags & kFafCreationTime) SetTime(record.ftCreationTime, entry.filetime);
  if (flags & kFafLastAccessTime) SetTime(record.ftLastAccessTime, entry.filetime);
  if (flags & kFafLastWriteTime) SetTime(record.ftLastWriteTime, entry.filetime);
  if (flags & kFafSizeHigh) record.nFileSizeHigh = static_cast<std::uint32_t>(entry.size >> 32);
  if (flags & kFafSizeLow) record.nFileSizeLow = static_cast<std::uint32_t>(entry.size);
  if (flags & kFafOid) record.dwOID = entry.oid;
  if (flags & kFafName) {
    const std::size_t units = std::min(entry.name.size(), kNameUnits);
    std::copy_n(entry.name.begin(), units, record.cFileName);
    record.cFileName[units] = u'\0';
  }
}

std::u16string_view RecordName(const CeFindData& record) {
  const std::u16string_view units(record.cFileName, std::size(record.cFileName));
  return units.substr(0, units.find(u'\0'));
}

}  // namespace

bool SimulatedDevice::CeFindAllFiles(const std::u16string& pattern, std::uint32_t flags,
                                     std::uint32_t* count, CeFindData** records) {
  State& s = *state_;
  if (count) *count = 0;
  if (records) *records = nullptr;
  if (s.Gate("CeFindAllFiles", pattern, kErrorPathNotFound) == sim::Admit::Refuse) return false;
  if (!count || !records) return s.Error(kErrorInvalidParameter);
  const std::size_t cut = pattern.rfind(u'\\');
  if (cut == std::u16string::npos) return s.Error(kErrorInvalidName);
  const std::u16string_view wildcard = std::u16string_view(pattern).substr(cut + 1);
  const bool wildcard_ok = std::all_of(wildcard.begin(), wildcard.end(), [](char16_t c) {
    return c == u'*' || c == u'?' || sim::IsValidNameChar(c);
  });
  const auto folder = sim::Locate(s.files_root, std::u16string_view(pattern).substr(0, cut + 1));
  if (!folder || !wildcard_ok) return s.Error(kErrorInvalidName);
  // A folder that is missing lists as empty: the listing succeeds with no
  // records, as a pattern that matches nothing does.
  if (folder->kind != sim::NodeKind::Folder || wildcard.empty()) return true;

  const bool times = (flags & (kFafCreationTime | kFafLastAccessTime | kFafLastWriteTime)) != 0;
  // Counted first, and the records filled on a second reading, so that the
  // records are the only copy of a large listing ever held.
  std::size_t matching = 0;
  const bool read = sim::VisitFolder(folder->host, false, [&](const sim::Entry& entry) {
    if (Matches(wildcard, entry.name)) ++matching;
  });
  // A folder that cannot be read is a failed listing, never an empty one.
  if (!read) return s.Error(kErrorReadFault);
  if (matching == 0) return true;
  auto buffer = std::make_unique<CeFindData[]>(matching);  // zeroed: unasked fields stay 0
  std::size_t filled = 0;
  const bool reread = sim::VisitFolder(folder->host, times, [&](const sim::Entry& entry) {
    // The name always, for the order; taken out again below when unasked.
    if (filled < matching && Matches(wildcard, entry.name)) {
      Fill(buffer[filled++], entry, flags | kFafName);
    }
  });
  if (!reread) return s.Error(kErrorReadFault);
  std::sort(buffer.get(), buffer.get() + filled, [](const CeFindData& a, const CeFindData& b) {
    return WideNames::Less(RecordName(a), RecordName(b));
  });
  if (!(flags & kFafName)) {
    for (std::size_t i = 0; i < filled; ++i)
      std::fill(std::begin(buffer[i].cFileName), std::end(buffer[i].cFileName), u'\0');
  }
  *count = static_cast<std::uint32_t>(filled);
  *records = buffer.get();
  s.buffers.emplace(buffer.get(), std::move(buffer));
  return true;
}

// Memory of the desktop side: freed whatever the rules say, never journaled.
void SimulatedDevice::CeRapiFreeBuffer(void* buffer) {
  state_->buffers.erase(buffer);
}

}  // namespace zp
