#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "simulator/simulated_device.h"
#include "support/device_world.h"

namespace zp {
namespace {

class SimFiles : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(device.CeRapiInit(), 0); }
  void TearDown() override {
    EXPECT_EQ(device.CeRapiUninit(), 0);
    EXPECT_EQ(device.OpenHandles(), 0u);
  }
  CeHandle Create(const std::u16string& path, std::uint32_t disposition = kCreateAlways) {
    return device.CeCreateFile(path, kGenericWrite, 0, disposition, kFileAttributeNormal);
  }
  std::string ReadAll(const std::u16string& path) {
    const CeHandle h = device.CeCreateFile(path, kGenericRead, kFileShareRead, kOpenExisting, 0);
    if (h == kInvalidCeHandle) return "<failed>";
    std::string all;
    char block[3];
    std::uint32_t got = 0;
    bool ok = true;
    while ((ok = device.CeReadFile(h, block, sizeof block, &got)) && got > 0)
      all.append(block, got);
    EXPECT_TRUE(ok);  // the end of the file reads as 0 bytes, not as a failure
    EXPECT_TRUE(device.CeCloseHandle(h));
    return all;
  }

  test::DeviceWorld world;
  SimulatedDevice device{world.device_folder(), world.desktop_registry()};
};

TEST_F(SimFiles, WriteThenReadBackInBlocks) {
  world.AddDeviceFolder("\\My Documents");
  const CeHandle h = Create(u"\\My Documents\\A.ARR");
  ASSERT_NE(h, kInvalidCeHandle);
  ASSERT_NE(h, CeHandle{});
  std::uint32_t put = 0;
  ASSERT_TRUE(device.CeWriteFile(h, "hello world", 11, &put));
  EXPECT_EQ(put, 11u);
  EXPECT_TRUE(device.CeCloseHandle(h));
  EXPECT_FALSE(device.CeCloseHandle(h));
  EXPECT_EQ(device.CeGetLastError(), kErrorInvalidHandle);
  EXPECT_EQ(world.DeviceFile("\\My Documents\\A.ARR"), "hello world");
  EXPECT_EQ(ReadAll(u"\\my documents\\a.arr"), "hello world");
}

TEST_F(SimFiles, CaseInsensitiveLookupPrefersTheExactName) {
  world.AddDeviceFile("\\Sync\\a.arr", "lower");
  world.AddDeviceFile("\\Sync\\A.ARR", "upper");
  EXPECT_EQ(ReadAll(u"\\SYNC\\a.arr"), "lower");
  EXPECT_EQ(ReadAll(u"\\sync\\A.ARR"), "upper");
  // Creating under another case replaces the file that is there.
  const CeHandle h = Create(u"\\sync\\A.arr");
  ASSERT_TRUE(device.CeCloseHandle(h));
  EXPECT_EQ(world.DeviceFile("\\Sync\\a.arr"), "lower");
  EXPECT_EQ(world.DeviceFile("\\Sync\\A.ARR"), "");
}

TEST_F(SimFiles, CreateDispositionsAndTheirErrors) {
  world.AddDeviceFile("\\Old.txt", "old");
  world.AddDeviceFolder("\\Dir");
  EXPECT_EQ(Create(u"\\Old.txt", kCreateNew), kInvalidCeHandle);
  EXPECT_EQ(device.CeGetLastError(), kErrorFileExists);
  EXPECT_EQ(Create(u"\\Missing\\New.txt"), kInvalidCeHandle);
  EXPECT_EQ(device.CeGetLastError(), kErrorPathNotFound);
  EXPECT_EQ(Create(u"\\Dir"), kInvalidCeHandle);
  EXPECT_EQ(device.CeGetLastError(), kErrorAccessDenied);
  EXPECT_EQ(ReadAll(u"\\Dir"), "<failed>");
  EXPECT_EQ(ReadAll(u"\\Nothing.txt"), "<failed>");
  EXPECT_EQ(device.CeGetLastError(), kErrorFileNotFound);
  const CeHandle h = Create(u"\\New.txt", kCreateNew);
  ASSERT_NE(h, kInvalidCeHandle);
  char byte;
  std::uint32_t got = 7;
  EXPECT_FALSE(device.CeReadFile(h, &byte, 1, &got));  // opened for writing only
  EXPECT_EQ(device.CeGetLastError(), kErrorAccessDenied);
  EXPECT_TRUE(device.CeCloseHandle(h));
  EXPECT_TRUE(world.DeviceHas("\\New.txt"));
}

