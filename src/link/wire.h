// The byte layouts of the handheld's link: a reader whose every read checks
// the bytes left, and a writer. All integers are little-endian; text is
// UTF-16LE. Nothing is ever read by casting a struct over a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zp::link {

/// Reads a received packet front to back. A read past the end fails and
/// leaves the reader failed: every later read fails too, so a parser may
/// read a whole record and test ok() once.
class WireReader {
 public:
  explicit WireReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::uint32_t U32();
  std::uint16_t U16();
  std::uint8_t U8();
  /// `count` raw bytes; an empty span (and failed) when fewer are left.
  std::span<const std::uint8_t> Bytes(std::size_t count);
  /// `units` UTF-16 code units.
  std::u16string Utf16(std::size_t units);
  /// A string argument: u32 byte count including the NUL, then the bytes; a
  /// count of 0 is a null string (nothing, still ok). A count that is odd,
  /// or whose last unit is not a NUL, fails the reader.
  std::optional<std::u16string> String();
  void Skip(std::size_t count) { Bytes(count); }

  bool ok() const { return ok_; }
  std::size_t left() const { return ok_ ? bytes_.size() - at_ : 0; }
  std::size_t offset() const { return at_; }
  /// Marks the packet as not adding up (a field the caller found wrong).
  void Fail() { ok_ = false; }

 private:
  bool Have(std::size_t count);

  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

/// Builds a packet to send.
class WireWriter {
 public:
  WireWriter& U32(std::uint32_t value);
  WireWriter& U16(std::uint16_t value);
  WireWriter& U8(std::uint8_t value);
  WireWriter& Bytes(std::span<const std::uint8_t> bytes);
  WireWriter& Bytes(const void* data, std::size_t size);
  /// UTF-16LE units, no count, no NUL.
  WireWriter& Utf16(std::u16string_view text);
  /// A string argument: u32 byte count with the NUL, the units, the NUL.
  WireWriter& String(std::u16string_view text);
  /// A null string argument: u32 0.
  WireWriter& NullString() { return U32(0); }
  /// Overwrites a u32 written earlier at `offset`.
  void PatchU32(std::size_t offset, std::uint32_t value);

  std::size_t size() const { return bytes_.size(); }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::vector<std::uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

/// A frame: u32 L then L bytes. Starts a writer with room for the length;
/// FinishFrame fills it in.
WireWriter StartFrame();
std::vector<std::uint8_t> FinishFrame(WireWriter frame);

}  // namespace zp::link
