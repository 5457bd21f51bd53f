// Reading the older remote API's replies.
#include "link/legacy_replies.h"

#include <algorithm>
#include <string>
#include <utility>

#include "device/remote_device.h"
#include "link/legacy_protocol.h"

namespace zp::link {
namespace {

constexpr std::uint32_t kMaxNameUnits = 260;

bool ReadEntry(WireReader& in, std::uint32_t flags, CeFindData& record) {
  const std::uint32_t name_units = (flags & kFafName) ? in.U32() : 0;
  if (!ReadEntryFields(in, flags, record)) return false;
  if (!(flags & kFafName)) return true;
  if (name_units == 0 || name_units > kMaxNameUnits) return false;
  std::u16string name = in.Utf16(name_units);
  if (!name.empty() && name.back() == u'\0') name.pop_back();
  if (!in.ok() || !IsListedName(name)) return false;
  std::copy(name.begin(), name.end(), record.cFileName);
  record.cFileName[name.size()] = u'\0';
  return true;
}

}  // namespace

std::optional<LegacyReplyHead> ParseLegacyReplyHead(std::span<const std::uint8_t> body) {
  WireReader in(body);
  LegacyReplyHead head;
  const std::uint32_t flag = in.U32();
  if (flag == kReplyWithResult) head.hresult = in.U32();
  if (!in.ok() || flag > kReplyWithResult) return std::nullopt;
  head.data = body.subspan(in.offset());
  return head;
}

std::uint32_t LeastLegacyEntryBytes(std::uint32_t flags) {
  // As the newer listing's, but a one-character name may come without its NUL.
  return LeastEntryBytes(flags) - ((flags & kFafName) ? 2 : 0);
}

std::optional<Listing> ParseLegacyListing(std::span<const std::uint8_t> data, std::uint32_t flags) {
  WireReader in(data);
  Listing listing;
  listing.result = 1;  // no word says otherwise: a folder that is not there lists nothing
  const std::uint32_t count = in.U32();
  if (!in.ok()) return std::nullopt;
  const std::uint32_t least = LeastLegacyEntryBytes(flags);
  const std::uint64_t most = least == 0 ? kMaxListingRecords : in.left() / least;
  if (count > most || count > kMaxListingRecords) return std::nullopt;
  if (count == 0) return listing;
  listing.records = std::make_unique<CeFindData[]>(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!ReadEntry(in, flags, listing.records[i])) return std::nullopt;
  }
  listing.count = count;
  return listing;
}

}  // namespace zp::link
