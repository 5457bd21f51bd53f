// Reading the remote API's replies.
#include "link/replies.h"

#include <algorithm>
#include <string>

#include "link/protocol.h"
#include "link/wire.h"

namespace zp::link {
namespace {

/// The longest name a device file can have, its NUL included, in bytes;
/// and the shortest, one character and its NUL.
constexpr std::uint32_t kMaxNameBytes = 260 * 2;
constexpr std::uint32_t kLeastNameBytes = 2 * 2;
constexpr std::uint32_t kDeviceInvalidHandle = 0xFFFFFFFFu;
constexpr std::size_t kSystemInfoBytes = 36;
constexpr std::size_t kProcessorTypeAt = 24;

}  // namespace

std::uint32_t LeastEntryBytes(std::uint32_t flags) {
  // A file's name has a character and its NUL at least.
  std::uint32_t bytes = (flags & kFafName) ? kLeastNameBytes : 0;
  for (const auto& [flag, size] :
       {std::pair{kFafName, 4u}, std::pair{kFafAttributes, 4u}, std::pair{kFafCreationTime, 8u},
        std::pair{kFafLastAccessTime, 8u}, std::pair{kFafLastWriteTime, 8u},
        std::pair{kFafSizeHigh, 4u}, std::pair{kFafSizeLow, 4u}, std::pair{kFafOid, 4u}}) {
    if (flags & flag) bytes += size;
  }
  return bytes;
}

namespace {

// One entry into its record: the name's size first, then the fields in
// their order, the name last.
bool ReadEntry(WireReader& in, std::uint32_t flags, CeFindData& record) {
  const std::uint32_t name_bytes = (flags & kFafName) ? in.U32() : 0;
  if (!ReadEntryFields(in, flags, record)) return false;
  if (!(flags & kFafName)) return true;
  if (name_bytes % 2 != 0 || name_bytes < kLeastNameBytes || name_bytes > kMaxNameBytes) {
    return false;
  }
  std::u16string name = in.Utf16(name_bytes / 2);
  if (!name.empty() && name.back() == u'\0') name.pop_back();
  if (!in.ok() || !IsListedName(name)) return false;
  std::copy(name.begin(), name.end(), record.cFileName);
  record.cFileName[name.size()] = u'\0';
  return true;
}

}  // namespace

bool ReadEntryFields(WireReader& in, std::uint32_t flags, CeFindData& record) {
  if (flags & kFafAttributes) record.dwFileAttributes = in.U32();
  for (const auto& [flag, time] : {std::pair{kFafCreationTime, record.ftCreationTime},
                                   std::pair{kFafLastAccessTime, record.ftLastAccessTime},
                                   std::pair{kFafLastWriteTime, record.ftLastWriteTime}}) {
    if (flags & flag) {
      time[0] = in.U32();
      time[1] = in.U32();
    }
  }
  if (flags & kFafSizeHigh) record.nFileSizeHigh = in.U32();
  if (flags & kFafSizeLow) record.nFileSizeLow = in.U32();
  if (flags & kFafOid) record.dwOID = in.U32();
  return in.ok();
}

bool IsListedName(std::u16string_view name) {
  if (name.empty() || name.size() > 259) return false;
  for (const char16_t unit : name) {
    if (unit < 0x20 || unit == u'\\' || unit == u'/') return false;
  }
  return true;
}

std::optional<Listing> ParseListing(std::span<const std::uint8_t> body, std::uint32_t flags) {
  WireReader in(body);
  in.U32();  // the last error, kept by the caller
  Listing listing;
  listing.result = in.U32();
  const std::uint32_t count = in.U32();
  if (!in.ok()) return std::nullopt;
  if (listing.result == 0) return listing;  // failed: no records
  // The count is checked against the bytes that hold the entries before a
  // record is made: each entry takes its least wire size, so the records
  // take at most sizeof(CeFindData) / LeastEntryBytes times the reply, and
  // never more than kMaxListingRecords of them. Entries of flags that ask
  // for nothing take no bytes: only that absolute bound holds for them.
  const std::uint32_t least = LeastEntryBytes(flags);
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

std::optional<std::span<const std::uint8_t>> ParseReadData(std::span<const std::uint8_t> out,
                                                           std::uint32_t asked) {
  WireReader in(out);
  const std::uint32_t read = in.U32();
  if (!in.ok() || read > asked) return std::nullopt;
  const auto bytes = in.Bytes(read);
  if (!in.ok()) return std::nullopt;
  return bytes;
}

std::optional<std::uint32_t> ParseWritten(std::span<const std::uint8_t> out, std::uint32_t sent) {
  WireReader in(out);
  const std::uint32_t written = in.U32();
  if (!in.ok() || written > sent) return std::nullopt;
  return written;
}

std::optional<CreatedKey> ParseKey(std::span<const std::uint8_t> out, bool with_disposition) {
  WireReader in(out);
  CreatedKey key;
  key.key = in.U32();
  if (with_disposition) key.disposition = in.U32();
  if (!in.ok()) return std::nullopt;
  return key;
}

std::optional<QueriedValue> ParseQueriedValue(std::span<const std::uint8_t> out,
                                              std::uint32_t buffer) {
  WireReader in(out);
  QueriedValue value;
  value.type = in.U32();
  const std::uint32_t size = in.U32();
  // More bytes than the buffer holds is a reply that does not add up.
  if (!in.ok() || size > buffer) return std::nullopt;
  value.data = in.Bytes(size);
  if (!in.ok()) return std::nullopt;
  return value;
}

std::optional<CeProcessInfo> ParseProcessInfo(std::span<const std::uint8_t> out) {
  WireReader in(out);
  CeProcessInfo info;
  info.hProcess = HandleFromWire(in.U32());
  info.hThread = HandleFromWire(in.U32());
  info.dwProcessId = in.U32();
  info.dwThreadId = in.U32();
  if (!in.ok()) return std::nullopt;
  return info;
}

std::optional<std::uint32_t> ParseProcessorType(std::span<const std::uint8_t> body) {
  WireReader in(body);
  in.U32();  // the last error
  in.Skip(kProcessorTypeAt);
  const std::uint32_t processor = in.U32();
  in.Skip(kSystemInfoBytes - kProcessorTypeAt - 4);
  if (!in.ok()) return std::nullopt;
  return processor;
}

CeHandle HandleFromWire(std::uint32_t handle) {
  return handle == kDeviceInvalidHandle ? kInvalidCeHandle : static_cast<CeHandle>(handle);
}

}  // namespace zp::link
