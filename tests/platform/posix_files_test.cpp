#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/platform.h"
#include "support/desktop_env.h"

namespace zp {
namespace {

class PosixFiles : public testing::Test {
 protected:
  test::DesktopEnv env;

  // The Windows error of a failing open, or 0 when it opened.
  static std::uint32_t OpenError(const std::string& path, FileMode mode) {
    SetLastErrorCode(0);
    return OpenDesktopFile(path, mode) ? 0 : LastErrorCode();
  }
  static std::string ReadAll(const std::string& path) {
    File f = OpenDesktopFile(path, FileMode::ReadExisting);
    std::string out(64, '\0');
    std::uint32_t got = 0;
    if (!f || !f.Read(out.data(), 64, got)) return "<failed>";
    out.resize(got);
    return out;
  }
  static bool WriteAll(const std::string& path, FileMode mode, std::string_view bytes) {
    File f = OpenDesktopFile(path, mode);
    std::uint32_t put = 0;
    return f && f.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), put) &&
           put == bytes.size() && f.Flush() && f.Close();
  }
};

TEST_F(PosixFiles, DrivesMapToFoldersAndNamesFoldCase) {
  ASSERT_TRUE(MakeFolder("C:\\ZAMO"));
  ASSERT_TRUE(MakeFolder("c:\\zamo\\Dev\\"));
  ASSERT_TRUE(WriteAll("c:\\ZAMO\\DEV\\Data.txt", FileMode::CreateAlways, "abc"));
  EXPECT_EQ(env.Read("c/ZAMO/Dev/Data.txt"), "abc");
  EXPECT_EQ(ReadAll("C:\\zamo\\dev\\DATA.TXT"), "abc");
  // The exact name wins; otherwise the first match in byte order.
  env.Write("c/ZAMO/Dev/data.txt", "lower");
  env.Write("c/ZAMO/Dev/DATA.txt", "upper");
  EXPECT_EQ(ReadAll("c:\\ZAMO\\Dev\\data.txt"), "lower");
  EXPECT_EQ(ReadAll("c:\\ZAMO\\Dev\\dAtA.TxT"), "upper");
  // A created name keeps the spelling given when nothing matches.
  ASSERT_TRUE(WriteAll("c:\\zamo\\dev\\New.Log", FileMode::CreateNew, ""));
  EXPECT_TRUE(env.Exists("c/ZAMO/Dev/New.Log"));
  EXPECT_EQ(OpenError("d:\\x", FileMode::CreateAlways), kErrorPathNotFound);  // no drive d:
}

TEST_F(PosixFiles, RefusesPathsThatCouldLeaveTheRoot) {
  env.Write("c/ZAMO/a", "");
  for (const char* path : {"c:\\..\\escape", "c:\\ZAMO\\..\\..\\escape", "c:\\.\\escape",
                           "c:\\ZAMO/../../escape", "c:\\a\\b/c", "c:\\ZAMO\\a*", "c:\\x:y"}) {
    EXPECT_EQ(OpenError(path, FileMode::CreateAlways), kErrorInvalidName) << path;
    EXPECT_EQ(PathAttributes(path), kInvalidAttributes) << path;
    EXPECT_FALSE(MakeFolder(path)) << path;
  }
  for (const char* path :
       {"escape", "\\escape", "c:escape", "\\\\server\\share\\escape", "1:\\x"}) {
    EXPECT_EQ(OpenError(path, FileMode::CreateAlways), kErrorPathNotFound) << path;
  }
  EXPECT_TRUE(FindFiles("c:\\..\\*").empty());
  EXPECT_TRUE(FindFiles("c:\\ZAMO\\a/*").empty());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(env.dir().path()), {}), 1);
  EXPECT_FALSE(std::filesystem::exists(env.dir().path().parent_path() / "escape"));
}

TEST_F(PosixFiles, OpenModesFailAsOnWindows) {
  env.Write("c/dir/file", "old contents");
  EXPECT_EQ(OpenError("c:\\dir\\missing", FileMode::ReadExisting), kErrorFileNotFound);
  EXPECT_EQ(OpenError("c:\\nodir\\missing", FileMode::ReadExisting), kErrorPathNotFound);
  EXPECT_EQ(OpenError("c:\\nodir\\new", FileMode::CreateAlways), kErrorPathNotFound);
  EXPECT_EQ(OpenError("c:\\dir\\file\\x", FileMode::CreateNew), kErrorPathNotFound);
  EXPECT_EQ(OpenError("c:\\dir", FileMode::ReadExisting), kErrorAccessDenied);
  EXPECT_EQ(OpenError("c:\\dir", FileMode::CreateAlways), kErrorAccessDenied);
  EXPECT_EQ(OpenError("c:\\dir", FileMode::CreateNew), kErrorFileExists);
  EXPECT_EQ(OpenError("c:\\DIR\\FILE", FileMode::CreateNew), kErrorFileExists);
  EXPECT_EQ(env.Read("c/dir/file"), "old contents");
  ASSERT_TRUE(WriteAll("c:\\dir\\file", FileMode::CreateAlways, "new"));
  EXPECT_EQ(ReadAll("c:\\dir\\file"), "new");

  File f = OpenDesktopFile("c:\\dir\\file", FileMode::ReadExisting);
  char buffer[8];
  std::uint32_t got = 99;
  ASSERT_TRUE(f.Read(buffer, sizeof buffer, got));
  EXPECT_EQ(got, 3u);
  ASSERT_TRUE(f.Read(buffer, sizeof buffer, got));
  EXPECT_EQ(got, 0u);
  EXPECT_FALSE(f.Write("x", 1, got));  // opened for reading only
  EXPECT_TRUE(f.Close());
  EXPECT_FALSE(f.Read(buffer, sizeof buffer, got));
  EXPECT_EQ(LastErrorCode(), kErrorInvalidHandle);
}

