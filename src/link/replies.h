// The out data of the remote API's replies, read from a reply's bytes
// after its last error and return value. Each parser checks every length
// against the bytes there are and the caller's buffer; nothing when the
// reply does not add up.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "device/remote_device.h"
#include "link/wire.h"

namespace zp::link {

/// A listing (CeFindAllFiles): the records, `count` of them.
struct Listing {
  std::uint32_t result = 0;  ///< the word before the count, taken as the call's result
  std::uint32_t count = 0;
  std::unique_ptr<CeFindData[]> records;
};
/// The fields of one listing entry that `flags` asks for, between its name's
/// length and its name (both generations list them so). False when the
/// bytes run out.
bool ReadEntryFields(WireReader& in, std::uint32_t flags, CeFindData& record);
/// Whether a listing entry's name can be a file's name: not empty, at most
/// 259 characters, no control character, no `\` or `/` (one that held them
/// would change the path it is joined to, or the log line it is shown in).
bool IsListedName(std::u16string_view name);

/// The most records one listing reply may make (about 37 MB of them): a
/// handheld's object store holds fewer files than that.
inline constexpr std::uint32_t kMaxListingRecords = 65'536;
/// The least bytes one entry of a listing with `flags` takes on the wire.
std::uint32_t LeastEntryBytes(std::uint32_t flags);
/// The whole reply body (last error first): records for the fields `flags`
/// asks for. A name longer than 259 characters cannot be a device name,
/// nor can an empty one. The count is bounded by the bytes there are.
std::optional<Listing> ParseListing(std::span<const std::uint8_t> body, std::uint32_t flags);

/// CeReadFile: the bytes read, at most `asked`.
std::optional<std::span<const std::uint8_t>> ParseReadData(std::span<const std::uint8_t> out,
                                                           std::uint32_t asked);
/// CeWriteFile: the count written, at most `sent`.
std::optional<std::uint32_t> ParseWritten(std::span<const std::uint8_t> out, std::uint32_t sent);

struct CreatedKey {
  std::uint32_t key = 0;
  std::uint32_t disposition = 0;
};
/// CeRegOpenKeyEx (no disposition) and CeRegCreateKeyEx.
std::optional<CreatedKey> ParseKey(std::span<const std::uint8_t> out, bool with_disposition);

struct QueriedValue {
  std::uint32_t type = 0;
  std::span<const std::uint8_t> data;
};
/// CeRegQueryValueEx: type and data, the data at most `buffer` bytes.
std::optional<QueriedValue> ParseQueriedValue(std::span<const std::uint8_t> out,
                                              std::uint32_t buffer);

/// CeCreateProcess: the four words of PROCESS_INFORMATION.
std::optional<CeProcessInfo> ParseProcessInfo(std::span<const std::uint8_t> out);

/// CeGetSystemInfo: the whole reply body (last error, then SYSTEM_INFO).
std::optional<std::uint32_t> ParseProcessorType(std::span<const std::uint8_t> body);

/// A device handle to the program's, and back.
CeHandle HandleFromWire(std::uint32_t handle);

}  // namespace zp::link
