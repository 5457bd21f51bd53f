// The link's bounds-checked reader and its writer.
#include "link/wire.h"

#include <cstring>

namespace zp::link {

bool WireReader::Have(std::size_t count) {
  if (!ok_ || bytes_.size() - at_ < count) {
    ok_ = false;
    return false;
  }
  return true;
}

std::uint32_t WireReader::U32() {
  if (!Have(4)) return 0;
  const std::uint8_t* p = bytes_.data() + at_;
  at_ += 4;
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t WireReader::U16() {
  if (!Have(2)) return 0;
  const std::uint8_t* p = bytes_.data() + at_;
  at_ += 2;
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint8_t WireReader::U8() {
  if (!Have(1)) return 0;
  return bytes_[at_++];
}

std::span<const std::uint8_t> WireReader::Bytes(std::size_t count) {
  if (!Have(count)) return {};
  const auto part = bytes_.subspan(at_, count);
  at_ += count;
  return part;
}

std::u16string WireReader::Utf16(std::size_t units) {
  if (units > left() / 2) {
    ok_ = false;
    return {};
  }
  std::u16string text(units, u'\0');
  for (char16_t& unit : text) unit = U16();
  return text;
}

std::optional<std::u16string> WireReader::String() {
  const std::uint32_t size = U32();
  if (!ok_ || size == 0) return std::nullopt;
  if (size % 2 != 0 || size > left()) {
    ok_ = false;
    return std::nullopt;
  }
  std::u16string text = Utf16(size / 2);
  if (text.empty() || text.back() != u'\0') {
    ok_ = false;
    return std::nullopt;
  }
  text.pop_back();
  return text;
}

WireWriter& WireWriter::U32(std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
  return *this;
}

WireWriter& WireWriter::U16(std::uint16_t value) {
  bytes_.push_back(static_cast<std::uint8_t>(value));
  bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
  return *this;
}

WireWriter& WireWriter::U8(std::uint8_t value) {
  bytes_.push_back(value);
  return *this;
}

WireWriter& WireWriter::Bytes(std::span<const std::uint8_t> bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

WireWriter& WireWriter::Bytes(const void* data, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  return Bytes(std::span<const std::uint8_t>(p, size));
}

WireWriter& WireWriter::Utf16(std::u16string_view text) {
  for (const char16_t unit : text) U16(unit);
  return *this;
}

WireWriter& WireWriter::String(std::u16string_view text) {
  U32(static_cast<std::uint32_t>((text.size() + 1) * 2));
  Utf16(text);
  return U16(0);
}

void WireWriter::PatchU32(std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes_.at(offset + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(value >> (8 * i));
}

WireWriter StartFrame() {
  WireWriter frame;
  frame.U32(0);
  return frame;
}

std::vector<std::uint8_t> FinishFrame(WireWriter frame) {
  frame.PatchU32(0, static_cast<std::uint32_t>(frame.size() - 4));
  return std::move(frame.bytes());
}

}  // namespace zp::link