TEST_F(SimFiles, InvalidPathsNeverLeaveTheFilesFolder) {
  world.dir.Write("device/outside.txt", "secret");
  const std::u16string paths[] = {
      u"\\..\\outside.txt",        u"no-backslash", u"\\a/b", u"\\.", u"\\c:x",
      std::u16string(u"\\a\0b", 4)};
  for (const std::u16string& path : paths) {
    EXPECT_EQ(device.CeGetFileAttributes(path), kInvalidAttributes);
    EXPECT_EQ(Create(path), kInvalidCeHandle);
  }
  EXPECT_EQ(world.dir.Read("device/outside.txt"), "secret");
}

TEST_F(SimFiles, AttributesFoldersAndDeletion) {
  world.AddDeviceFile("\\Docs\\A.ARR", "x");
  EXPECT_EQ(device.CeGetFileAttributes(u"\\"), kAttributeDirectory);
  EXPECT_EQ(device.CeGetFileAttributes(u"\\docs"), kAttributeDirectory);
  EXPECT_EQ(device.CeGetFileAttributes(u"\\Docs\\a.arr"), kFileAttributeNormal);
  EXPECT_EQ(device.CeGetFileAttributes(u"\\Docs\\B.ARR"), kInvalidAttributes);
  EXPECT_EQ(device.CeGetLastError(), kErrorFileNotFound);

  EXPECT_TRUE(device.CeCreateDirectory(u"\\Docs\\Sub"));
  EXPECT_FALSE(device.CeCreateDirectory(u"\\DOCS\\sub"));
  EXPECT_FALSE(device.CeCreateDirectory(u"\\None\\Sub"));
  EXPECT_EQ(device.CeGetLastError(), kErrorPathNotFound);
  EXPECT_TRUE(world.DeviceHas("\\Docs\\Sub"));

  EXPECT_FALSE(device.CeDeleteFile(u"\\Docs\\Sub"));  // a folder
  const CeHandle h = device.CeCreateFile(u"\\Docs\\A.ARR", kGenericRead, 0, kOpenExisting, 0);
  EXPECT_FALSE(device.CeDeleteFile(u"\\Docs\\A.ARR"));  // open
  EXPECT_TRUE(device.CeCloseHandle(h));
  EXPECT_TRUE(device.CeDeleteFile(u"\\docs\\a.ARR"));
  EXPECT_FALSE(device.CeDeleteFile(u"\\Docs\\A.ARR"));
  EXPECT_EQ(device.CeGetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(world.DeviceHas("\\Docs\\A.ARR"));
}

TEST(SimConnection, OperationsNeedTheConnectionButIdentityDoesNot) {
  test::DeviceWorld world;
  world.SetDeviceReg(test::DeviceWorld::IdentReg(0x1234abcd));
  SimulatedDevice device(world.device_folder(), world.desktop_registry());
  EXPECT_EQ(device.CeGetDeviceId(), 0x1234abcdu);
  EXPECT_EQ(device.CeGetFileAttributes(u"\\"), kInvalidAttributes);
  EXPECT_EQ(device.CeGetLastError(), kErrorNotConnected);
  EXPECT_NE(device.CeRapiUninit(), 0);
  ASSERT_EQ(device.CeRapiInit(), 0);
  EXPECT_LT(device.CeRapiInit(), 0);  // already initialised
  EXPECT_EQ(device.CeGetFileAttributes(u"\\"), kAttributeDirectory);
  EXPECT_EQ(device.CeRapiUninit(), 0);

  SimulatedDevice absent(world.dir.path().string() + "/none", world.desktop_registry());
  EXPECT_LT(absent.CeRapiInit(), 0);
  EXPECT_EQ(absent.CeGetDeviceId(), 0u);
  SimulatedDevice unnamed("", "");
  EXPECT_LT(unnamed.CeRapiInit(), 0);
  EXPECT_EQ(unnamed.CeGetDeviceId(), 0u);
}

}  // namespace
}  // namespace zp
