#include "transfer/array_names.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/desktop_env.h"

namespace zp {
namespace {

class ArrayNaming : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(desktop.dir().path() / "c/F"); }
  // The names of a pass that starts now, the last number given out `counter`.
  static ArrayNames Pass(std::int64_t counter = 0) {
    const auto listed = ListFiles("c:\\F\\*", FindDetail::NamesOnly);
    EXPECT_TRUE(listed.has_value());
    return ArrayNames("c:\\F\\", listed.value_or(std::vector<FindEntry>{}), counter);
  }
  test::DesktopEnv desktop;
};

TEST_F(ArrayNaming, NamesFillGapsAboveTheLastNumberAndCountFoldersAsTaken) {
  desktop.Write("c/F/ARR00001.ARR", "old 1");
  desktop.Write("c/F/arr00003.arr", "old 3, in another case");
  std::filesystem::create_directories(desktop.dir().path() / "c/F/ARR00005.ARR");
  ArrayNames names = Pass();
  EXPECT_EQ(names.Next(), "c:\\F\\ARR00002.ARR");
  EXPECT_EQ(names.Next(), "c:\\F\\ARR00004.ARR");
  EXPECT_EQ(names.Next(), "c:\\F\\ARR00006.ARR");
  EXPECT_EQ(names.counter(), 6);

  ArrayNames above = Pass(99999);
  EXPECT_EQ(above.Next(), "c:\\F\\ARR100000.ARR");
  EXPECT_EQ(above.Next(), "c:\\F\\ARR100001.ARR");
}

TEST_F(ArrayNaming, OnlyTheNamesThatWouldBeProbedCountAsTaken) {
  // None of these is "ARR%05d.ARR" of a number: none takes one.
  for (const char* name : {"ARR1.ARR", "ARR000001.ARR", "ARR0001.ARR", "ARR00001.ARR.OLD",
                           "XARR00001.ARR", "ARR0000X.ARR", "ARR-0001.ARR"}) {
    desktop.Write(std::string("c/F/") + name, "not an array name");
  }
  desktop.Write("c/F/ARR100002.ARR", "taken");
  ArrayNames names = Pass();
  EXPECT_EQ(names.Next(), "c:\\F\\ARR00001.ARR");
  ArrayNames high = Pass(100001);
  EXPECT_EQ(high.Next(), "c:\\F\\ARR100003.ARR");
}

TEST_F(ArrayNaming, NumbersFarAboveTheUsualOnesAreTakenToo) {
  desktop.Write("c/F/ARR8388608.ARR", "");
  desktop.Write("c/F/ARR8388610.ARR", "");
  desktop.Write("c/F/ARR999999999999.ARR", "");
  ArrayNames names = Pass(8388607);
  EXPECT_EQ(names.Next(), "c:\\F\\ARR8388609.ARR");
  EXPECT_EQ(names.Next(), "c:\\F\\ARR8388611.ARR");
  ArrayNames far = Pass(999999999998);
  EXPECT_EQ(far.Next(), "c:\\F\\ARR1000000000000.ARR");
}

TEST_F(ArrayNaming, TheFolderIsListedOnceAndTheCreateHasTheLastWord) {
  desktop.Write("c/F/ARR00001.ARR", "old");
  ArrayNames names = Pass();
  EXPECT_EQ(names.Next(), "c:\\F\\ARR00002.ARR");
  // Taken after the listing: proposed all the same; the caller's exclusive
  // create fails and it asks for the next name.
  desktop.Write("c/F/ARR00003.ARR", "meanwhile");
  EXPECT_EQ(names.Next(), "c:\\F\\ARR00003.ARR");
  EXPECT_EQ(names.Next(), "c:\\F\\ARR00004.ARR");
}

TEST(ArrayNumber, ReadsExactlyTheNamesOfTheArrayFormat) {
  EXPECT_EQ(ArrayNumber("ARR00001.ARR"), 1);
  EXPECT_EQ(ArrayNumber("arr00042.Arr"), 42);
  EXPECT_EQ(ArrayNumber("ARR99999.ARR"), 99999);
  EXPECT_EQ(ArrayNumber("ARR100000.ARR"), 100000);
  EXPECT_EQ(ArrayNumber("ARR00000.ARR"), 0);
  EXPECT_EQ(ArrayNumber("ARR012345.ARR"), -1);  // "%05d" never writes it
  EXPECT_EQ(ArrayNumber("ARR1234.ARR"), -1);
  EXPECT_EQ(ArrayNumber("ARRANG~1.ARR"), -1);  // an 8.3 alias
  EXPECT_EQ(ArrayNumber("ARR00001.ARRX"), -1);
  EXPECT_EQ(ArrayNumber("ARR00001ARR"), -1);
  EXPECT_EQ(ArrayNumber(""), -1);
  EXPECT_EQ(ArrayNumber("ARR9999999999999999999.ARR"), -1);  // beyond what is counted
  EXPECT_EQ(ArrayPath("c:\\F\\", 7), "c:\\F\\ARR00007.ARR");
  EXPECT_EQ(ArrayPath("c:\\F\\", 1234567), "c:\\F\\ARR1234567.ARR");
}

}  // namespace
}  // namespace zp
