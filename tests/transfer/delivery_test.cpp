#include "transfer/delivery.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "report/progress.h"
#include "support/handheld_test.h"

namespace zp {
namespace {

class Delivery : public test::HandheldTest {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(desktop.dir().path() / "c/T");
    window = CreateProgress(nullptr, "", 0);
  }
  void TearDown() override { DestroyProgress(); }
  bool Run() { return CopyFilesToPocket(device(), "c:\\T\\", sync, sent); }
  static std::string Sync(const std::string& name) { return test::kSync + name; }
  void OldDeviceFiles() {
    PutDeviceFile(Sync("OLD1.TMT"), "old template 1");
    PutDeviceFile(Sync("OLD2.TMT"), "old template 2");
    PutDeviceFile(Sync("OLD.CLS"), "old classifier");
    PutDeviceFile(Sync("KEEP.ARR"), "an array");
  }

  const std::u16string sync = u"\\My Documents\\Personal\\ZAMO\\Sync\\";
  SentFiles sent;
  ProgressWindow* window = nullptr;
};

TEST_F(Delivery, ReplacesTheDevicesFilesClassifiersFirstAndLogsEachCopy) {
  OldDeviceFiles();
  MakeDeviceFolder(Sync("FOLDER.CLS"));
  desktop.Write("c/T/b.cls", "classifier b");
  desktop.Write("c/T/A.CLS", "classifier a");
  desktop.Write("c/T/S.TMT", std::string(20000, 's'));
  desktop.Write("c/T/notes.txt", "not for the device");
  device().KeepJournal();
  StartLog();
  ASSERT_TRUE(Run());
  EXPECT_FALSE(DeviceHas(Sync("OLD1.TMT")));
  EXPECT_FALSE(DeviceHas(Sync("OLD.CLS")));
  EXPECT_TRUE(DeviceHas(Sync("FOLDER.CLS")));  // a folder is left alone
  EXPECT_TRUE(DeviceHas(Sync("KEEP.ARR")));
  EXPECT_EQ(DeviceFile(Sync("A.CLS")), "classifier a");
  EXPECT_EQ(DeviceFile(Sync("b.cls")), "classifier b");
  EXPECT_EQ(DeviceFile(Sync("S.TMT")), std::string(20000, 's'));
  EXPECT_FALSE(DeviceHas(Sync("notes.txt")));
  EXPECT_EQ(Log(),
            "Copying classifier 'c:\\T\\A.CLS' to '\\My Documents\\Personal\\ZAMO\\Sync\\A.CLS'\r\n"
            "Copied successfully\r\n\r\n"
            "Copying classifier 'c:\\T\\b.cls' to '\\My Documents\\Personal\\ZAMO\\Sync\\b.cls'\r\n"
            "Copied successfully\r\n\r\n"
            "Copying template 'c:\\T\\S.TMT' to '\\My Documents\\Personal\\ZAMO\\Sync\\S.TMT'\r\n"
            "Copied successfully\r\n\r\n");
  EXPECT_EQ(window->status(), "Copied successfully ");
  EXPECT_EQ(window->total(), 20000 + 24);  // the desktop files only
  EXPECT_EQ(window->position(), 100);      // every byte sent
  EXPECT_FALSE(window->bar_visible());
  EXPECT_EQ(sent, (SentFiles{"A.CLS", "b.cls", "S.TMT"}));
  EXPECT_EQ(device().OpenBuffers(), 0u);

  // The deletions ran templates first, then classifiers, before any copy.
  std::vector<std::string> order;
  for (const std::string& line : device().journal()) {
    if (line.starts_with("CeDeleteFile") || line.starts_with("CeCreateFile")) {
      order.push_back(line.substr(0, line.find(' ')) + line.substr(line.rfind('\\')));
    }
  }
  EXPECT_EQ(order, (std::vector<std::string>{"CeDeleteFile\\OLD1.TMT", "CeDeleteFile\\OLD2.TMT",
                                             "CeDeleteFile\\OLD.CLS", "CeCreateFile\\A.CLS",
                                             "CeCreateFile\\b.cls", "CeCreateFile\\S.TMT"}));
}

TEST_F(Delivery, WithoutATemplateTheDeviceIsNotTouched) {
  OldDeviceFiles();
  desktop.Write("c/T/A.CLS", "waiting classifier");
  device().KeepJournal();
  StartLog();
  EXPECT_TRUE(Run());
  EXPECT_TRUE(device().journal().empty());
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(window->status(), "");
  EXPECT_TRUE(sent.empty());
  // The classifier waits for a session that has a template to send.
  DeleteSentFiles("c:\\T\\", sent);
  EXPECT_TRUE(desktop.Exists("c/T/A.CLS"));
}

TEST_F(Delivery, TemplatesOnlyClearBothKindsAndNeverShowClassifiers) {
  OldDeviceFiles();
  desktop.Write("c/T/S.TMT", "template");
  struct Statuses : ProgressRenderer {
    std::vector<std::string>* seen;
    explicit Statuses(std::vector<std::string>* s) : seen(s) {}
    void Created(const ProgressWindow&) override {}
    void Repaint(const ProgressWindow& w) override {
      if (seen->empty() || seen->back() != w.status()) seen->push_back(w.status());
    }
    void Destroyed(const ProgressWindow&) override {}
  };
  std::vector<std::string> seen;
  SetProgressRenderer(std::make_unique<Statuses>(&seen));
  const bool ok = Run();
  SetProgressRenderer(nullptr);
  ASSERT_TRUE(ok);
  EXPECT_FALSE(DeviceHas(Sync("OLD.CLS")));
  EXPECT_FALSE(DeviceHas(Sync("OLD1.TMT")));
  EXPECT_EQ(DeviceFile(Sync("S.TMT")), "template");
  EXPECT_EQ(seen, (std::vector<std::string>{"Copying files to PocketPC", "Copying templates",
                                            "Copied successfully "}));
}

TEST_F(Delivery, ASecondDeleteRefusedStopsBeforeAnyCopy) {
  OldDeviceFiles();
  desktop.Write("c/T/S.TMT", "template");
  desktop.Write("c/T/A.CLS", "classifier");
  device().faults().Fail("CeDeleteFile", "*OLD2.TMT");
  StartLog();
  EXPECT_FALSE(Run());
  EXPECT_FALSE(DeviceHas(Sync("OLD1.TMT")));
  EXPECT_TRUE(DeviceHas(Sync("OLD2.TMT")));
  EXPECT_TRUE(DeviceHas(Sync("OLD.CLS")));
  EXPECT_FALSE(DeviceHas(Sync("S.TMT")));
  EXPECT_FALSE(DeviceHas(Sync("A.CLS")));
  EXPECT_EQ(Log(), "Cannot delete remote file \\My Documents\\Personal\\ZAMO\\Sync\\OLD2.TMT\r\n");
  EXPECT_FALSE(window->bar_visible());
  EXPECT_EQ(device().OpenBuffers(), 0u);
}

TEST_F(Delivery, AFailedClassifierCopyStopsThePassAndSendsNoTemplate) {
  OldDeviceFiles();
  desktop.Write("c/T/A.CLS", "classifier a");
  desktop.Write("c/T/B.CLS", "classifier b");
  desktop.Write("c/T/C.CLS", "classifier c");
  desktop.Write("c/T/S.TMT", "template");
  device().faults().Fail("CeCreateFile", "*B.CLS");
  StartLog();
  EXPECT_FALSE(Run());
  EXPECT_TRUE(DeviceHas(Sync("A.CLS")));
  EXPECT_FALSE(DeviceHas(Sync("C.CLS")));
  EXPECT_FALSE(DeviceHas(Sync("S.TMT")));
  EXPECT_FALSE(DeviceHas(Sync("OLD1.TMT")));  // the old templates are gone already
  EXPECT_TRUE(Log().ends_with(
      "Copying classifier 'c:\\T\\B.CLS' to '\\My Documents\\Personal\\ZAMO\\Sync\\B.CLS'\r\n"
      "Failed to copy\r\n\r\n"));
  EXPECT_EQ(sent, (SentFiles{"A.CLS"}));
}

// A handheld file whose close fails may not hold what was written: the
// copy failed, the pass stops, and the desktop's file is not counted as
// sent, so it stays in ToPocket for the next session.
TEST_F(Delivery, AHandheldFileThatCannotBeClosedIsAFailedCopy) {
  desktop.Write("c/T/A.CLS", "classifier a");
  desktop.Write("c/T/B.CLS", "classifier b");
  desktop.Write("c/T/S.TMT", "template");
  device().faults().Fail("CeCloseHandle", "*B.CLS");
  StartLog();
  EXPECT_FALSE(Run());
  EXPECT_EQ(Log(),
            "Copying classifier 'c:\\T\\A.CLS' to '\\My Documents\\Personal\\ZAMO\\Sync\\A.CLS'\r\n"
            "Copied successfully\r\n\r\n"
            "Copying classifier 'c:\\T\\B.CLS' to '\\My Documents\\Personal\\ZAMO\\Sync\\B.CLS'\r\n"
            "Failed to copy\r\n\r\n");
  EXPECT_EQ(sent, (SentFiles{"A.CLS"}));
  EXPECT_FALSE(DeviceHas(Sync("S.TMT")));
  EXPECT_EQ(device().OpenHandles(), 0u);
  DeleteSentFiles("c:\\T\\", sent);
  EXPECT_FALSE(desktop.Exists("c/T/A.CLS"));
  EXPECT_EQ(desktop.Read("c/T/B.CLS"), "classifier b");
  EXPECT_EQ(desktop.Read("c/T/S.TMT"), "template");
}

TEST_F(Delivery, AFolderNamedLikeAClassifierCountsAndFailsTheCopy) {
  desktop.Write("c/T/S.TMT", "template");
  std::filesystem::create_directories(desktop.dir().path() / "c/T/DIR.CLS");
  EXPECT_FALSE(Run());
  EXPECT_FALSE(DeviceHas(Sync("S.TMT")));
}

TEST_F(Delivery, ARemoteFolderThatCannotBeMadeIsLoggedAndShown) {
  desktop.Write("c/T/S.TMT", "template");
  PutDeviceFile("\\My Documents\\Personal", "a file in the way");
  StartLog();
  EXPECT_FALSE(Run());
  EXPECT_EQ(Log(), "Cannot create remote path: \\My Documents\\Personal\r\n");
  EXPECT_EQ(window->status(), "Cannot create remote path: \\My Documents\\Personal");
}

TEST_F(Delivery, AFailedClassifierListingComesAfterTheTemplatesAreGone) {
  OldDeviceFiles();
  desktop.Write("c/T/S.TMT", "template");
  device().faults().Fail("CeFindAllFiles", "*.CLS");
  StartLog();
  EXPECT_FALSE(Run());
  EXPECT_EQ(Log(), "*** CeFindAllFiles failed. ***\n\r\n");
  EXPECT_FALSE(DeviceHas(Sync("OLD1.TMT")));
  EXPECT_TRUE(DeviceHas(Sync("OLD.CLS")));
  EXPECT_FALSE(DeviceHas(Sync("S.TMT")));
}

TEST_F(Delivery, NamesOutsideAsciiKeepTheirCharacters) {
  desktop.Write("c/T/\xc3\x84rzte \xe2\x82\xac.TMT", "template");  // "Ärzte €.TMT"
  StartLog();
  ASSERT_TRUE(Run());
  EXPECT_EQ(DeviceFile(Sync("\xc3\x84rzte \xe2\x82\xac.TMT")), "template");
  EXPECT_NE(Log().find("to '\\My Documents\\Personal\\ZAMO\\Sync\\\xc3\x84rzte \xe2\x82\xac.TMT'"),
            std::string::npos);
}

// What the ANSI listing gives for "Tr\u0101ce.CLS" when the code page has no
// "\u0101": "Tr?ce.CLS". Delivered, it would be another file on the
// handheld, or none; its '?' would match other names there.
TEST_F(Delivery, ANameTheCodePageCannotCarryIsRefusedBeforeTheHandheldChanges) {
  OldDeviceFiles();
  desktop.Write("c/T/S.TMT", "template");
  desktop.Write("c/T/Tr?ce.CLS", "classifier");
  StartLog();
  EXPECT_FALSE(Run());
  EXPECT_EQ(Log(),
            "Cannot deliver c:\\T\\Tr?ce.CLS: its name has characters the desktop's code page "
            "cannot hold\r\n");
  EXPECT_EQ(DeviceFile(Sync("OLD1.TMT")), "old template 1");
  EXPECT_EQ(DeviceFile(Sync("OLD.CLS")), "old classifier");
  EXPECT_FALSE(DeviceHas(Sync("S.TMT")));
  EXPECT_TRUE(sent.empty());
}

// Unreadable is not empty: nothing waiting would clear the device's files
// and report success.
TEST_F(Delivery, AToPocketThatCannotBeListedFailsThePassAndTouchesNothing) {
  std::filesystem::remove(desktop.dir().path() / "c/T");
  desktop.Write("c/T", "a file where the folder belongs");
  OldDeviceFiles();
  StartLog();
  EXPECT_FALSE(Run());
  EXPECT_TRUE(DeviceHas(Sync("OLD1.TMT")));
  EXPECT_TRUE(DeviceHas(Sync("OLD.CLS")));
  EXPECT_EQ(Log(), "Cannot list c:\\T\\: The system cannot find the path specified.\r\n\r\n");
  StartLog();
  EXPECT_TRUE(DeleteSentFiles("c:\\T\\", {"A.CLS"}));
  EXPECT_EQ(Log(),
            "Cannot list c:\\T\\: The system cannot find the path specified.\r\n\r\n"
            "Cannot list c:\\T\\: The system cannot find the path specified.\r\n\r\n");
  EXPECT_EQ(desktop.Read("c/T"), "a file where the folder belongs");
}

TEST_F(Delivery, DeleteSentFilesRemovesOnlyWhatWasDelivered) {
  desktop.Write("c/T/A.CLS", "sent");
  desktop.Write("c/T/S.TMT", "sent");
  desktop.Write("c/T/NEW.TMT", "arrived after the pass");
  desktop.Write("c/T/other.txt", "not ours");
  EXPECT_TRUE(DeleteSentFiles("c:\\T\\", {"A.CLS", "S.TMT"}));
  EXPECT_FALSE(desktop.Exists("c/T/A.CLS"));
  EXPECT_FALSE(desktop.Exists("c/T/S.TMT"));
  EXPECT_TRUE(desktop.Exists("c/T/NEW.TMT"));
  EXPECT_TRUE(desktop.Exists("c/T/other.txt"));
  EXPECT_TRUE(DeleteSentFiles("c:\\empty\\", {}));
}

}  // namespace
}  // namespace zp
