// zp-handheld's remote API: each call read off the wire, served by the
// world, and its reply laid out as a desktop reads it.
#include <gtest/gtest.h>

#include "device/remote_device.h"
#include "handheld/handheld_fixture.h"
#include "link/protocol.h"
#include "platform/platform.h"
#include "platform/utf.h"

namespace zp::test {
namespace {

using namespace zp::link;

constexpr std::uint32_t kHklm = 0x80000002u;

class HandheldRapiTest : public HandheldLinkTest {
 protected:
  /// A call whose reply must come; its le and rv, and a reader after them.
  Reply Must(WireWriter request) {
    reply_ = Call(session, std::move(request));
    if (!reply_) {
      ADD_FAILURE() << "no reply:\n" << HandheldOutput();
      reply_.emplace(8, 0xEE);  // le and rv that match nothing
    }
    return Reply(*reply_);
  }

  Socket session;

 private:
  std::optional<std::vector<std::uint8_t>> reply_;
};

TEST_F(HandheldRapiTest, FileRoundTripCreatesWritesReadsAndDeletes) {
  world.AddDeviceFolder("\\My Documents");
  session = DockAndOpen();
  ASSERT_TRUE(session);
  const std::u16string path = u"\\My Documents\\T.BIN";
  std::string content(70000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 % 251);

  Reply created = Must(Request(kCmdCreateFile)
                           .String(path)
                           .U32(kGenericWrite)
                           .U32(0)
                           .U32(kCreateNew)
                           .U32(kFileAttributeNormal)
                           .U32(0));
  ASSERT_EQ(created.le, 0u);
  const std::uint32_t writing = created.rv;
  ASSERT_NE(writing, 0xFFFFFFFFu);
  for (std::size_t at = 0; at < content.size(); at += kMaxTransfer) {
    const std::size_t n = std::min<std::size_t>(kMaxTransfer, content.size() - at);
    Reply wrote = Must(Request(kCmdWriteFile)
                           .U32(writing)
                           .U32(static_cast<std::uint32_t>(n))
                           .Bytes(content.data() + at, n));
    EXPECT_EQ(wrote.rv, 1u);
    EXPECT_EQ(wrote.in.U32(), n);
  }
  EXPECT_EQ(Must(Request(kCmdCloseHandle).U32(writing)).rv, 1u);
  EXPECT_EQ(world.DeviceFile("\\My Documents\\T.BIN"), content);

  Reply again = Must(Request(kCmdCreateFile)
                         .String(path)
                         .U32(kGenericWrite)
                         .U32(0)
                         .U32(kCreateNew)
                         .U32(kFileAttributeNormal)
                         .U32(0));
  EXPECT_EQ(again.rv, 0xFFFFFFFFu);
  EXPECT_EQ(again.le, kErrorFileExists);

  Reply opened = Must(Request(kCmdCreateFile)
                          .String(path)
                          .U32(kGenericRead)
                          .U32(kFileShareRead)
                          .U32(kOpenExisting)
                          .U32(0)
                          .U32(0));
  const std::uint32_t reading = opened.rv;
  ASSERT_NE(reading, 0xFFFFFFFFu);
  std::string read_back;
  for (int i = 0; i < 10; ++i) {  // two blocks and the end
    Reply read = Must(Request(kCmdReadFile).U32(reading).U32(kMaxTransfer));
    ASSERT_EQ(read.rv, 1u);
    const std::uint32_t got = read.in.U32();
    const auto bytes = read.in.Bytes(got);
    ASSERT_TRUE(read.in.ok());
    if (got == 0) break;
    read_back.append(bytes.begin(), bytes.end());
  }
  EXPECT_EQ(read_back, content);
  EXPECT_EQ(Must(Request(kCmdCloseHandle).U32(reading)).rv, 1u);

  EXPECT_EQ(Must(Request(kCmdGetFileAttributes).String(path)).rv, kFileAttributeNormal);
  EXPECT_EQ(Must(Request(kCmdDeleteFile).String(path)).rv, 1u);
  EXPECT_FALSE(world.DeviceHas("\\My Documents\\T.BIN"));
  Reply gone = Must(Request(kCmdGetFileAttributes).String(path));
  EXPECT_EQ(gone.rv, kInvalidAttributes);
  EXPECT_EQ(gone.le, kErrorFileNotFound);
}

TEST_F(HandheldRapiTest, FindAllFilesSendsTheAskedFieldsWithTheNameLast) {
  world.AddDeviceFile("\\Sync\\A.ARR", "abc");
  world.AddDeviceFile("\\Sync\\Bee.ARR", "12345");
  world.AddDeviceFolder("\\Sync\\Sub");
  session = DockAndOpen();
  ASSERT_TRUE(session);

  Reply listed = Must(
      Request(kCmdFindAllFiles).String(u"\\Sync\\*").U32(kFafName | kFafAttributes | kFafSizeLow));
  EXPECT_EQ(listed.le, 0u);
  const std::uint32_t count = listed.in.U32();
  ASSERT_EQ(count, 3u);
  struct Entry {
    std::u16string name;
    std::uint32_t attributes;
    std::uint32_t size;
  };
  std::vector<Entry> entries;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t name_bytes = listed.in.U32();
    Entry entry;
    entry.attributes = listed.in.U32();
    entry.size = listed.in.U32();
    entry.name = listed.in.Utf16(name_bytes / 2);
    ASSERT_TRUE(listed.in.ok());
    ASSERT_EQ(entry.name.back(), u'\0') << "the name's size counts its NUL";
    entry.name.pop_back();
    entries.push_back(entry);
  }
  EXPECT_EQ(listed.in.left(), 0u);
  EXPECT_EQ(entries[0].name, u"A.ARR");
  EXPECT_EQ(entries[0].size, 3u);
  EXPECT_EQ(entries[1].name, u"Bee.ARR");
  EXPECT_EQ(entries[1].size, 5u);
  EXPECT_EQ(entries[2].name, u"Sub");
  EXPECT_EQ(entries[2].attributes & kAttributeDirectory, kAttributeDirectory);

