// Arrays whose handheld names are long or not ASCII: their staging names
// stay short, they move, and a move of theirs left half-way is settled.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/posix/posix_faults.h"
#include "platform/utf.h"
#include "report/progress.h"
#include "support/handheld_test.h"
#include "transfer/array_collection.h"
#include "transfer/move_names.h"
#include "transfer/pending_moves.h"

namespace zp {
namespace {

// The longest name a handheld keeps in the sync folder: 226 characters.
const std::string kLongest = std::string(222, 'L') + ".ARR";
// Umlauts: each is five characters once escaped.
const std::string kUmlauts =
    "Z\xc3\xa4hlung \xc3\xb6stlich \xc3\xbc"
    "ber der Stra\xc3\x9f"
    "e.ARR";
constexpr char kFolder[] = "c:\\ZAMO\\FieldPocket\\FromPocket\\";

TEST(MoveNames, StagingNamesAreShortWhateverTheDeviceName) {
  for (const std::u16string& name : {std::u16string(kLongest.begin(), kLongest.end()),
                                     utf::FromUtf8(kUmlauts), std::u16string(300, u'\u4e2d')}) {
    const StagingPaths paths = StagingFor(kFolder, name, 123456);
    for (const std::string& path : {paths.partial, paths.complete, paths.record}) {
      // Never longer than the array's own name, "ARR123456.ARR".
      EXPECT_LE(path.size(), std::string(kFolder).size() + 13) << path;
      EXPECT_FALSE(path.ends_with(".ARR")) << path;
    }
    EXPECT_EQ(ParseMoveName(paths.complete.substr(sizeof kFolder - 1))->number, 123456);
  }
  // A short name is still carried in the staging name, with no record.
  const StagingPaths plain = StagingFor(kFolder, u"MONDAY.ARR", 7);
  EXPECT_EQ(plain.partial, std::string(kFolder) + "~zp.MONDAY.ARR.part");
  EXPECT_EQ(plain.record, "");
  // A short name in a folder too deep for it is numbered too.
  const std::string deep = "c:\\" + std::string(240, 'd') + "\\";
  EXPECT_EQ(StagingFor(deep, u"MONDAY.ARR", 7).partial, deep + "~zp7.prt");

  for (const MoveStage stage : {MoveStage::Partial, MoveStage::Complete, MoveStage::Record}) {
    const auto parsed = ParseMoveName(NumberedMoveName(99999, stage));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->stage, stage);
    EXPECT_EQ(parsed->number, 99999);
  }
  for (const char* other :
       {"~zp.prt", "~zp012.fin", "~zp1x.nam", "~zp1.tmp", "~zp12345678901234567890.fin"}) {
    EXPECT_FALSE(ParseMoveName(other)) << other;
  }
  EXPECT_EQ(UnescapeDeviceName(EscapeDeviceName(utf::FromUtf8(kUmlauts))), utf::FromUtf8(kUmlauts));
}

class LongNames : public test::HandheldTest {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(desktop.dir().path() / "c/ZAMO/FieldPocket/FromPocket");
    CreateProgress(nullptr, "", 0);
  }
  void TearDown() override {
    posix::SetDesktopFaults("");
    DestroyProgress();
  }
  bool Run() { return CopyArrays(device(), sync, kFolder); }
  std::string Sync(const std::string& name) const { return test::kSync + name; }
  std::string Listing() const {
    return test::FolderListing(desktop.dir().path() / "c/ZAMO/FieldPocket/FromPocket");
  }
  std::string Desktop(const std::string& name) const {
    return desktop.Read("c/ZAMO/FieldPocket/FromPocket/" + name);
  }

  const std::u16string sync = u"\\My Documents\\Personal\\ZAMO\\Sync\\";
};

TEST_F(LongNames, TheLongestAndANonAsciiNameMoveAndNothingIsLeftBehind) {
  PutDeviceFile(Sync(kLongest), "longest");
  PutDeviceFile(Sync(kUmlauts), "umlauts");
  PutDeviceFile(Sync("A.ARR"), "a");
  StartLog();
  ASSERT_TRUE(Run()) << Log();
  EXPECT_EQ(Listing(), "ARR00001.ARR ARR00002.ARR ARR00003.ARR");
  EXPECT_EQ(Desktop("ARR00001.ARR"), "a");
  EXPECT_EQ(Desktop("ARR00002.ARR"), "longest");
  EXPECT_EQ(Desktop("ARR00003.ARR"), "umlauts");
  EXPECT_FALSE(DeviceHas(Sync(kLongest)));
  EXPECT_FALSE(DeviceHas(Sync(kUmlauts)));
  EXPECT_EQ(Log().find("Path too long"), std::string::npos) << Log();
}

