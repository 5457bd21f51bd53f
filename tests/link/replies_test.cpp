// The remote API's replies as the handheld sends them, read strictly.
#include "link/replies.h"

#include <gtest/gtest.h>

#include "link/protocol.h"
#include "link/wire.h"

namespace zp::link {
namespace {

// A listing reply: last error, result, count, then each entry's name size,
// attributes, size low and name.
std::vector<std::uint8_t> ListingReply(const std::vector<std::u16string>& names,
                                       std::uint32_t count_said) {
  WireWriter out;
  out.U32(0).U32(1).U32(count_said);
  for (const std::u16string& name : names) {
    out.U32(static_cast<std::uint32_t>((name.size() + 1) * 2)).U32(0x20).U32(7).Utf16(name).U16(0);
  }
  return out.bytes();
}

constexpr std::uint32_t kFlags = kFafName | kFafAttributes | kFafSizeLow;

TEST(Replies, AListingFillsItsRecordsAndACountPastItsBytesMakesNone) {
  const auto listing = ParseListing(ListingReply({u"A.ARR", u"b.arr"}, 2), kFlags);
  ASSERT_TRUE(listing);
  ASSERT_EQ(listing->count, 2u);
  EXPECT_EQ(std::u16string(listing->records[1].cFileName), u"b.arr");
  EXPECT_EQ(listing->records[0].nFileSizeLow, 7u);
  EXPECT_EQ(listing->records[0].dwFileAttributes, 0x20u);

  // Four thousand million entries claimed in a few bytes: refused before a
  // single record is made.
  EXPECT_FALSE(ParseListing(ListingReply({u"A.ARR"}, 0xFFFFFFFFu), kFlags));
  EXPECT_FALSE(ParseListing(ListingReply({u"A.ARR"}, 0xFFFFFFFFu), 0));
  EXPECT_FALSE(ParseListing(ListingReply({u"A.ARR"}, 2), kFlags));
  // A name longer than any device name, and one that stops inside its size.
  EXPECT_FALSE(ParseListing(ListingReply({std::u16string(260, u'x')}, 1), kFlags));
  EXPECT_TRUE(ParseListing(ListingReply({std::u16string(259, u'x')}, 1), kFlags));
  std::vector<std::uint8_t> cut = ListingReply({u"A.ARR"}, 1);
  cut.resize(cut.size() - 3);
  EXPECT_FALSE(ParseListing(cut, kFlags));
  // A failed listing has no records; an empty one is a success with none.
  WireWriter failed;
  failed.U32(3).U32(0).U32(5);
  const auto none = ParseListing(failed.bytes(), kFlags);
  ASSERT_TRUE(none);
  EXPECT_EQ(none->result, 0u);
  EXPECT_EQ(none->count, 0u);
}

TEST(Replies, NoReplyGivesMoreBytesThanWereAskedFor) {
  WireWriter read;
  read.U32(4).Bytes("abcd", 4);
  EXPECT_EQ(ParseReadData(read.bytes(), 4)->size(), 4u);
  EXPECT_FALSE(ParseReadData(read.bytes(), 3));  // more than asked
  WireWriter short_read;
  short_read.U32(8).Bytes("abcd", 4);
  EXPECT_FALSE(ParseReadData(short_read.bytes(), 16));  // fewer than it says

  EXPECT_EQ(ParseWritten(WireWriter().U32(10).bytes(), 10), 10u);
  EXPECT_FALSE(ParseWritten(WireWriter().U32(11).bytes(), 10));

  WireWriter value;
  value.U32(4).U32(4).U32(3);
  EXPECT_EQ(ParseQueriedValue(value.bytes(), 4)->type, 4u);
  EXPECT_FALSE(ParseQueriedValue(value.bytes(), 3));  // over the buffer

  EXPECT_FALSE(ParseKey(WireWriter().U32(0x1234).bytes(), true));
  EXPECT_EQ(ParseKey(WireWriter().U32(0x1234).U32(1).bytes(), true)->disposition, 1u);
  EXPECT_FALSE(ParseProcessInfo(WireWriter().U32(1).U32(2).U32(3).bytes()));

  WireWriter system;
  system.U32(0);
  for (int i = 0; i < 9; ++i) system.U32(i == 6 ? 2577 : 0);
  EXPECT_EQ(ParseProcessorType(system.bytes()), 2577u);
  system.bytes().pop_back();
  EXPECT_FALSE(ParseProcessorType(system.bytes()));
}

}  // namespace
}  // namespace zp::link
