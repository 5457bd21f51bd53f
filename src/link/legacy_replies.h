// The older remote API's replies: the flag word and its HRESULT, and the
// listing. Each reader checks every length against the bytes there are and
// a cap before anything is allocated; nothing when the reply does not add up.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "link/replies.h"
#include "link/wire.h"

namespace zp::link {

/// A reply's head: its flag, and the HRESULT a flag of 1 brings. `data` is
/// what follows.
struct LegacyReplyHead {
  std::uint32_t hresult = 0;
  std::span<const std::uint8_t> data;
};
/// Nothing when the flag is neither 0 nor 1, or the HRESULT is missing.
std::optional<LegacyReplyHead> ParseLegacyReplyHead(std::span<const std::uint8_t> body);

/// The least bytes one listing entry with `flags` takes: the fields, and a
/// one-character name with its length.
std::uint32_t LeastLegacyEntryBytes(std::uint32_t flags);
/// CeFindAllFiles's reply data: a count (no last error), then the entries.
/// Name lengths are in characters; a last NUL among them is dropped.
std::optional<Listing> ParseLegacyListing(std::span<const std::uint8_t> data, std::uint32_t flags);

}  // namespace zp::link
