#include "report/log.h"

#include <gtest/gtest.h>

#include "platform/name_rules.h"
#include "platform/platform.h"
#include "report/device_text.h"
#include "report/progress.h"
#include "support/desktop_env.h"
#include "support/world_texts.h"

namespace zp {
namespace {

using test::kStart;
using test::kStop;

TEST(Log, WritersBannersAndLineEndsByteForByte) {
  test::DesktopEnv desktop;
  ASSERT_TRUE(StartLogging("c:\\"));
  CreateProgress(nullptr, "", 0);
  EXPECT_TRUE(LogStatus("Copied successfully\r\n"));
  EXPECT_EQ(CurrentProgress()->status(), "Copied successfully ");
  EXPECT_TRUE(LogText("*** CeFindAllFiles failed. ***\n"));
  EXPECT_TRUE(LogText("Copying file %s to %s", "\\A.ARR", "c:\\x\\ARR00001.ARR"));
  EXPECT_TRUE(LogError(2, "GetRegState: Error accessing remote registry"));
  EXPECT_TRUE(LogError(0xDEAD, "x"));
  // LogText never touches the status line.
  EXPECT_EQ(CurrentProgress()->status(), "Copied successfully ");
  DestroyProgress();
  StopLogging();
  EXPECT_FALSE(LogText("after the stop"));  // the log is closed: nothing more goes in

  const std::string expected = std::string(kStart) + "Copied successfully\r\n\r\n" +
                               "*** CeFindAllFiles failed. ***\n\r\n" +
                               "Copying file \\A.ARR to c:\\x\\ARR00001.ARR\r\n" +
                               "GetRegState: Error accessing remote registry: " +
                               "The system cannot find the file specified.\r\n\r\n" +
                               "x: Unknown error 0x0000dead\r\n" + kStop;
  EXPECT_EQ(desktop.Read("c/zamopocket.log"), expected);
}

// A session killed at any point once its handheld is known leaves every
// entry it wrote, each whole; before, it has written nothing.
TEST(Log, EachEntryIsInTheFileAsSoonAsItIsWritten) {
  test::DesktopEnv desktop;
  ASSERT_TRUE(StartLogging("c:\\"));
  LogText("Unlock the handheld to continue...");
  EXPECT_EQ(desktop.Read("c/zamopocket.log"), "");
  LogForDevice("Field");
  EXPECT_EQ(desktop.Read("c/zamopocket.log"),
            std::string(kStart) + "Unlock the handheld to continue...\r\n");
  const std::string start = desktop.Read("c/zamopocket.log");
  LogText("Copying file %s to %s", "\\A.ARR", "c:\\ARR00001.ARR");
  EXPECT_EQ(desktop.Read("c/zamopocket.log"),
            start + "Copying file \\A.ARR to c:\\ARR00001.ARR\r\n");
  LogError(2, "%s", std::string(3000, 'x').c_str());  // longer than any buffer
  LogStatus("Failed to connect");
  const std::string log = desktop.Read("c/zamopocket.log");
  EXPECT_TRUE(log.ends_with(std::string(3000, 'x') +
                            ": The system cannot find the file specified.\r\n\r\n"
                            "Failed to connect\r\n"))
      << log;
  StopLogging();
}

// Sessions of two handhelds at once: the one without the log's turn writes
// each line into its side log as it comes, and adds its session whole to
// the log when the turn is its; a side log left by a session that was
// killed is added by that handheld's next session, before its own lines.
TEST(Log, ASessionWithoutTheTurnKeepsItsLinesBesideTheLogAndAddsThemWhole) {
  test::DesktopEnv desktop;
  desktop.Write("c/ZAMO/zamopocket.log", "");
  // The other session: its turn, and a line of it in the log.
  DesktopLock other = TakeDesktopLock("log." + FoldedKey("C:\\zamo\\"), 0);
  ASSERT_TRUE(other);
  ASSERT_TRUE(StartLogging("c:\\ZAMO\\"));
  LogText("before the handheld is known");
  LogForDevice("Field");
  LogText("Copying file %s", "\\A.ARR");
  const std::string mine =
      std::string(kStart) + "before the handheld is known\r\n" + "Copying file \\A.ARR\r\n";
  EXPECT_EQ(desktop.Read("c/ZAMO/zamopocket-Field.log"), mine);
  EXPECT_EQ(desktop.Read("c/ZAMO/zamopocket.log"), "");
  other = DesktopLock();
  StopLogging();
  EXPECT_EQ(desktop.Read("c/ZAMO/zamopocket.log"), mine + kStop);
  EXPECT_FALSE(desktop.Exists("c/ZAMO/zamopocket-Field.log"));

  desktop.Write("c/ZAMO/zamopocket-Field.log", "a session that was killed\r\n");
  ASSERT_TRUE(StartLogging("c:\\ZAMO\\"));
  LogForDevice("Field");  // the turn is free: straight into the log
  EXPECT_EQ(desktop.Read("c/ZAMO/zamopocket.log"),
            mine + kStop + "a session that was killed\r\n" + kStart);
  EXPECT_FALSE(desktop.Exists("c/ZAMO/zamopocket-Field.log"));
  StopLogging();

  // A session that serves no handheld writes nothing.
  ASSERT_TRUE(StartLogging("c:\\ZAMO\\"));
  LogText("Successfully connected to Field");
  DiscardLog();
  EXPECT_EQ(desktop.Read("c/ZAMO/zamopocket.log"),
            mine + kStop + "a session that was killed\r\n" + kStart + kStop);
}

TEST(Log, SecondRunAppendsAfterTheFirst) {
  test::DesktopEnv desktop;
  desktop.Write("c/data/zamopocket.log", "earlier run\n");
  ASSERT_TRUE(StartLogging("c:\\data\\"));
  StopLogging();
  ASSERT_TRUE(StartLogging("c:\\data\\"));
  StopLogging();
  EXPECT_EQ(desktop.Read("c/data/zamopocket.log"),
            "earlier run\n" + std::string(kStart) + kStop + kStart + kStop);
}

TEST(Log, WithoutALogWritersDoNothingAndStatusStillShows) {
  test::DesktopEnv desktop;
  EXPECT_FALSE(StartLogging("c:\\missing\\folder\\"));
  EXPECT_FALSE(LogText("lost"));
  EXPECT_FALSE(LogError(5, "lost"));
  CreateProgress(nullptr, "", 0);
  EXPECT_TRUE(LogStatus("Failed to connect"));
  EXPECT_EQ(CurrentProgress()->status(), "Failed to connect");
  DestroyProgress();
  StopLogging();  // nothing open: no effect
  EXPECT_FALSE(desktop.Exists("c/missing"));
}

TEST(Log, PathThatDoesNotFitIsRefusedAndLongStatusIsCut) {
  test::DesktopEnv desktop;
  // The log path needs 263 bytes with its terminator.
  std::string root = "c:\\" + std::string(244, 'd') + "\\";
  ASSERT_EQ((root + "zamopocket.log").size(), 262u);
  EXPECT_FALSE(StartLogging(root));

  ASSERT_TRUE(StartLogging("c:\\"));
  CreateProgress(nullptr, "", 0);
  const std::string text(3000, 'x');
  LogStatus("%s", text.c_str());
  EXPECT_EQ(CurrentProgress()->status().size(), 1023u);
  DestroyProgress();
  StopLogging();
  EXPECT_EQ(desktop.Read("c/zamopocket.log"),
            std::string(kStart) + std::string(1023, 'x') + "\r\n" + kStop);
}

TEST(DeviceText, WhatADeviceSaysCannotBreakOrForgeALine) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"Field", "Field"},
      {u"Evil\n[HKEY_CURRENT_USER]\r\n", "Evil\\x0A[HKEY_CURRENT_USER]\\x0D\\x0A"},
      {u"a\\b", "a\\\\b"},  // a backslash of its own is doubled
      {u"del\x7F c1\x85", "del\\x7F c1\\u0085"},
      {u"ls\u2028ps\u2029", "ls\\u2028ps\\u2029"},
      {u"abc\u202Egpj.ARR", "abc\\u202Egpj.ARR"},  // shown as it is, not turned around
      {u"lone\xD800", "lone\\uD800"},
      {u"\u0416\U0001F600", "\u0416\U0001F600"},  // letters and pairs stay whole
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(DeviceText(text), shown);
  EXPECT_EQ(DeviceText(u"\\Sync\\A\nB.ARR", true), "\\Sync\\A\\x0AB.ARR");
}

}  // namespace
}  // namespace zp
