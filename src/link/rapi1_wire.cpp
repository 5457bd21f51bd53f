// The older remote API's argument encodings.
#include "link/rapi1_wire.h"

namespace zp::link::rapi1 {
namespace {

template <typename T>
std::optional<T> Broken(WireReader& in) {
  in.Fail();
  return std::nullopt;
}

// The units of a string whose last unit must be its NUL, without it.
std::optional<std::u16string> Units(WireReader& in, std::uint32_t units) {
  if (units == 0 || units > kMaxStringUnits) return Broken<std::u16string>(in);
  std::u16string text = in.Utf16(units);
  if (!in.ok() || text.back() != u'\0') return Broken<std::u16string>(in);
  text.pop_back();
  if (text.find(u'\0') != std::u16string::npos) return Broken<std::u16string>(in);
  return text;
}

}  // namespace

void PlainString(WireWriter& out, std::u16string_view text) {
  out.U32(1).U32(static_cast<std::uint32_t>(text.size() + 1)).Utf16(text).U16(0);
}

void OptionalString(WireWriter& out, std::u16string_view text) {
  out.U32(1).U32(static_cast<std::uint32_t>(2 * (text.size() + 1))).U32(1).Utf16(text).U16(0);
}

void OptionalIn(WireWriter& out, std::span<const std::uint8_t> bytes) {
  out.U32(1).U32(static_cast<std::uint32_t>(bytes.size())).U32(1).Bytes(bytes);
}

void OptionalOut(WireWriter& out, std::uint32_t size) {
  out.U32(1).U32(size).U32(0);
}

void WriteData(WireWriter& out, std::span<const std::uint8_t> bytes) {
  out.U32(1).U32(static_cast<std::uint32_t>(bytes.size())).Bytes(bytes);
}

void Null(WireWriter& out) {
  out.U32(0);
}

void ReplyOptional(WireWriter& out, const std::optional<std::span<const std::uint8_t>>& value) {
  if (!value) {
    out.U32(0);
    return;
  }
  OptionalIn(out, *value);
}

std::optional<Arg<std::u16string>> ReadPlainString(WireReader& in) {
  Arg<std::u16string> arg;
  const std::uint32_t present = in.U32();
  if (!in.ok() || present > 1) return Broken<Arg<std::u16string>>(in);
  if (present == 0) return arg;
  auto text = Units(in, in.U32());
  if (!text) return std::nullopt;
  arg.present = true;
  arg.value = std::move(*text);
  return arg;
}

std::optional<Arg<std::u16string>> ReadOptionalString(WireReader& in) {
  Arg<std::u16string> arg;
  const std::uint32_t present = in.U32();
  if (!in.ok() || present > 1) return Broken<Arg<std::u16string>>(in);
  if (present == 0) return arg;
  const std::uint32_t bytes = in.U32();
  const std::uint32_t has_value = in.U32();
  if (!in.ok() || has_value != 1 || bytes % 2 != 0) return Broken<Arg<std::u16string>>(in);
  auto text = Units(in, bytes / 2);
  if (!text) return std::nullopt;
  arg.present = true;
  arg.value = std::move(*text);
  return arg;
}

std::optional<Arg<std::vector<std::uint8_t>>> ReadOptionalIn(WireReader& in, std::uint32_t cap) {
  Arg<std::vector<std::uint8_t>> arg;
  const std::uint32_t present = in.U32();
  if (!in.ok() || present > 1) return Broken<Arg<std::vector<std::uint8_t>>>(in);
  if (present == 0) return arg;
  const std::uint32_t size = in.U32();
  const std::uint32_t has_value = in.U32();
  if (!in.ok() || has_value > 1 || size > cap) return Broken<Arg<std::vector<std::uint8_t>>>(in);
  if (has_value == 0) return arg;
  const auto bytes = in.Bytes(size);
  if (!in.ok()) return std::nullopt;
  arg.present = true;
  arg.value.assign(bytes.begin(), bytes.end());
  return arg;
}

std::optional<Arg<std::uint32_t>> ReadOptionalOut(WireReader& in, std::uint32_t cap) {
  Arg<std::uint32_t> arg;
  const std::uint32_t present = in.U32();
  if (!in.ok() || present > 1) return Broken<Arg<std::uint32_t>>(in);
  if (present == 0) return arg;
  const std::uint32_t size = in.U32();
  const std::uint32_t has_value = in.U32();
  if (!in.ok() || has_value != 0 || size > cap) return Broken<Arg<std::uint32_t>>(in);
  arg.present = true;
  arg.value = size;
  return arg;
}

std::optional<std::vector<std::uint8_t>> ReadWriteData(WireReader& in, std::uint32_t cap) {
  const std::uint32_t present = in.U32();
  const std::uint32_t size = in.U32();
  if (!in.ok() || present != 1 || size > cap) return Broken<std::vector<std::uint8_t>>(in);
  const auto bytes = in.Bytes(size);
  if (!in.ok()) return std::nullopt;
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

std::optional<Arg<std::vector<std::uint8_t>>> ReadReplyOptional(WireReader& in, std::uint32_t cap) {
  return ReadOptionalIn(in, cap);
}

}  // namespace zp::link::rapi1
