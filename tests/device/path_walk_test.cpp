#include "device/path_walk.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/handheld_test.h"

namespace zp {
namespace {

using PathWalk = test::HandheldTest;

std::vector<std::string> Queries(const SimulatedDevice& device) {
  std::vector<std::string> lines;
  for (const std::string& line : device.journal()) {
    if (line.starts_with("CeGetFileAttributes") || line.starts_with("CeCreateDirectory")) {
      lines.push_back(line);
    }
  }
  return lines;
}

TEST_F(PathWalk, RemoteWalkQueriesEachComponentFromTheRootDown) {
  MakeDeviceFolder("\\My Documents\\Personal");
  device().KeepJournal();
  std::u16string path = u"\\My Documents\\Personal\\ZAMO\\Sync\\";
  ASSERT_TRUE(CreateRemotePath(device(), path));
  EXPECT_EQ(path, u"\\My Documents\\Personal\\ZAMO\\Sync\\");
  EXPECT_EQ(Queries(device()), (std::vector<std::string>{
                                   "CeGetFileAttributes \\My Documents",
                                   "CeGetFileAttributes \\My Documents\\Personal",
                                   "CeGetFileAttributes \\My Documents\\Personal\\ZAMO",
                                   "CeCreateDirectory \\My Documents\\Personal\\ZAMO",
                                   "CeGetFileAttributes \\My Documents\\Personal\\ZAMO\\Sync",
                                   "CeCreateDirectory \\My Documents\\Personal\\ZAMO\\Sync",
                               }));
  EXPECT_TRUE(DeviceHas("\\My Documents\\Personal\\ZAMO\\Sync"));
}

TEST_F(PathWalk, RemoteWalkStopsAtAFileOrAFailedCreate) {
  PutDeviceFile("\\Program files", "a file, not a folder");
  std::u16string path = u"\\Program files\\ZAMO";
  EXPECT_FALSE(CreateRemotePath(device(), path));
  EXPECT_EQ(path, u"\\Program files");

  device().faults().Fail("CeCreateDirectory");
  path = u"\\New\\Deeper";
  EXPECT_FALSE(CreateRemotePath(device(), path));
  EXPECT_EQ(path, u"\\New\\Deeper");  // restored whole
}

TEST_F(PathWalk, LocalWalkCreatesMissingFoldersAndLeavesTheDriveAlone) {
  std::string path = "c:\\a\\b\\";
  std::vector<std::string> created;
  ASSERT_TRUE(CreateLocalPath(path, &created));
  EXPECT_EQ(path, "c:\\a\\b\\");
  EXPECT_TRUE(std::filesystem::is_directory(desktop.dir().path() / "c/a/b"));
  // The folders whose names must be made to last, and only those.
  EXPECT_EQ(created, (std::vector<std::string>{"c:\\a", "c:\\a\\b"}));
  std::string deeper = "c:\\a\\b\\c\\";
  ASSERT_TRUE(CreateLocalPath(deeper, &created));
  EXPECT_EQ(created.back(), "c:\\a\\b\\c");
  EXPECT_EQ(created.size(), 3u);
  ASSERT_TRUE(CreateLocalPath(path));  // all there already

  for (std::string trivial : {"", "c:", "\\", "c:\\"}) {
    EXPECT_TRUE(CreateLocalPath(trivial)) << trivial;
  }
  // The drive itself is never created: a missing drive fails at its first folder.
  std::string other = "q:\\x\\";
  EXPECT_FALSE(CreateLocalPath(other));
  EXPECT_EQ(other, "q:\\x\\");

  desktop.Write("c/f", "a file");
  std::string cut = "c:\\f\\b\\";
  EXPECT_FALSE(CreateLocalPath(cut));
  EXPECT_EQ(cut, "c:\\f");
}

}  // namespace
}  // namespace zp
