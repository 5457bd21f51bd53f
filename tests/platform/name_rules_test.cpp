#include "platform/name_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/hex_number.h"

namespace zp {
namespace {

TEST(NameRules, NarrowNamesFoldAsciiLettersOnly) {
  EXPECT_TRUE(NarrowNames::Equal("FromPocket", "FROMPOCKET"));
  EXPECT_FALSE(NarrowNames::Equal("\xE9", "\xC9"));  // Latin-1 bytes are not folded
  EXPECT_FALSE(NarrowNames::Equal("ab", "abc"));
  EXPECT_TRUE(NarrowNames::StartsWith("hex(2):41", "HEX("));
  EXPECT_FALSE(NarrowNames::StartsWith("he", "hex"));
}

TEST(NameRules, WideNamesFoldTheHandheldsLetters) {
  EXPECT_TRUE(WideNames::Equal(u"\u00e9t\u00e9.arr", u"\u00c9T\u00c9.ARR"));
  EXPECT_TRUE(WideNames::Equal(u"\u0436", u"\u0416"));   // Cyrillic
  EXPECT_TRUE(WideNames::Equal(u"\u0101", u"\u0100"));   // Latin Extended-A, odd lower
  EXPECT_TRUE(WideNames::Equal(u"\u013a", u"\u0139"));   // the run with even lower
  EXPECT_FALSE(WideNames::Equal(u"\u00f7", u"\u00d7"));  // division and multiplication signs
  EXPECT_EQ(FoldCase(u'\u00ff'), u'\u0178');
}

TEST(NameRules, ListingOrderIsFoldedFirstThenExact) {
  std::vector<std::string> names = {"b", "B", "a", "ab", "A", "_"};
  std::sort(names.begin(), names.end(), NarrowNames::Less);
  EXPECT_EQ(names, (std::vector<std::string>{"A", "a", "ab", "B", "b", "_"}));
  // Bytes above 0x7F order after ASCII.
  EXPECT_TRUE(NarrowNames::Less("z", "\xE9"));
  std::vector<std::u16string> wide = {u"\u00e9", u"E", u"\u00c9", u"e"};
  std::sort(wide.begin(), wide.end(), WideNames::Less);
  EXPECT_EQ(wide, (std::vector<std::u16string>{u"E", u"e", u"\u00c9", u"\u00e9"}));
}

TEST(NameRules, WildcardsMatchWholeNamesInAnyCase) {
  EXPECT_TRUE(NarrowNames::Match("*.cls", "SPECIES.CLS"));
  EXPECT_TRUE(NarrowNames::Match("ARR?????.ARR", "arr00001.arr"));
  EXPECT_FALSE(NarrowNames::Match("ARR?????.ARR", "ARR0001.ARR"));
  EXPECT_FALSE(NarrowNames::Match("*.ARR", "A.ARR.BAK"));
  EXPECT_TRUE(NarrowNames::Match("*a*b*", "xxAyyBzz"));
  EXPECT_TRUE(NarrowNames::Match("*", ""));
  EXPECT_FALSE(NarrowNames::Match("?", ""));
  // A '*' in the pattern is always a wildcard, even facing a '*' in the name.
  EXPECT_TRUE(NarrowNames::Match("*a", "*ba"));
  EXPECT_TRUE(WideNames::Match(u"*.ARR", u"\u00e9t\u00e9.arr"));
  EXPECT_TRUE(WideNames::Match(u"\u00c9*", u"\u00e9t\u00e9"));
  EXPECT_FALSE(WideNames::Match(u"*.TMT", u"SURVEY.CLS"));
}

TEST(HexNumber, OneToEightDigitsOfEitherCaseAndNothingElse) {
  EXPECT_EQ(ParseHex32("0"), 0u);
  EXPECT_EQ(ParseHex32("00000042"), 0x42u);
  EXPECT_EQ(ParseHex32("DeadBeef"), 0xDEADBEEFu);
  EXPECT_EQ(ParseHex32("ffffffff"), 0xFFFFFFFFu);
  EXPECT_FALSE(ParseHex32(""));
  EXPECT_FALSE(ParseHex32("123456789"));
  EXPECT_FALSE(ParseHex32("0x1"));
  EXPECT_FALSE(ParseHex32(" 1"));
  EXPECT_FALSE(ParseHex32("g"));
}

}  // namespace
}  // namespace zp