TEST_F(LongNames, WhatACrashLeftOfANumberedMoveIsSettled) {
  desktop.Write("c/ZAMO/FieldPocket/FromPocket/ARR00001.ARR", "earlier");
  // Killed after the long array's copy was complete, before the device deleted it.
  desktop.Write("c/ZAMO/FieldPocket/FromPocket/~zp5.fin", "longest");
  desktop.Write("c/ZAMO/FieldPocket/FromPocket/~zp5.nam",
                EscapeDeviceName(utf::FromUtf8(kLongest)));
  PutDeviceFile(Sync(kLongest), "longest");
  // Killed while copying the other: a part of it, and its record.
  desktop.Write("c/ZAMO/FieldPocket/FromPocket/~zp6.prt", "umla");
  desktop.Write("c/ZAMO/FieldPocket/FromPocket/~zp6.nam",
                EscapeDeviceName(utf::FromUtf8(kUmlauts)));
  PutDeviceFile(Sync(kUmlauts), "umlauts");
  // Killed after a copy was named, before its record was removed.
  desktop.Write("c/ZAMO/FieldPocket/FromPocket/~zp9.nam", "GONE.ARR");
  StartLog();
  ASSERT_TRUE(Run()) << Log();
  EXPECT_EQ(Listing(), "ARR00001.ARR ARR00002.ARR ARR00003.ARR");
  EXPECT_EQ(Desktop("ARR00002.ARR"), "longest");
  EXPECT_EQ(Desktop("ARR00003.ARR"), "umlauts");
  EXPECT_FALSE(DeviceHas(Sync(kLongest)));
  EXPECT_FALSE(DeviceHas(Sync(kUmlauts)));
  EXPECT_TRUE(Log().starts_with("Finished moving \\My Documents\\Personal\\ZAMO\\Sync\\" +
                                kLongest + " to " + kFolder + "ARR00002.ARR\r\n" +
                                "Removed the partial copy " + kFolder + "~zp6.prt\r\n"))
      << Log();
}

TEST_F(LongNames, ACompleteCopyWithoutItsRecordIsKeptAndBlocksNothing) {
  desktop.Write("c/ZAMO/FieldPocket/FromPocket/~zp3.fin", "whole");
  PutDeviceFile(Sync("B.ARR"), "b");
  StartLog();
  ASSERT_TRUE(Run()) << Log();
  EXPECT_EQ(Listing(), "ARR00001.ARR ARR00002.ARR");
  EXPECT_EQ(Desktop("ARR00001.ARR"), "whole");
  EXPECT_TRUE(Log().starts_with("Kept " + std::string(kFolder) +
                                "~zp3.fin, whose handheld file is not known, as " + kFolder +
                                "ARR00001.ARR\r\n"))
      << Log();
}

// Every operation of a move of long-named arrays fails once, on the
// handheld or on the desktop; a clean pass follows. Every array is then in
// FromPocket exactly once, and nothing of the staging is left.
TEST_F(LongNames, AFailureAtAnyStepLosesNothingAndTheNextPassFinishes) {
  for (const bool on_desktop : {false, true}) {
    for (int nth = 1;; ++nth) {
      ASSERT_LT(nth, 400);
      SCOPED_TRACE((on_desktop ? "desktop operation " : "device operation ") + std::to_string(nth));
      std::filesystem::remove_all(desktop.dir().path() / "c/ZAMO/FieldPocket/FromPocket");
      std::filesystem::create_directories(desktop.dir().path() / "c/ZAMO/FieldPocket/FromPocket");
      Reconnect();
      PutDeviceFile(Sync(kLongest), "longest");
      PutDeviceFile(Sync(kUmlauts), "umlauts");
      const std::string rule = "fail * nth=" + std::to_string(nth) + "\n";
      bool failed = false;
      if (on_desktop) {
        ASSERT_TRUE(posix::SetDesktopFaults(rule));
        failed = !Run();
        posix::SetDesktopFaults("");
      } else {
        device().faults() = FaultRules::Parse(rule, nullptr);
        failed = !Run();
      }
      Reconnect();
      ASSERT_TRUE(Run());
      EXPECT_EQ(Listing(), "ARR00001.ARR ARR00002.ARR");
      const std::string first = Desktop("ARR00001.ARR");
      const std::string second = Desktop("ARR00002.ARR");
      EXPECT_TRUE((first == "longest" && second == "umlauts") ||
                  (first == "umlauts" && second == "longest"))
          << first << " " << second;
      EXPECT_FALSE(DeviceHas(Sync(kLongest)));
      EXPECT_FALSE(DeviceHas(Sync(kUmlauts)));
      if (!failed) break;  // past the last operation
    }
  }
}

}  // namespace
}  // namespace zp
