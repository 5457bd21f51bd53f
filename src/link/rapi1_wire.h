// The argument encodings of the older remote API (RAPI1), both ways: the
// desktop writes requests with them and reads replies' optionals; the
// handheld program reads requests with them. Every read checks the bytes
// left and a cap; a read that does not add up fails the reader.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/wire.h"

namespace zp::link::rapi1 {

// Writing (requests, and the handheld's replies).
/// u32 1, u32 character count with the NUL, the characters and the NUL.
void PlainString(WireWriter& out, std::u16string_view text);
/// u32 1, u32 byte count with the NUL, u32 1, the bytes and the NUL.
void OptionalString(WireWriter& out, std::u16string_view text);
/// u32 1, u32 size, u32 1, the bytes: a value handed in.
void OptionalIn(WireWriter& out, std::span<const std::uint8_t> bytes);
/// u32 1, u32 size, u32 0: room for a value to be filled.
void OptionalOut(WireWriter& out, std::uint32_t size);
/// u32 1, u32 size, the bytes: CeWriteFile's data.
void WriteData(WireWriter& out, std::span<const std::uint8_t> bytes);
/// u32 0: a NULL pointer or string.
void Null(WireWriter& out);
/// A reply optional: u32 1, u32 size, u32 1, the bytes; or, for no value,
/// u32 0.
void ReplyOptional(WireWriter& out, const std::optional<std::span<const std::uint8_t>>& value);

// Reading. Each gives nothing, and fails the reader, when the bytes do not
// add up.
/// An argument that may be NULL: `present` false for a NULL.
template <typename T>
struct Arg {
  bool present = false;
  T value{};
};
/// The longest string taken, in characters with the NUL.
inline constexpr std::uint32_t kMaxStringUnits = 32 * 1024;
std::optional<Arg<std::u16string>> ReadPlainString(WireReader& in);
std::optional<Arg<std::u16string>> ReadOptionalString(WireReader& in);
/// A value handed in, at most `cap` bytes (has-value 0: not present).
std::optional<Arg<std::vector<std::uint8_t>>> ReadOptionalIn(WireReader& in, std::uint32_t cap);
/// Room asked for: its size, at most `cap`.
std::optional<Arg<std::uint32_t>> ReadOptionalOut(WireReader& in, std::uint32_t cap);
/// CeWriteFile's data, at most `cap` bytes.
std::optional<std::vector<std::uint8_t>> ReadWriteData(WireReader& in, std::uint32_t cap);
/// A reply optional, at most `cap` bytes (present 0 or has-value 0: none).
std::optional<Arg<std::vector<std::uint8_t>>> ReadReplyOptional(WireReader& in, std::uint32_t cap);

}  // namespace zp::link::rapi1
