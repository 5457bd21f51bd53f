// The power cut of the desktop stand-in keeps exactly what was flushed: a
// sweep over it proves nothing unless a name or data never flushed is
// really lost.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_faults.h"
#include "support/desktop_env.h"
#include "support/temp_dir.h"

namespace zp {
namespace {

class PowerCut : public testing::Test {
 protected:
  void SetUp() override {
    env.Write("c/F/old.txt", "old");
    env.Write("c/F/kept.txt", "kept");
  }

  // Runs `steps` in a child process whose desktop loses its power at its
  // `at`-th operation; the child's exit code.
  static int CutAt(int at, const std::function<void()>& steps) {
    const pid_t child = ::fork();
    if (child == 0) {
      posix::SetDesktopFaults("cut at=" + std::to_string(at) + "\n");
      steps();
      std::_Exit(0);  // never cut: the rule was not in force
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // A new file written (and flushed or not), renamed; a folder made; an
  // old file removed (and the folder flushed or not); then listings until
  // the power goes. Seven operations, one more for each flush.
  static void Steps(bool flush_file, bool flush_folder) {
    File file = OpenDesktopFile("c:\\F\\new", FileMode::CreateNew);
    std::uint32_t put = 0;
    file.Write("data", 4, put);
    if (flush_file) file.Flush();
    file.Close();
    RenameFile("c:\\F\\new", "c:\\F\\named", false);
    MakeFolder("c:\\F\\sub");
    RemoveFile("c:\\F\\old.txt");
    if (flush_folder) FlushFolder("c:\\F\\");
    for (;;) FindFiles("c:\\F\\*");
  }

  std::string Listing() const { return test::FolderListing(env.dir().path() / "c/F"); }

  test::DesktopEnv env;
};

TEST_F(PowerCut, NamesNeverFlushedAreLostAndRemovalsUndone) {
  ASSERT_EQ(CutAt(8, [] { Steps(true, false); }), posix::kDesktopPowerCutExitCode);
  EXPECT_EQ(Listing(), "kept.txt old.txt");
  EXPECT_EQ(env.Read("c/F/old.txt"), "old");
}

TEST_F(PowerCut, AFlushedFolderKeepsItsNamesAndAFlushedFileItsData) {
  ASSERT_EQ(CutAt(9, [] { Steps(true, true); }), posix::kDesktopPowerCutExitCode);
  EXPECT_EQ(Listing(), "kept.txt named sub/");
  EXPECT_EQ(env.Read("c/F/named"), "data");
  EXPECT_EQ(env.Read("c/F/kept.txt"), "kept");
}

TEST_F(PowerCut, AFileWhoseDataWereNeverFlushedComesBackEmpty) {
  ASSERT_EQ(CutAt(9, [] { Steps(false, true); }), posix::kDesktopPowerCutExitCode);
  EXPECT_EQ(Listing(), "kept.txt named sub/");
  EXPECT_EQ(env.Read("c/F/named"), "");
}

TEST_F(PowerCut, AFolderWhoseNameWasNeverFlushedGoesWithAllItHolds) {
  ASSERT_EQ(CutAt(7,
                  [] {
                    MakeFolder("c:\\G");
                    MakeFolder("c:\\G\\H");
                    File file = OpenDesktopFile("c:\\G\\H\\a", FileMode::CreateNew);
                    std::uint32_t put = 0;
                    file.Write("a", 1, put);
                    file.Flush();
                    FlushFolder("c:\\G\\H\\");  // the sixth operation
                    for (;;) FindFiles("c:\\G\\*");
                  }),
            posix::kDesktopPowerCutExitCode);
  EXPECT_FALSE(env.Exists("c/G"));
}

// The system gives a removed file's number to the next file it creates: a
// registry replaced in a folder never flushed must come back as it was, not
// with the data of the array that took its number.
TEST_F(PowerCut, AFileRemovedIsNotTheNewFileThatTakesItsNumber) {
  ASSERT_EQ(CutAt(6,
                  [] {
                    RemoveFile("c:\\F\\old.txt");
                    File file = OpenDesktopFile("c:\\F\\array", FileMode::CreateNew);
                    std::uint32_t put = 0;
                    file.Write("array", 5, put);
                    file.Flush();
                    file.Close();
                    for (;;) FindFiles("c:\\F\\*");
                  }),
            posix::kDesktopPowerCutExitCode);
  EXPECT_EQ(Listing(), "kept.txt old.txt");
  EXPECT_EQ(env.Read("c/F/old.txt"), "old");
}

// The simulated handheld keeps its files with the same durable replacement:
// they are not the desktop's, and a cut must not undo what the handheld
// was told (a state 4 undone would hide a lost array from the sweep).
TEST_F(PowerCut, FilesOutsideTheDesktopKeepWhatWasWritten) {
  const test::TempDir handheld;
  const std::string device_reg = (handheld.path() / "device.reg").string();
  ASSERT_TRUE(ReplaceFileDurably(device_reg, "state 3"));
  ASSERT_EQ(CutAt(2,
                  [&] {
                    ReplaceFileDurably(device_reg, "state 4");
                    MakeFolder("c:\\G");
                    for (;;) FindFiles("c:\\*");
                  }),
            posix::kDesktopPowerCutExitCode);
  EXPECT_EQ(handheld.Read("device.reg"), "state 4");
  EXPECT_FALSE(env.Exists("c/G"));
}

}  // namespace
}  // namespace zp
