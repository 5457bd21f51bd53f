#include "platform/posix/posix_name_index.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/platform.h"
#include "support/desktop_env.h"

namespace zp {
namespace {

namespace fs = std::filesystem;

class PosixNameIndex : public testing::Test {
 protected:
  void SetUp() override { fs::create_directories(Host("c/F")); }
  std::string Host(const std::string& relative) const {
    return (env.dir().path() / relative).string();
  }
  static std::uint32_t CreateError(const std::string& path) {
    SetLastErrorCode(0);
    return OpenDesktopFile(path, FileMode::CreateNew) ? 0 : LastErrorCode();
  }
  test::DesktopEnv env;
};

TEST_F(PosixNameIndex, TellsAbsentNamesAndFindsEveryCase) {
  env.Write("c/F/Data.Txt", "");
  EXPECT_TRUE(posix::MayHoldFolded(Host("c/F"), "DATA.TXT"));
  EXPECT_TRUE(posix::MayHoldFolded(Host("c/F"), "data.txt"));
  EXPECT_FALSE(posix::MayHoldFolded(Host("c/F"), "data.tx"));
  EXPECT_FALSE(posix::MayHoldFolded(Host("c/F"), "Other"));
  EXPECT_FALSE(posix::MayHoldFolded(Host("c/none"), "Data.Txt"));  // no such folder
  EXPECT_FALSE(posix::MayHoldFolded(Host("c/F/Data.Txt"), "x"));   // a file holds no names
}

TEST_F(PosixNameIndex, NamesMadeByOthersAfterTheFolderWasReadAreFound) {
  ASSERT_EQ(CreateError("c:\\F\\ARR00001.ARR"), 0u);  // the folder is read here
  EXPECT_FALSE(posix::MayHoldFolded(Host("c/F"), "late.arr"));
  env.Write("c/F/late.arr", "made by another program");
  fs::create_directories(Host("c/elsewhere"));
  env.Write("c/elsewhere/moved.arr", "");
  fs::rename(Host("c/elsewhere/moved.arr"), Host("c/F/moved.arr"));

  EXPECT_EQ(CreateError("c:\\F\\LATE.ARR"), kErrorFileExists);
  EXPECT_EQ(CreateError("c:\\F\\Moved.Arr"), kErrorFileExists);
  EXPECT_EQ(PathAttributes("c:\\F\\Late.Arr"), 0x80u);
  EXPECT_EQ(CreateError("c:\\F\\ARR00002.ARR"), 0u);
  EXPECT_TRUE(env.Exists("c/F/ARR00002.ARR"));
}

TEST_F(PosixNameIndex, AFolderPutInThePlaceOfAnotherIsReadAnew) {
  ASSERT_EQ(CreateError("c:\\F\\one"), 0u);
  fs::rename(Host("c/F"), Host("c/old"));
  fs::create_directories(Host("c/F"));
  env.Write("c/F/Two", "");
  EXPECT_EQ(CreateError("c:\\F\\TWO"), kErrorFileExists);
  EXPECT_EQ(CreateError("c:\\F\\ONE"), 0u);  // only in the folder moved away
  EXPECT_TRUE(env.Exists("c/F/ONE"));

  // Moved away and back: read anew, with what it gained meanwhile.
  fs::rename(Host("c/F"), Host("c/away"));
  env.Write("c/away/three", "");
  fs::rename(Host("c/away"), Host("c/F"));
  EXPECT_EQ(CreateError("c:\\F\\THREE"), kErrorFileExists);
}

}  // namespace
}  // namespace zp
