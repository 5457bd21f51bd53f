// Moves that an earlier session left half-way, and replies lost on the way back.
#include "transfer/pending_moves.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "report/progress.h"
#include "support/handheld_test.h"
#include "transfer/array_collection.h"
#include "transfer/move_names.h"

namespace zp {
namespace {

TEST(MoveNames, EveryDeviceNameGoesThereAndBackAndNoneLooksLikeAnArray) {
  for (const std::u16string& name :
       {std::u16string(u"A.ARR"), std::u16string(u"wednesday.arr"), std::u16string(u"50% done.ARR"),
        std::u16string(u"Zürich:1.ARR"), std::u16string(u"..."),
        std::u16string(u"a b\u4e2d.ARR")}) {
    for (const MoveStage stage : {MoveStage::Partial, MoveStage::Complete}) {
      const std::string desktop = MoveName(name, stage);
      EXPECT_FALSE(desktop.ends_with(".ARR") || desktop.ends_with(".arr")) << desktop;
      EXPECT_EQ(desktop.find_first_of("\\/:*?\"<>| %"), desktop.find('%')) << desktop;
      const auto parsed = ParseMoveName(desktop);
      ASSERT_TRUE(parsed) << desktop;
      EXPECT_EQ(parsed->device_name, name);
      EXPECT_EQ(parsed->stage, stage);
    }
  }
  EXPECT_EQ(MoveName(u"A.ARR", MoveStage::Partial), "~zp.A.ARR.part");
  EXPECT_EQ(MoveName(u"50% x", MoveStage::Complete), "~zp.50%0025%0020x.done");
  for (const char* other : {"ARR00001.ARR", "~zp..done", "~zp.A.ARR.tmp", "~zp.%00.part",
                            "~zp.%zz41.done", "~ZPAAR~1.DON", "zp.A.ARR.done"}) {
    EXPECT_FALSE(ParseMoveName(other)) << other;
  }
}

class PendingMoves : public test::HandheldTest {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(desktop.dir().path() / "c/F");
    CreateProgress(nullptr, "", 0);
  }
  void TearDown() override { DestroyProgress(); }
  bool Run() { return CopyArrays(device(), sync, "c:\\F\\"); }
  std::string Sync(const std::string& name) const { return test::kSync + name; }
  std::string Listing() const { return test::FolderListing(desktop.dir().path() / "c/F"); }