  Reply folders =
      Must(Request(kCmdFindAllFiles).String(u"\\Sync\\*").U32(kFafName | kFafFoldersOnly));
  ASSERT_EQ(folders.in.U32(), 1u);
  EXPECT_EQ(folders.in.U32(), 8u);
  EXPECT_EQ(folders.in.Utf16(4), std::u16string(u"Sub\0", 4));
}

TEST_F(HandheldRapiTest, RegistryIsOpenedQueriedSetAndCreated) {
  session = DockAndOpen();
  ASSERT_TRUE(session);
  Reply opened = Must(Request(kCmdRegOpenKeyEx).U32(kHklm).String(u"Software\\Brenok\\ZAMO"));
  ASSERT_EQ(opened.rv, 0u);
  const std::uint32_t key = opened.in.U32();

  Reply state = Must(Request(kCmdRegQueryValueEx).U32(key).String(u"DBState").U32(64));
  ASSERT_EQ(state.rv, 0u);
  EXPECT_EQ(state.in.U32(), kRegDword);
  ASSERT_EQ(state.in.U32(), 4u);
  EXPECT_EQ(state.in.U32(), 3u);

  Reply set =
      Must(Request(kCmdRegSetValueEx).U32(key).String(u"DBState").U32(kRegDword).U32(4).U32(0));
  EXPECT_EQ(set.rv, 0u);
  Reply probe = Must(Request(kCmdRegQueryValueEx).U32(key).String(u"DBState").U32(0));
  EXPECT_EQ(probe.rv, 0u);
  EXPECT_EQ(probe.in.U32(), kRegDword);
  EXPECT_EQ(probe.in.U32(), 4u);
  EXPECT_EQ(probe.in.left(), 0u) << "a probe gets no data";
  Reply small = Must(Request(kCmdRegQueryValueEx).U32(key).String(u"DBState").U32(2));
  EXPECT_EQ(small.rv, kErrorMoreData);
  Reply missing = Must(Request(kCmdRegQueryValueEx).U32(key).String(u"Nothing").U32(64));
  EXPECT_EQ(missing.rv, kErrorFileNotFound);
  EXPECT_EQ(Must(Request(kCmdRegCloseKey).U32(key)).rv, 0u);

  Reply made = Must(Request(kCmdRegCreateKeyEx).U32(kHklm).String(u"Software\\New").NullString());
  ASSERT_EQ(made.rv, 0u);
  const std::uint32_t new_key = made.in.U32();
  EXPECT_EQ(made.in.U32(), 1u) << "created";
  EXPECT_EQ(Must(Request(kCmdRegCloseKey).U32(new_key)).rv, 0u);
  EXPECT_EQ(Must(Request(kCmdRegOpenKeyEx).U32(kHklm).String(u"Software\\Gone")).rv,
            kErrorFileNotFound);

  const std::string reg = world.DeviceReg();
  EXPECT_NE(reg.find("HKEY_LOCAL_MACHINE\\Software\\New"), std::string::npos) << reg;
  EXPECT_NE(reg.find("\"DBState\"=dword:00000000"), std::string::npos) << reg;
}

TEST_F(HandheldRapiTest, FurtherCallsAreAnswered) {
  world.AddDeviceFile("\\Docs\\One.txt", "1");
  world.AddDeviceFile("\\Docs\\Two.txt", "22");
  world.AddDeviceFolder("\\Empty");
  world.AddDeviceFile("\\Full\\X", "x");
  session = DockAndOpen();
  ASSERT_TRUE(session);

  Reply first = Must(Request(kCmdFindFirstFile).String(u"\\Docs\\*.txt"));
  const std::uint32_t search = first.rv;
  ASSERT_NE(search, 0xFFFFFFFFu);
  ASSERT_EQ(first.in.U32(), 560u);
  const auto record = first.in.Bytes(560);
  ASSERT_TRUE(first.in.ok());
  EXPECT_EQ(record[32], 1) << "size low of One.txt";
  EXPECT_EQ(WireReader(record.subspan(40)).Utf16(8), std::u16string(u"One.txt\0", 8));
  Reply next = Must(Request(kCmdFindNextFile).U32(search));
  EXPECT_EQ(next.rv, 1u);
  next.in.U32();
  EXPECT_EQ(WireReader(next.in.Bytes(560).subspan(40)).Utf16(7), u"Two.txt");
  Reply end = Must(Request(kCmdFindNextFile).U32(search));
  EXPECT_EQ(end.rv, 0u);
  EXPECT_EQ(end.le, kErrorNoMoreFiles);
  EXPECT_EQ(Must(Request(kCmdFindClose).U32(search)).rv, 1u);
  Reply none = Must(Request(kCmdFindFirstFile).String(u"\\Docs\\*.zzz"));
  EXPECT_EQ(none.rv, 0xFFFFFFFFu);
  EXPECT_EQ(none.le, kErrorNoMoreFiles);

  EXPECT_EQ(Must(Request(kCmdRemoveDirectory).String(u"\\Empty")).rv, 1u);
  EXPECT_FALSE(world.DeviceHas("\\Empty"));
  Reply full = Must(Request(kCmdRemoveDirectory).String(u"\\Full"));
  EXPECT_EQ(full.rv, 0u);
  EXPECT_EQ(full.le, kErrorDirNotEmpty);
  EXPECT_TRUE(world.DeviceHas("\\Full\\X"));

  EXPECT_EQ(Must(Request(kCmdMoveFile).String(u"\\Full\\X").String(u"\\Docs\\Y")).rv, 1u);
  EXPECT_EQ(world.DeviceFile("\\Docs\\Y"), "x");

  Reply version = Must(Request(kCmdGetVersionEx));
  EXPECT_EQ(version.rv, 1u);
  EXPECT_EQ(version.in.U32(), 276u);
  EXPECT_EQ(version.in.U32(), 276u);
  EXPECT_EQ(version.in.U32(), 5u);
  EXPECT_EQ(version.in.U32(), 2u);
  EXPECT_EQ(version.in.U32(), 15000u);
  EXPECT_EQ(version.in.U32(), 3u);
  version.in.Skip(256);
  EXPECT_TRUE(version.in.ok());
  EXPECT_EQ(version.in.left(), 0u);

  Reply store = Must(Request(kCmdGetStoreInformation));
  EXPECT_EQ(store.rv, 1u);
  const std::uint32_t size = store.in.U32();
  const std::uint32_t free = store.in.U32();
  EXPECT_GT(size, 0u);
  EXPECT_LE(free, size);

  const auto power = Call(session, Request(kCmdGetSystemPowerStatusEx).U32(1));
  ASSERT_TRUE(power);
  ASSERT_EQ(power->size(), 28u) << "rv and 24 bytes, no last error";
  EXPECT_EQ(WireReader(*power).U32(), 1u);
  EXPECT_EQ((*power)[4], 1) << "on AC power";

  Reply folder = Must(Request(kCmdGetSpecialFolderPath).U32(5).U32(260));
  EXPECT_EQ(folder.le, 0u);
  ASSERT_EQ(folder.rv, 13u) << "characters";
  EXPECT_EQ(folder.in.Utf16(13), u"\\My Documents");
  EXPECT_EQ(Must(Request(kCmdGetSpecialFolderPath).U32(5).U32(5)).le, 122u);

  const auto system = Call(session, Request(kCmdGetSystemInfo).U32(1).U32(36).U32(0));
  ASSERT_TRUE(system);
  ASSERT_EQ(system->size(), 40u) << "le and the 36-byte record";
  WireReader info(*system);
  info.Skip(4 + 24);
  EXPECT_EQ(info.U32(), 0xA11u);
}

TEST_F(HandheldRapiTest, UnknownCommandIsNotImplementedAndAnOversizedRequestEndsTheSession) {
  session = DockAndOpen();
  ASSERT_TRUE(session);
  Reply unknown = Must(Request(0x99).U32(1).U32(2));
  EXPECT_EQ(unknown.le, kErrorCallNotImplemented);
  EXPECT_EQ(unknown.rv, 0u);

  WireWriter over;
  over.U32(kMaxFrame + 1).U32(kCmdGetVersionEx);
  ASSERT_TRUE(SendWithin(session, over.bytes()));
  EXPECT_TRUE(ClosedWithNothing(session));
  WireWriter broken = Request(kCmdDeleteFile);
  Socket again = desktop.OpenSession(2);
  ASSERT_TRUE(again);
  broken.U32(400);  // a string longer than the frame
  EXPECT_FALSE(Call(again, std::move(broken)));
  Socket third = desktop.OpenSession(3);
  ASSERT_TRUE(third);
  EXPECT_TRUE(Call(third, Request(kCmdGetVersionEx))) << "the handheld goes on serving";
}

}  // namespace
}  // namespace zp::test
