// Desktop listings keep only the entries whose own name matches, as
// Windows lists by 8.3 short names too.
#include "platform/listing_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zp {
namespace {

std::string Names(const std::vector<FindEntry>& entries) {
  std::string names;
  for (const FindEntry& entry : entries) names += (names.empty() ? "" : " ") + entry.name;
  return names;
}

TEST(ListingFilter, ShortNameMatchesAreDroppedAndLongNameMatchesKept) {
  // What FindFirstFileA("c:\ZAMO\Field\ToPocket\*.TMT") gives where 8.3
  // names are on: "notes.tmtx" and "old.TMT.bak" match by their short names.
  std::vector<FindEntry> listing = {{"S.TMT", 10, false},      {"notes.tmtx", 20, false},
                                    {"survey.tmt", 30, false}, {"old.TMT.bak", 40, false},
                                    {"Dir.TMT", 0, true},      {"x.tm", 5, false}};
  KeepLongNameMatches("c:\\ZAMO\\Field\\ToPocket\\*.TMT", listing);
  EXPECT_EQ(Names(listing), "S.TMT survey.tmt Dir.TMT");
  EXPECT_EQ(listing[1].size_low, 30u);

  std::vector<FindEntry> arrays = {{"ARR00001.ARR", 0, false}, {"ARR00001.ARRX", 0, false}};
  KeepLongNameMatches("c:\\F\\ARR?????.ARR", arrays);
  EXPECT_EQ(Names(arrays), "ARR00001.ARR");

  std::vector<FindEntry> everything = {{"a", 0, false}, {"~zp.A.ARR.part", 0, false}};
  KeepLongNameMatches("c:\\F\\*", everything);
  EXPECT_EQ(Names(everything), "a ~zp.A.ARR.part");
}

}  // namespace
}  // namespace zp
