#include "device/file_copy.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/handheld_test.h"

namespace zp {
namespace {

class FileCopy : public test::HandheldTest {
 protected:
  std::vector<std::uint32_t> steps;  ///< what the sink was given, call by call
  const ProgressSink record = [this](std::uint32_t count) { steps.push_back(count); };
};

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 31 + 7);
  return bytes;
}

TEST_F(FileCopy, BytesArriveWholeWithOneSinkCallPerBlock) {
  const std::string data = Pattern(16385);
  desktop.Write("c/out/a.cls", data);
  ASSERT_TRUE(CopyFileToPocket(device(), "c:\\out\\a.cls", u"\\a.cls", record));
  EXPECT_EQ(DeviceFile("\\a.cls"), data);
  EXPECT_EQ(steps, (std::vector<std::uint32_t>{16384, 1}));

  steps.clear();
  desktop.Write("c/in/keep.txt", "an older, longer file to be cut");
  ASSERT_TRUE(CopyFileFromPocket(device(), u"\\a.cls", "c:\\in\\keep.txt", record));
  EXPECT_EQ(desktop.Read("c/in/keep.txt"), data);
  EXPECT_EQ(steps, (std::vector<std::uint32_t>{16384, 1}));

  // An empty file, and a null sink.
  PutDeviceFile("\\empty.arr", "");
  steps.clear();
  ASSERT_TRUE(CopyFileFromPocket(device(), u"\\empty.arr", "c:\\in\\empty", record));
  EXPECT_TRUE(desktop.Exists("c/in/empty"));
  EXPECT_EQ(desktop.Read("c/in/empty"), "");
  EXPECT_TRUE(steps.empty());
  ASSERT_TRUE(CopyFileToPocket(device(), "c:\\out\\a.cls", u"\\b.cls", nullptr));
  EXPECT_EQ(DeviceFile("\\b.cls"), data);
  EXPECT_EQ(device().OpenHandles(), 0u);
}

TEST_F(FileCopy, FailedOpensCreateNothingAndCloseWhatWasOpened) {
  EXPECT_FALSE(CopyFileToPocket(device(), "c:\\missing.cls", u"\\x.cls", record));
  EXPECT_FALSE(DeviceHas("\\x.cls"));

  PutDeviceFile("\\a.arr", "data");
  desktop.Write("c/blocked", "a file where a folder should be");
  EXPECT_EQ(
      CopyFromPocket(device(), u"\\a.arr", "c:\\blocked\\a.arr", record, FileMode::CreateAlways),
      CopyOutcome::DestinationFailed);
  EXPECT_EQ(device().OpenHandles(), 0u);

  EXPECT_EQ(CopyFromPocket(device(), u"\\none.arr", "c:\\n.arr", record, FileMode::CreateAlways),
            CopyOutcome::SourceFailed);
  EXPECT_FALSE(desktop.Exists("c/n.arr"));

  desktop.Write("c/taken.arr", "someone else's array");
  EXPECT_EQ(CopyFromPocket(device(), u"\\a.arr", "c:\\taken.arr", record, FileMode::CreateNew),
            CopyOutcome::DestinationExists);
  EXPECT_EQ(desktop.Read("c/taken.arr"), "someone else's array");
  EXPECT_TRUE(steps.empty());
}

TEST_F(FileCopy, AFailureMidwayStopsTheCopyWithTheBlocksBeforeIt) {
  const std::string data = Pattern(3 * 16384 + 10);
  PutDeviceFile("\\a.arr", data);
  device().faults().Fail("CeReadFile", "", 3);
  EXPECT_EQ(CopyFromPocket(device(), u"\\a.arr", "c:\\a.arr", record, FileMode::CreateAlways),
            CopyOutcome::TransferFailed);
  EXPECT_EQ(desktop.Read("c/a.arr"), data.substr(0, std::size_t{2} * 16384));
  EXPECT_EQ(steps, (std::vector<std::uint32_t>{16384, 16384}));

  // A short write on the device is a failed copy, and the sink never hears of it.
  desktop.Write("c/a.cls", data);
  steps.clear();
  device().faults().ShortWrite("", 2);
  EXPECT_FALSE(CopyFileToPocket(device(), "c:\\a.cls", u"\\a.cls", record));
  EXPECT_EQ(steps, (std::vector<std::uint32_t>{16384}));
  EXPECT_EQ(device().OpenHandles(), 0u);

  // A desktop folder in place of a source file cannot be read.
  desktop.Write("c/folder.cls/inside", "x");
  EXPECT_FALSE(CopyFileToPocket(device(), "c:\\folder.cls", u"\\f.cls", record));
}

}  // namespace
}  // namespace zp
