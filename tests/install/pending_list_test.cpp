#include "install/pending_list.h"

#include <gtest/gtest.h>

namespace zp {
namespace {

struct Case {
  const char* list;
  std::uint32_t device_id;
  const char* after;  // the list after the entry is taken out; null: no entry
};

TEST(PendingList, OnlyTheDevicesOwnEntryIsFoundAndRemovedAsStored) {
  const Case cases[] = {
      {"0000000a,0000000b,0000000c", 0xB, "0000000a,0000000c"},
      {"0000000a,0000000b", 0xB, "0000000a"},
      {"0000000a,0000000b,", 0xB, "0000000a,"},
      {"0000000b", 0xB, ""},
      {"0000000B", 0xB, ""},
      {"0000000a, b,0000000c", 0xB, "0000000a,0000000c"},  // white space goes with its entry
      {"0000000a,  b", 0xB, "0000000a"},
      {"0000000a,,0000000b", 0xB, "0000000a,"},
      {"0000000a,,0000000b", 0, "0000000a,0000000b"},  // the empty entry reads as 0
      {"12345678f", 0x12345678, ""},                   // nine digits: the first eight count
      {"b junk,c", 0xB, "c"},                          // text after the number is ignored
      {"c,b,b", 0xB, "c,b"},                           // the first match is taken
      // Another device's entries are never the candidate.
      {"0000000a", 0xC, nullptr},
      {"0000000a,0000000b", 0xC, nullptr},
      {"0000000a,0000000b,", 0xC, nullptr},
      {"", 0, nullptr},
      {",", 0, "" /* the empty entry before the comma reads as 0 */},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("list '") + c.list + "' id " + std::to_string(c.device_id));
    std::string list = c.list;
    const auto entry = FindPendingEntry(list, c.device_id);
    ASSERT_EQ(entry.has_value(), c.after != nullptr);
    if (!entry) continue;
    RemovePendingEntry(list, *entry);
    EXPECT_EQ(list, c.after);
  }
}

TEST(PendingList, NumbersReadLikeScanfHex) {
  EXPECT_EQ(ReadPendingNumber("  1f,2", 0), 0x1Fu);
  EXPECT_EQ(ReadPendingNumber("xyz", 0), 0u);
  EXPECT_EQ(ReadPendingNumber("a,ffffffff1", 2), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace zp