TEST_F(PosixFiles, AttributesFoldersAndDeletion) {
  env.Write("c/dir/file", std::string(70000, 'x'));
  EXPECT_EQ(PathAttributes("c:\\dir"), kAttributeDirectory);
  EXPECT_EQ(PathAttributes("c:\\DIR\\"), kAttributeDirectory);
  EXPECT_EQ(PathAttributes("c:\\"), kAttributeDirectory);
  EXPECT_EQ(PathAttributes("c:\\dir\\file"), 0x80u);
  EXPECT_EQ(PathAttributes("c:\\dir\\file\\"), kInvalidAttributes);
  EXPECT_EQ(LastErrorCode(), kErrorInvalidName);
  EXPECT_EQ(PathAttributes("c:\\dir\\none"), kInvalidAttributes);
  EXPECT_EQ(LastErrorCode(), kErrorFileNotFound);
  EXPECT_EQ(PathAttributes("c:\\none\\none"), kInvalidAttributes);
  EXPECT_EQ(LastErrorCode(), kErrorPathNotFound);
  EXPECT_EQ(PathAttributes("q:\\"), kInvalidAttributes);
  EXPECT_EQ(LastErrorCode(), kErrorPathNotFound);
  const auto info = PathInfo("c:\\dir\\FILE");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->attributes, 0x80u);
  EXPECT_EQ(info->size_low, 70000u);

  EXPECT_FALSE(MakeFolder("c:\\Dir"));
  EXPECT_EQ(LastErrorCode(), kErrorAlreadyExists);
  EXPECT_FALSE(MakeFolder("c:\\dir\\file"));
  EXPECT_EQ(LastErrorCode(), kErrorAlreadyExists);
  EXPECT_FALSE(MakeFolder("c:\\none\\sub"));
  EXPECT_EQ(LastErrorCode(), kErrorPathNotFound);

  EXPECT_FALSE(RemoveFile("c:\\dir"));
  EXPECT_EQ(LastErrorCode(), kErrorAccessDenied);
  EXPECT_FALSE(RemoveFile("c:\\dir\\none"));
  EXPECT_EQ(LastErrorCode(), kErrorFileNotFound);
  EXPECT_TRUE(RemoveFile("c:\\dir\\File"));
  EXPECT_FALSE(env.Exists("c/dir/file"));
}

TEST_F(PosixFiles, FindFilesMatchesWholeNamesInPlatformOrder) {
  for (const char* name : {"b.CLS", "A.cls", "_u.cls", "x.CLSX", "a.clsbak", "noext", "B.cls"}) {
    env.Write(std::string("c/arr/") + name, name);
  }
  std::filesystem::create_directories(env.dir().path() / "c/arr/Sub.cls");
  std::vector<std::string> names;
  for (const FindEntry& e : FindFiles("C:\\ARR\\*.cls")) {
    names.push_back(e.name + (e.is_directory ? "/" : ":" + std::to_string(e.size_low)));
  }
  EXPECT_EQ(names,
            (std::vector<std::string>{"A.cls:5", "B.cls:5", "b.CLS:5", "Sub.cls/", "_u.cls:6"}));
  EXPECT_EQ(FindFiles("c:\\arr\\?.CLS").size(), 3u);
  EXPECT_EQ(FindFiles("c:\\arr\\*").size(), 8u);
  EXPECT_EQ(FindFiles("c:\\arr\\*.*").size(), 8u);
  EXPECT_EQ(FindFiles("c:\\arr\\*x*").front().name, "noext");
  EXPECT_TRUE(FindFiles("c:\\arr\\*.cl").empty());
  EXPECT_EQ(LastErrorCode(), kErrorFileNotFound);
  EXPECT_TRUE(FindFiles("c:\\none\\*").empty());
  EXPECT_EQ(LastErrorCode(), kErrorPathNotFound);
}

TEST_F(PosixFiles, ANamesOnlyListingTellsKindsAndTheSameNames) {
  env.Write("c/arr/b.CLS", "bb");
  env.Write("c/arr/A.cls", "a");
  std::filesystem::create_directories(env.dir().path() / "c/arr/Sub.cls");
  std::filesystem::create_directories(env.dir().path() / "c/arr/real");
  // A link tells its kind only through the status of what it points at.
  std::filesystem::create_directory_symlink(env.dir().path() / "c/arr/real",
                                            env.dir().path() / "c/arr/Link.cls");
  std::filesystem::create_symlink(env.dir().path() / "c/arr/gone",
                                  env.dir().path() / "c/arr/x.cls");
  SetLastErrorCode(0);
  std::vector<std::string> names;
  for (const FindEntry& e : FindFiles("c:\\ARR\\*.cls", FindDetail::NamesOnly)) {
    names.push_back(e.name + (e.is_directory ? "/" : ":" + std::to_string(e.size_low)));
  }
  EXPECT_EQ(LastErrorCode(), kErrorNoMoreFiles);
  std::sort(names.begin(), names.end());
  // No sizes; a broken link is not listed, as with sizes.
  EXPECT_EQ(names, (std::vector<std::string>{"A.cls:0", "Link.cls/", "Sub.cls/", "b.CLS:0"}));
  EXPECT_FALSE(ListFiles("c:\\none\\*", FindDetail::NamesOnly).has_value());
  EXPECT_EQ(LastErrorCode(), kErrorPathNotFound);
}

}  // namespace
}  // namespace zp
