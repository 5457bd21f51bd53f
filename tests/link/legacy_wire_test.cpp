// The older handhelds' bytes: the info packet, the password, the reply's
// head and the listing, against what real handhelds were seen to send.
#include <gtest/gtest.h>

#include "device/remote_device.h"
#include "link/legacy_info.h"
#include "link/legacy_replies.h"
#include "link/password_mask.h"
#include "link/rapi1_wire.h"

namespace zp::link {
namespace {

std::vector<std::uint8_t> Words(std::initializer_list<std::uint32_t> words) {
  WireWriter out;
  for (const std::uint32_t word : words) out.U32(word);
  return std::move(out.bytes());
}

TEST(LegacyWire, ThePasswordIsMaskedAsARealHandheldTookIt) {
  EXPECT_EQ(MaskedPassword("1234", 0xFD, true),
            (std::vector<std::uint8_t>{0x0A, 0x00, 0xCC, 0xFD, 0xCF, 0xFD, 0xCE, 0xFD, 0xC9, 0xFD,
                                       0xFD, 0xFD}));
}

TEST(LegacyWire, AnInfoPacketIsTakenOnlyWhenEveryStringEndsInsideIt) {
  LegacyInfo sent;
  sent.os_major = 3;
  sent.build = 11171;
  sent.partner_id = 0x1234ABCD;
  sent.name = u"Old_PPC";
  sent.platform = u"PocketPC";
  sent.model = u"iPAQ";
  const auto bytes = BuildLegacyInfo(sent);
  std::string problem;
  const auto got = ParseLegacyInfo(bytes, problem);
  ASSERT_TRUE(got) << problem;
  EXPECT_EQ(got->name, u"Old_PPC");
  EXPECT_EQ(got->model, u"iPAQ");
  EXPECT_EQ(got->build, 11171);
  EXPECT_EQ(got->partner_id, 0x1234ABCDu);

  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    const char* problem;
  };
  auto offset_out = bytes;
  offset_out[24] = static_cast<std::uint8_t>(bytes.size());  // the name's offset: the end
  auto no_nul = bytes;
  no_nul.resize(no_nul.size() - 2);  // the model's NUL cut off
  const Case cases[] = {
      {"offset outside", offset_out, "the name is outside the packet"},
      {"no NUL", no_nul, "the model name has no NUL inside the packet"},
      {"too short", std::vector<std::uint8_t>(0x23), "an info packet of 35 bytes"},
  };
  for (const Case& each : cases) {
    EXPECT_FALSE(ParseLegacyInfo(each.bytes, problem)) << each.what;
    EXPECT_EQ(problem, each.problem) << each.what;
  }
}

TEST(LegacyWire, ARepliesFlagIsZeroOrOneWithItsResult) {
  const auto plain_bytes = Words({0, 7});
  const auto plain = ParseLegacyReplyHead(plain_bytes);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->hresult, 0u);
  EXPECT_EQ(plain->data.size(), 4u);
  const auto failed_bytes = Words({1, 0x80004001u});
  const auto failed = ParseLegacyReplyHead(failed_bytes);
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->hresult, 0x80004001u);
  EXPECT_FALSE(ParseLegacyReplyHead(Words({2, 0})));
  EXPECT_FALSE(ParseLegacyReplyHead(Words({1})));  // its result missing
}

TEST(LegacyWire, AListingCountsNamesInCharactersAndItsCountIsBoundedByItsBytes) {
  WireWriter reply;
  reply.U32(2);
  reply.U32(6).U32(0x20).Utf16(u"A.ARR").U16(0);  // the NUL counted
  reply.U32(5).U32(0x80).Utf16(u"B.ARR");         // and not
  const auto listing = ParseLegacyListing(reply.bytes(), kFafName | kFafAttributes);
  ASSERT_TRUE(listing);
  ASSERT_EQ(listing->count, 2u);
  EXPECT_EQ(std::u16string(listing->records[0].cFileName), u"A.ARR");
  EXPECT_EQ(listing->records[1].dwFileAttributes, 0x80u);
  EXPECT_EQ(std::u16string(listing->records[1].cFileName), u"B.ARR");
  // A count the bytes cannot hold is refused before any record is made.
  EXPECT_FALSE(ParseLegacyListing(Words({100000, 1, 0, 0x41}), kFafName | kFafAttributes));
  // No file name holds a path separator or a control character.
  WireWriter bad;
  bad.U32(1).U32(3).U32(0).Utf16(u"a\\b");
  EXPECT_FALSE(ParseLegacyListing(bad.bytes(), kFafName | kFafAttributes));
}

TEST(LegacyWire, ArgumentsReadBackAsTheyWereWrittenAndOverrunsFail) {
  WireWriter out;
  rapi1::PlainString(out, u"\\d");
  rapi1::OptionalString(out, u"N");
  rapi1::OptionalOut(out, 16);
  rapi1::Null(out);
  EXPECT_EQ(out.bytes(),
            (std::vector<std::uint8_t>{1, 0, 0,  0, 3, 0, 0, 0, '\\', 0, 'd', 0, 0, 0, 1, 0,
                                       0, 0, 4,  0, 0, 0, 1, 0, 0,    0, 'N', 0, 0, 0, 1, 0,
                                       0, 0, 16, 0, 0, 0, 0, 0, 0,    0, 0,   0, 0, 0}));
  WireReader in(out.bytes());
  EXPECT_EQ(rapi1::ReadPlainString(in)->value, u"\\d");
  EXPECT_EQ(rapi1::ReadOptionalString(in)->value, u"N");
  EXPECT_EQ(rapi1::ReadOptionalOut(in, 16)->value, 16u);
  EXPECT_FALSE(rapi1::ReadPlainString(in)->present);
  EXPECT_TRUE(in.ok());
  const auto short_string = Words({1, 5, 0x41});  // 5 characters where 2 are
  WireReader over(short_string);
  EXPECT_FALSE(rapi1::ReadPlainString(over));
  EXPECT_FALSE(over.ok());
}

}  // namespace
}  // namespace zp::link