  const std::u16string sync = u"\\My Documents\\Personal\\ZAMO\\Sync\\";
};

TEST_F(PendingMoves, ALostReplyToADeleteThatHappenedCountsAsAMove) {
  PutDeviceFile(Sync("A.ARR"), "a");
  PutDeviceFile(Sync("B.ARR"), "b");
  device().faults() = FaultRules::Parse("lost CeDeleteFile nth=1\n", nullptr);
  StartLog();
  EXPECT_TRUE(Run());
  EXPECT_EQ(Listing(), "ARR00001.ARR ARR00002.ARR");
  EXPECT_EQ(desktop.Read("c/F/ARR00001.ARR"), "a");
  EXPECT_FALSE(DeviceHas(Sync("A.ARR")));
  EXPECT_FALSE(DeviceHas(Sync("B.ARR")));
}

TEST_F(PendingMoves, ALostReplyWithTheLinkKeepsTheCopyAndTheNextSessionFinishesIt) {
  PutDeviceFile(Sync("A.ARR"), "a");
  PutDeviceFile(Sync("B.ARR"), "b");
  device().faults() = FaultRules::Parse("lost CeDeleteFile nth=1 drop\n", nullptr);
  StartLog();
  EXPECT_FALSE(Run());
  // Deleted on the device, and the only copy kept whole under its pending name.
  EXPECT_FALSE(DeviceHas(Sync("A.ARR")));
  EXPECT_EQ(Listing(), "~zp.A.ARR.done");
  EXPECT_EQ(desktop.Read("c/F/~zp.A.ARR.done"), "a");
  EXPECT_TRUE(
      Log().ends_with("Cannot delete remote file \\My Documents\\Personal\\ZAMO\\Sync\\"
                      "A.ARR\r\n"));

  Reconnect();
  StartLog();
  EXPECT_TRUE(Run());
  EXPECT_EQ(Listing(), "ARR00001.ARR ARR00002.ARR");
  EXPECT_EQ(desktop.Read("c/F/ARR00001.ARR"), "a");
  EXPECT_EQ(desktop.Read("c/F/ARR00002.ARR"), "b");
  EXPECT_TRUE(Log().starts_with(
      "Finished moving \\My Documents\\Personal\\ZAMO\\Sync\\A.ARR to c:\\F\\ARR00001.ARR\r\n"));
}

TEST_F(PendingMoves, WhatACrashLeftIsSettledByTheNextSession) {
  desktop.Write("c/F/ARR00001.ARR", "earlier");
  // Killed while copying C: a part of it, and C still on the device.
  desktop.Write("c/F/~zp.C.ARR.part", "c-half");
  PutDeviceFile(Sync("C.ARR"), "c-whole");
  // Killed after A's copy was complete, before the device deleted A.
  desktop.Write("c/F/~zp.A.ARR.done", "a");
  PutDeviceFile(Sync("A.ARR"), "a");
  // Killed after B was deleted on the device, before the copy got its name.
  desktop.Write("c/F/~zp.B.ARR.done", "b");
  // D's copy is complete, but the device's D is another file now.
  desktop.Write("c/F/~zp.D.ARR.done", "old d");
  PutDeviceFile(Sync("D.ARR"), "new d");
  StartLog();
  EXPECT_TRUE(Run());
  EXPECT_EQ(Listing(),
            "ARR00001.ARR ARR00002.ARR ARR00003.ARR ARR00004.ARR ARR00005.ARR "
            "ARR00006.ARR");
  EXPECT_EQ(desktop.Read("c/F/ARR00002.ARR"), "a");
  EXPECT_EQ(desktop.Read("c/F/ARR00003.ARR"), "b");
  EXPECT_EQ(desktop.Read("c/F/ARR00004.ARR"), "old d");
  EXPECT_EQ(desktop.Read("c/F/ARR00005.ARR"), "c-whole");
  EXPECT_EQ(desktop.Read("c/F/ARR00006.ARR"), "new d");
  EXPECT_FALSE(DeviceHas(Sync("A.ARR")));
  EXPECT_FALSE(DeviceHas(Sync("C.ARR")));
  const std::string sync_path = "\\My Documents\\Personal\\ZAMO\\Sync\\";
  EXPECT_TRUE(Log().starts_with(
      "Finished moving " + sync_path + "A.ARR to c:\\F\\ARR00002.ARR\r\n" + "Finished moving " +
      sync_path + "B.ARR to c:\\F\\ARR00003.ARR\r\n" +
      "Removed the partial copy c:\\F\\~zp.C.ARR.part\r\n" + "Kept an earlier copy of " +
      sync_path + "D.ARR as c:\\F\\ARR00004.ARR\r\n"))
      << Log();
}

TEST_F(PendingMoves, AHandheldThatCannotBeAskedStopsThePassBeforeAnythingMoves) {
  desktop.Write("c/F/~zp.A.ARR.done", "a");
  PutDeviceFile(Sync("A.ARR"), "a");
  PutDeviceFile(Sync("B.ARR"), "b");
  // Not "file not found" (which would mean gone): the device cannot say.
  device().faults() = FaultRules::Parse("fail CeGetFileAttributes always error=31\n", nullptr);
  StartLog();
  EXPECT_FALSE(Run());
  EXPECT_EQ(Listing(), "~zp.A.ARR.done");
  EXPECT_TRUE(DeviceHas(Sync("A.ARR")));
  EXPECT_TRUE(DeviceHas(Sync("B.ARR")));
  EXPECT_EQ(Log(),
            "Cannot tell whether the handheld still holds "
            "\\My Documents\\Personal\\ZAMO\\Sync\\A.ARR\r\n");
}

}  // namespace
}  // namespace zp
