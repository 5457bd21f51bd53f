#include "device/remote_handles.h"

#include <gtest/gtest.h>

#include "device/remote_program.h"
#include "platform/platform.h"
#include "support/handheld_test.h"

namespace zp {
namespace {

using RemoteHandles = test::HandheldTest;

TEST_F(RemoteHandles, MoveAssignmentReleasesWhatWasHeldAndTakesTheOther) {
  PutDeviceFile("\\A.TXT", "a");
  PutDeviceFile("\\B.TXT", "b");
  RemoteFile first(device(), device().CeCreateFile(u"\\A.TXT", kGenericRead, kFileShareRead,
                                                   kOpenExisting, kFileAttributeNormal));
  RemoteFile second(device(), device().CeCreateFile(u"\\B.TXT", kGenericRead, kFileShareRead,
                                                    kOpenExisting, kFileAttributeNormal));
  ASSERT_TRUE(first.valid() && second.valid());
  ASSERT_EQ(device().OpenHandles(), 2u);
  const CeHandle taken = second.get();
  first = std::move(second);
  EXPECT_EQ(device().OpenHandles(), 1u);  // the first file was closed
  EXPECT_EQ(first.get(), taken);
  // What a move leaves behind: nothing to close.
  EXPECT_FALSE(second.valid());  // NOLINT(bugprone-use-after-move,clang-analyzer-cplusplus.Move)
  first = RemoteFile(device(), kInvalidCeHandle);
  EXPECT_EQ(device().OpenHandles(), 0u);
  EXPECT_FALSE(first.valid());
}

TEST_F(RemoteHandles, AStartedProgramLeavesNoHandleAndAFailedStartIsLogged) {
  PutDeviceFile("\\Program Files\\ZAMO\\zamoimport.exe", "MZ");
  StartLog();
  EXPECT_TRUE(
      StartRemoteProgram(device(), u"\\Program Files\\ZAMO\\zamoimport.exe", u"x", "not logged"));
  EXPECT_EQ(device().OpenHandles(), 0u);
  EXPECT_FALSE(StartRemoteProgram(device(), u"\\missing.exe", u"", "Could not run it", "\r\n"));
  EXPECT_EQ(Log(), "Could not run it: 0x00000000 0x00000002\r\n\r\n");
}

}  // namespace
}  // namespace zp
