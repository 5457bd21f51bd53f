// Fuzzes every reader of the older handhelds' bytes: the first byte picks
// the reader, the rest is the input. No input harms a reader; a string the
// info packet gives ends inside it, a listing's records never cost more than
// a bounded multiple of its bytes, and an argument never reads past its cap.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "link/legacy_info.h"
#include "link/legacy_replies.h"
#include "link/rapi1_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t pick = data[0];
  const std::span<const std::uint8_t> input(data + 2, size - 2);
  switch (pick % 4) {
    case 0: {
      std::string problem;
      if (const auto info = zp::link::ParseLegacyInfo(input, problem)) {
        if (2 * (info->name.size() + info->platform.size() + info->model.size()) > input.size()) {
          std::abort();
        }
      }
      break;
    }
    case 1: {
      const std::uint32_t flags = data[1];
      if (const auto listing = zp::link::ParseLegacyListing(input, flags)) {
        const std::uint64_t least = zp::link::LeastLegacyEntryBytes(flags);
        if (listing->count > zp::link::kMaxListingRecords) std::abort();
        if (least > 0 && std::uint64_t{listing->count} * least > input.size()) std::abort();
      }
      break;
    }
    case 2:
      if (const auto head = zp::link::ParseLegacyReplyHead(input);
          head && head->data.size() > input.size()) {
        std::abort();
      }
      break;
    default: {
      const std::uint32_t cap = data[1] * 16u;
      zp::link::WireReader in(input);
      while (in.ok() && in.left() > 0) {
        switch (in.U8() % 5) {
          case 0:
            (void)zp::link::rapi1::ReadPlainString(in);
            break;
          case 1:
            (void)zp::link::rapi1::ReadOptionalString(in);
            break;
          case 2:
            if (const auto got = zp::link::rapi1::ReadOptionalIn(in, cap);
                got && got->value.size() > cap) {
              std::abort();
            }
            break;
          case 3:
            if (const auto got = zp::link::rapi1::ReadOptionalOut(in, cap);
                got && got->value > cap) {
              std::abort();
            }
            break;
          default:
            if (const auto got = zp::link::rapi1::ReadWriteData(in, cap);
                got && got->size() > cap) {
              std::abort();
            }
            break;
        }
      }
      break;
    }
  }
  return 0;
}
