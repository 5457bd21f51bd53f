// Fuzzes every reader of the handheld's replies: the first byte picks the
// reader and its limit, the rest is the reply. No input harms a reader,
// none gives more than was asked, and a listing's records never cost more
// than a bounded multiple of its bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "link/replies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t pick = data[0];
  const std::uint32_t limit = data[1] * 64u;
  const std::span<const std::uint8_t> reply(data + 2, size - 2);
  switch (pick % 7) {
    case 0: {
      const std::uint32_t flags = (static_cast<std::uint32_t>(data[1]) & 0xFF) | 0x4000;
      if (const auto listing = zp::link::ParseListing(reply, flags)) {
        if (listing->count > 0 && !listing->records) std::abort();
        // What the records cost is bounded by the reply's bytes: each takes
        // its least wire size, and there is an absolute cap.
        const std::uint64_t least = zp::link::LeastEntryBytes(flags);
        if (listing->count > zp::link::kMaxListingRecords) std::abort();
        if (least > 0 && std::uint64_t{listing->count} * least > reply.size()) std::abort();
        for (std::uint32_t i = 0; i < listing->count; ++i) {
          std::size_t length = 0;
          while (length < 260 && listing->records[i].cFileName[length] != 0) ++length;
          if (length == 260) std::abort();  // every name ends inside its field
        }
      }
      break;
    }
    case 1:
      if (const auto read = zp::link::ParseReadData(reply, limit); read && read->size() > limit)
        std::abort();
      break;
    case 2:
      if (const auto put = zp::link::ParseWritten(reply, limit); put && *put > limit) std::abort();
      break;
    case 3:
      (void)zp::link::ParseKey(reply, data[1] & 1);
      break;
    case 4:
      if (const auto value = zp::link::ParseQueriedValue(reply, limit);
          value && value->data.size() > limit)
        std::abort();
      break;
    case 5:
      (void)zp::link::ParseProcessInfo(reply);
      break;
    default:
      (void)zp::link::ParseProcessorType(reply);
      break;
  }
  return 0;
}
