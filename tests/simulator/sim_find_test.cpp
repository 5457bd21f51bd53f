#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/utf.h"
#include "simulator/simulated_device.h"
#include "support/device_world.h"

namespace zp {
namespace {

class SimFind : public ::testing::Test {
 protected:
  void SetUp() override {
    world.AddDeviceFile("\\Sync\\b.arr", "22");
    world.AddDeviceFile("\\Sync\\A.ARR", "1");
    world.AddDeviceFile("\\Sync\\C.Arr", "333");
    world.AddDeviceFile("\\Sync\\notes.txt", "");
    world.AddDeviceFolder("\\Sync\\Old.arr");
    ASSERT_EQ(device.CeRapiInit(), 0);
  }
  void TearDown() override { EXPECT_EQ(device.OpenBuffers(), 0u); }

  // "name attributes size" of each record.
  std::vector<std::string> List(const std::u16string& pattern, std::uint32_t flags) {
    std::uint32_t count = 99;
    CeFindData* records = nullptr;
    if (!device.CeFindAllFiles(pattern, flags, &count, &records)) return {"<failed>"};
    std::vector<std::string> out;
    for (std::uint32_t i = 0; i < count; ++i) {
      const CeFindData& r = records[i];
      out.push_back(utf::ToUtf8(r.cFileName) + " " + std::to_string(r.dwFileAttributes) + " " +
                    std::to_string(r.nFileSizeLow));
    }
    if (count == 0) {
      EXPECT_EQ(records, nullptr);
    }
    device.CeRapiFreeBuffer(records);
    return out;
  }

  test::DeviceWorld world;
  SimulatedDevice device{world.device_folder(), world.desktop_registry()};
};

TEST_F(SimFind, ListsMatchesByNameWithTheFieldsAsked) {
  const std::uint32_t all = kFafAttributes | kFafName | kFafSizeLow;
  EXPECT_EQ(List(u"\\Sync\\*.ARR", all), (std::vector<std::string>{"A.ARR 128 1", "b.arr 128 2",
                                                                   "C.Arr 128 3", "Old.arr 16 0"}));
  EXPECT_EQ(List(u"\\sync\\?.arr", kFafName),
            (std::vector<std::string>{"A.ARR 0 0", "b.arr 0 0", "C.Arr 0 0"}));
  EXPECT_EQ(List(u"\\Sync\\*.*", kFafAttributes).size(), 5u);
  EXPECT_EQ(List(u"\\*", kFafName | kFafAttributes), (std::vector<std::string>{"Sync 16 0"}));
  EXPECT_EQ(List(u"\\Sync\\*.ar", kFafName), std::vector<std::string>{});
}

// The flags are the remote API's public values, written out here so that a
// wrong constant in the program cannot agree with a wrong one in the device.
TEST_F(SimFind, EachFieldIsFilledOnlyWhenItsPublicFlagAsksForIt) {
  struct Asked {
    std::uint32_t flags;
    bool attributes, creation, access, write, size_low, oid, name;
  };
  const Asked cases[] = {
      {0x01, true, false, false, false, false, false, false},
      {0x02, false, true, false, false, false, false, false},
      {0x04, false, false, true, false, false, false, false},
      {0x08, false, false, false, true, false, false, false},
      {0x10, false, false, false, false, false, false, false},
      {0x20, false, false, false, false, true, false, false},
      {0x40, false, false, false, false, false, true, false},
      {0x80, false, false, false, false, false, false, true},
  };
  for (const Asked& asked : cases) {
    std::uint32_t count = 0;
    CeFindData* records = nullptr;
    ASSERT_TRUE(device.CeFindAllFiles(u"\\Sync\\C.ARR", asked.flags, &count, &records));
    ASSERT_EQ(count, 1u);
    const CeFindData& r = records[0];
    const auto filled = [](const std::uint32_t(&time)[2]) { return time[0] != 0 || time[1] != 0; };
    EXPECT_EQ(r.dwFileAttributes != 0, asked.attributes) << asked.flags;
    EXPECT_EQ(filled(r.ftCreationTime), asked.creation) << asked.flags;
    EXPECT_EQ(filled(r.ftLastAccessTime), asked.access) << asked.flags;
    EXPECT_EQ(filled(r.ftLastWriteTime), asked.write) << asked.flags;
    EXPECT_EQ(r.nFileSizeHigh, 0u) << asked.flags;  // 3 bytes: the high half is 0 when asked too
    EXPECT_EQ(r.nFileSizeLow, asked.size_low ? 3u : 0u) << asked.flags;
    EXPECT_EQ(r.dwOID != 0, asked.oid) << asked.flags;
    EXPECT_EQ(r.cFileName[0] != 0, asked.name) << asked.flags;
    device.CeRapiFreeBuffer(records);
  }
}

TEST_F(SimFind, MissingFolderListsEmptyAndBadPatternsFail) {
  EXPECT_EQ(List(u"\\Nowhere\\*.ARR", kFafName), std::vector<std::string>{});
  EXPECT_EQ(List(u"*.ARR", kFafName), std::vector<std::string>{"<failed>"});
  EXPECT_EQ(List(u"\\..\\*", kFafName), std::vector<std::string>{"<failed>"});
}

TEST_F(SimFind, LongestNamesAreWholeAndBuffersAreCounted) {
  // A host name has at most 255 bytes, so the 259-unit cut never shows here.
  const std::string long_name(255, 'n');
  world.AddDeviceFile("\\Long\\" + long_name, "");
  std::uint32_t count = 0;
  CeFindData* records = nullptr;
  ASSERT_TRUE(device.CeFindAllFiles(u"\\Long\\*", kFafName, &count, &records));
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(std::u16string(records[0].cFileName), std::u16string(255, u'n'));
  EXPECT_EQ(device.OpenBuffers(), 1u);
  device.CeRapiFreeBuffer(records);
}

}  // namespace
}  // namespace zp
