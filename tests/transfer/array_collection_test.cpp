#include "transfer/array_collection.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/platform.h"
#include "report/progress.h"
#include "support/handheld_test.h"

namespace zp {
namespace {

class ArrayCollection : public test::HandheldTest {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(desktop.dir().path() / "c/F");
    window = CreateProgress(nullptr, "", 0);
  }
  void TearDown() override { DestroyProgress(); }
  bool Run() { return CopyArrays(device(), sync, "c:\\F\\"); }
  std::string Sync(const std::string& name) const { return test::kSync + name; }

  const std::u16string sync = u"\\My Documents\\Personal\\ZAMO\\Sync\\";
  ProgressWindow* window = nullptr;
};

TEST_F(ArrayCollection, MovesEveryArrayInListingOrderAndLogsEachCopy) {
  desktop.Write("c/F/ARR00001.ARR", "old 1");
  desktop.Write("c/F/ARR00003.ARR", "old 3");
  PutDeviceFile(Sync("b.arr"), std::string(20000, 'b'));
  PutDeviceFile(Sync("A.ARR"), "first");
  PutDeviceFile(Sync("C.ARR"), "third");
  PutDeviceFile(Sync("KEEP.CLS"), "not an array");
  MakeDeviceFolder(Sync("DIR.ARR"));
  PutDeviceFile(Sync("DIR.ARR\\inner"), std::string(1000, 'd'));
  StartLog();
  ASSERT_TRUE(Run());
  EXPECT_EQ(desktop.Read("c/F/ARR00002.ARR"), "first");
  EXPECT_EQ(desktop.Read("c/F/ARR00004.ARR"), std::string(20000, 'b'));
  EXPECT_EQ(desktop.Read("c/F/ARR00005.ARR"), "third");
  EXPECT_FALSE(desktop.Exists("c/F/ARR00006.ARR"));
  EXPECT_FALSE(DeviceHas(Sync("A.ARR")));
  EXPECT_FALSE(DeviceHas(Sync("b.arr")));
  EXPECT_TRUE(DeviceHas(Sync("DIR.ARR\\inner")));  // a folder is skipped
  EXPECT_TRUE(DeviceHas(Sync("KEEP.CLS")));
  EXPECT_EQ(Log(),
            "Copying file \\My Documents\\Personal\\ZAMO\\Sync\\A.ARR to c:\\F\\ARR00002.ARR\r\n"
            "Copying file \\My Documents\\Personal\\ZAMO\\Sync\\b.arr to c:\\F\\ARR00004.ARR\r\n"
            "Copying file \\My Documents\\Personal\\ZAMO\\Sync\\C.ARR to c:\\F\\ARR00005.ARR\r\n");
  // The bar was scaled to the listed sizes and is hidden again.
  EXPECT_EQ(window->status(), "Copying arrays");
  EXPECT_FALSE(window->bar_visible());
  EXPECT_EQ(window->total(), 20010);
  EXPECT_EQ(window->position(), 100);  // every listed byte moved
  EXPECT_EQ(device().OpenBuffers(), 0u);
  EXPECT_EQ(device().OpenHandles(), 0u);
}

TEST_F(ArrayCollection, NothingToMoveShowsNothing) {
  PutDeviceFile(Sync("X.CLS"), "x");
  StartLog();
  EXPECT_TRUE(Run());
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(window->status(), "");
  EXPECT_EQ(window->total(), 0);

  device().faults().Fail("CeFindAllFiles");
  StartLog();
  EXPECT_FALSE(Run());
  EXPECT_EQ(Log(), "*** CeFindAllFiles failed. ***\n\r\n");
}

TEST_F(ArrayCollection, AFailedCopyKeepsTheRestOnTheDeviceAndLeavesNoPartialFile) {
  for (const char* name : {"1.ARR", "2.ARR", "3.ARR", "4.ARR", "5.ARR"}) {
    PutDeviceFile(Sync(name), std::string(40000, name[0]));
  }
  // The third file's second block cannot be read.
  device().faults().Fail("CeReadFile", "*3.ARR", 2);
  StartLog();
  EXPECT_FALSE(Run());
  EXPECT_EQ(desktop.Read("c/F/ARR00001.ARR"), std::string(40000, '1'));
  EXPECT_EQ(desktop.Read("c/F/ARR00002.ARR"), std::string(40000, '2'));
  EXPECT_FALSE(desktop.Exists("c/F/ARR00003.ARR"));
  EXPECT_FALSE(DeviceHas(Sync("1.ARR")));
  EXPECT_FALSE(DeviceHas(Sync("2.ARR")));
  for (const char* name : {"3.ARR", "4.ARR", "5.ARR"}) EXPECT_TRUE(DeviceHas(Sync(name)));
  EXPECT_TRUE(Log().ends_with(
      "Copying file \\My Documents\\Personal\\ZAMO\\Sync\\3.ARR to c:\\F\\ARR00003.ARR\r\n"
      "Failed to copy\r\n\r\n"));
  EXPECT_FALSE(window->bar_visible());
  EXPECT_EQ(device().OpenBuffers(), 0u);
}

TEST_F(ArrayCollection, ARefusedDeleteTakesTheDesktopCopyBackAndSaysWhy) {
  PutDeviceFile(Sync("A.ARR"), "a");
  PutDeviceFile(Sync("B.ARR"), "b");
  device().faults().Fail("CeDeleteFile", "*B.ARR");
  StartLog();
  EXPECT_FALSE(Run());
  EXPECT_TRUE(desktop.Exists("c/F/ARR00001.ARR"));
  EXPECT_FALSE(desktop.Exists("c/F/ARR00002.ARR"));
  EXPECT_EQ(DeviceFile(Sync("B.ARR")), "b");
  EXPECT_TRUE(
      Log().ends_with("to c:\\F\\ARR00002.ARR\r\n"
                      "Cannot delete remote file \\My Documents\\Personal\\ZAMO\\Sync\\B.ARR\r\n"));
}

// Another session takes the free name between the probe and the create.
class RacingDevice : public SimulatedDevice {
 public:
  using SimulatedDevice::SimulatedDevice;
  CeHandle CeCreateFile(const std::u16string& path, std::uint32_t access, std::uint32_t share,
                        std::uint32_t disposition, std::uint32_t attributes) override {
    if (!raced) {
      raced = true;
      File other = OpenDesktopFile("c:\\F\\ARR00001.ARR", FileMode::CreateNew);
      std::uint32_t put = 0;
      other.Write("theirs", 6, put);
    }
    return SimulatedDevice::CeCreateFile(path, access, share, disposition, attributes);
  }
  bool raced = false;
};

TEST_F(ArrayCollection, ANameTakenMeanwhileIsNeverOverwritten) {
  PutDeviceFile(Sync("A.ARR"), "ours");
  RacingDevice racing(handheld, (desktop.dir().path() / "registry.reg").string());
  ASSERT_GE(racing.CeRapiInit(), 0);
  StartLog();
  EXPECT_TRUE(CopyArrays(racing, sync, "c:\\F\\"));
  EXPECT_EQ(desktop.Read("c/F/ARR00001.ARR"), "theirs");
  EXPECT_EQ(desktop.Read("c/F/ARR00002.ARR"), "ours");
  EXPECT_TRUE(Log().ends_with("to c:\\F\\ARR00002.ARR\r\n"));
  racing.CeRapiUninit();
}

TEST_F(ArrayCollection, PathsThatDoNotFitAreRefusedNotCut) {
  const std::string name = std::string(240, 'n') + ".ARR";
  PutDeviceFile(Sync(name), "long");
  StartLog();
  EXPECT_FALSE(Run());
  EXPECT_TRUE(DeviceHas(Sync(name)));
  EXPECT_EQ(Log(), "Path too long: \\My Documents\\Personal\\ZAMO\\Sync\\" + name + "\r\n");

  // A FromPocket folder too deep for the array's name.
  const std::string deep = "c:\\" + std::string(120, 'd') + "\\" + std::string(125, 'e') + "\\";
  std::filesystem::create_directories(desktop.dir().path() / "c" / std::string(120, 'd') /
                                      std::string(125, 'e'));
  std::filesystem::remove(world.dir.path() / world.FilesRelative(Sync(name)));
  PutDeviceFile(Sync("A.ARR"), "a");
  StartLog();
  EXPECT_FALSE(CopyArrays(device(), sync, deep));
  EXPECT_EQ(Log(), "Path too long: " + deep + "ARR00001.ARR\r\n");
  EXPECT_TRUE(DeviceHas(Sync("A.ARR")));
}

}  // namespace
}  // namespace zp
