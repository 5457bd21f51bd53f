// The desktop failing under an array move: a flush, a close, a full disk, a
// rename. The array stays on the handheld, or whole on the desktop; never
// half under an array's name.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/posix_faults.h"
#include "report/progress.h"
#include "support/handheld_test.h"
#include "transfer/array_collection.h"

namespace zp {
namespace {

class DesktopFaults : public test::HandheldTest {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(desktop.dir().path() / "c/F");
    CreateProgress(nullptr, "", 0);
    PutDeviceFile(test::kSync + std::string("A.ARR"), std::string(40000, 'a'));
  }
  void TearDown() override {
    posix::SetDesktopFaults("");
    DestroyProgress();
  }
  bool Run(const std::string& faults) {
    EXPECT_TRUE(posix::SetDesktopFaults(faults)) << faults;
    const bool ok = CopyArrays(device(), sync, "c:\\F\\");
    posix::SetDesktopFaults("");
    return ok;
  }
  std::string Listing() const { return test::FolderListing(desktop.dir().path() / "c/F"); }

  bool OnDevice() const { return DeviceHas(test::kSync + std::string("A.ARR")); }

  const std::u16string sync = u"\\My Documents\\Personal\\ZAMO\\Sync\\";
};

TEST_F(DesktopFaults, AFlushThatFailsKeepsTheArrayOnTheHandheld) {
  StartLog();
  EXPECT_FALSE(Run("fail FlushFileBuffers\n"));
  EXPECT_TRUE(OnDevice());
  EXPECT_EQ(Listing(), "");
  EXPECT_TRUE(Log().ends_with("Failed to copy\r\n\r\n"));
}

TEST_F(DesktopFaults, ACloseThatFailsKeepsTheArrayOnTheHandheld) {
  EXPECT_FALSE(Run("fail CloseHandle\n"));
  EXPECT_TRUE(OnDevice());
  EXPECT_EQ(Listing(), "");
}

TEST_F(DesktopFaults, AFullDiskKeepsTheArrayOnTheHandheldAndLeavesNoPart) {
  EXPECT_FALSE(Run("fail WriteFile nth=2 error=112\n"));
  EXPECT_TRUE(OnDevice());
  EXPECT_EQ(Listing(), "");
}

TEST_F(DesktopFaults, ACopyThatCannotBeMarkedCompleteStaysOnTheHandheld) {
  StartLog();
  EXPECT_FALSE(Run("fail MoveFileEx nth=1\n"));
  EXPECT_TRUE(OnDevice());
  EXPECT_EQ(Listing(), "");
  EXPECT_TRUE(Log().ends_with(": Access is denied.\r\n\r\n")) << Log();
}

TEST_F(DesktopFaults, ACopyThatCannotBeNamedIsNamedByTheNextSession) {
  StartLog();
  EXPECT_FALSE(Run("fail MoveFileEx nth=2\n"));
  EXPECT_FALSE(OnDevice());  // deleted there: the desktop copy is the only one, whole
  EXPECT_EQ(Listing(), "~zp.A.ARR.done");
  EXPECT_TRUE(Run(""));
  EXPECT_EQ(Listing(), "ARR00001.ARR");
  EXPECT_EQ(desktop.Read("c/F/ARR00001.ARR"), std::string(40000, 'a'));
}

// The file's flush, the folder's with the rename that marks the copy
// complete, then FromPocket's at the end of the pass: should that last one
// fail, the pass fails, and the state is not set to say the arrays are in.
TEST_F(DesktopFaults, AFromPocketThatCannotBeFlushedAtTheEndFailsThePass) {
  StartLog();
  EXPECT_FALSE(Run("fail FlushFileBuffers nth=3\n"));
  EXPECT_FALSE(OnDevice());
  EXPECT_EQ(Listing(), "ARR00001.ARR");
  EXPECT_TRUE(Log().find("Cannot flush c:\\F\\: ") != std::string::npos) << Log();
  EXPECT_TRUE(Run(""));
}

TEST_F(DesktopFaults, RulesThatCannotBeReadAreRefused) {
  EXPECT_FALSE(posix::SetDesktopFaults("fail Nothing\n"));
  EXPECT_FALSE(posix::SetDesktopFaults("fail WriteFile nth=0\n"));
  EXPECT_FALSE(posix::SetDesktopFaults("kill at=x\n"));
  EXPECT_TRUE(posix::SetDesktopFaults("# a comment\n\nfail * always\nkill at=900\n"));
}

}  // namespace
}  // namespace zp
