// The progress dialog on the real controls (needs a display: the tests run under Xvfb).
#include "platform/win32/windows_api.h"

// commctrl.h needs what windows.h declares.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "report/progress.h"
#include "report/progress_dialog.h"

namespace zp::test {
namespace {

class ProgressDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgressInstance(GetModuleHandleA(nullptr));
    previous_ = SetProgressRenderer(MakeDialogRenderer());
  }
  void TearDown() override {
    DestroyProgress();
    SetProgressRenderer(std::move(previous_));
  }

  static HWND Dialog() { return static_cast<HWND>(CurrentProgressHandle()); }
  static HWND Control(int id) { return GetDlgItem(Dialog(), id); }
  static RECT Rect(int id) {
    RECT r{};
    GetWindowRect(Control(id), &r);
    return r;
  }
  static bool BarShown() { return IsWindowVisible(Control(kProgressBar)) != FALSE; }
  static int BarPosition() {
    return static_cast<int>(SendMessageA(Control(kProgressBar), PBM_GETPOS, 0, 0));
  }
  static std::string Status() {
    char text[256] = {};
    GetDlgItemTextA(Dialog(), kStatusControl, text, sizeof text);
    return text;
  }

 private:
  std::unique_ptr<ProgressRenderer> previous_;
};

TEST_F(ProgressDialog, TheStatusLineCoversTheBarsPlaceWhileTheBarIsHidden) {
  CreateProgress(nullptr, "Connecting to PocketPC...", 0);
  ASSERT_NE(Dialog(), nullptr) << "no dialog: is there a display?";
  EXPECT_NE(GetWindowLongA(Dialog(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_EQ(Status(), "Connecting to PocketPC...");
  EXPECT_FALSE(BarShown());
  const RECT alone = Rect(kStatusControl);

  SetProgressRange(1000);  // the bar appears; the status line takes its own place again
  EXPECT_TRUE(BarShown());
  const RECT with_bar = Rect(kStatusControl);
  const RECT bar = Rect(kProgressBar);
  EXPECT_EQ(with_bar.right - with_bar.left, alone.right - alone.left);
  EXPECT_EQ(with_bar.top, alone.top);
  EXPECT_LT(with_bar.bottom, bar.top);
  // Hidden, the status line reaches down to the bar's bottom edge (one past it).
  EXPECT_EQ(alone.bottom, bar.bottom + 1);

  SetProgressRange(2000);  // a new total while shown: the size stays
  EXPECT_EQ(Rect(kStatusControl).bottom, with_bar.bottom);
  SetProgressRange(0);
  EXPECT_FALSE(BarShown());
  EXPECT_EQ(Rect(kStatusControl).bottom, alone.bottom);
  SetProgressRange(0);  // already hidden: nothing changes
  EXPECT_EQ(Rect(kStatusControl).bottom, alone.bottom);

  SetProgressText("Copied successfully\r\n");  // the text as it is given
  EXPECT_EQ(Status(), "Copied successfully\r\n");
}

TEST_F(ProgressDialog, TheBarShowsThePositionOfTheRules) {
  CreateProgress(nullptr, "", 1000);
  ASSERT_NE(Dialog(), nullptr);
  EXPECT_TRUE(BarShown());
  EXPECT_EQ(BarPosition(), 0);
  StepProgress(250);
  EXPECT_EQ(BarPosition(), 25);
  StepProgress(100000);  // more than the total fills the bar and no more
  EXPECT_EQ(BarPosition(), 100);
  SetProgressRange(2000);  // a new total keeps the position
  EXPECT_EQ(BarPosition(), 100);

  CreateProgress(nullptr, "", 1000000);
  for (int i = 0; i < 10; ++i) StepProgress(16384);
  EXPECT_EQ(BarPosition(), CurrentProgress()->position());
  EXPECT_GT(BarPosition(), 0);
}

// The private messages 0x400..0x402 are also the dialog manager's
// DM_GETDEFID, DM_SETDEFID and DM_REPOSITION; the last would move a dialog
// that stands partly off the screen back onto it.
TEST_F(ProgressDialog, ThePrivateMessagesAreTheDialogsOwnAndNeverMoveIt) {
  CreateProgress(nullptr, "", 1000);
  ASSERT_NE(Dialog(), nullptr);
  SetWindowPos(Dialog(), nullptr, -60, -30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT before{};
  GetWindowRect(Dialog(), &before);
  ASSERT_EQ(before.left, -60);
  for (const UINT message : {kMsgSetText, kMsgSetRange, kMsgSetPos}) {
    SendMessageA(Dialog(), message, 0, 0);
  }
  SetProgressRange(2000);
  StepProgress(500);
  RECT after{};
  GetWindowRect(Dialog(), &after);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
  EXPECT_EQ(BarPosition(), 25);
}

// The program runs no message loop: at every step, and between the steps
// of work that moves no bar, what was posted or sent to the window is
// handled. A window whose thread leaves its messages waiting for 5 s is
// marked not responding and painted over with a ghost.
TEST_F(ProgressDialog, WhatIsPostedOrSentToTheWindowIsHandledAtEveryStepAndBetween) {
  CreateProgress(nullptr, "Copying arrays", 1000);
  ASSERT_NE(Dialog(), nullptr);
  MSG waiting;
  PostMessageA(Dialog(), WM_NULL, 0, 0);
  StepProgress(10);
  EXPECT_FALSE(PeekMessageA(&waiting, nullptr, 0, 0, PM_NOREMOVE));
  PostMessageA(Dialog(), WM_NULL, 0, 0);
  KeepProgressAnswering();
  EXPECT_FALSE(PeekMessageA(&waiting, nullptr, 0, 0, PM_NOREMOVE));

  // Another program asks whether the window answers, while a delete pass
  // goes on here.
  std::atomic<bool> asked{false};
  bool answered = false;
  const HWND dialog = Dialog();
  std::thread other([&] {
    DWORD_PTR result = 0;
    answered = SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result) != 0;
    asked = true;
  });
  while (!asked) KeepProgressAnswering();
  other.join();
  EXPECT_TRUE(answered);
}

TEST_F(ProgressDialog, DestroyRemovesTheCurrentDialogOnlyAndNothingHappensAfter) {
  CreateProgress(nullptr, "first", 0);
  const HWND first = Dialog();
  CreateProgress(nullptr, "second", 100);  // lies over the first
  const HWND second = Dialog();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  DestroyProgress();
  EXPECT_FALSE(IsWindow(second));
  EXPECT_TRUE(IsWindow(first));  // left as it was, under where the second stood
  EXPECT_EQ(Dialog(), nullptr);
  SetProgressText("after");
  SetProgressRange(10);
  StepProgress(5);
  EXPECT_EQ(CurrentProgress(), nullptr);
  char text[32] = {};
  GetDlgItemTextA(first, kStatusControl, text, sizeof text);
  EXPECT_STREQ(text, "first");
}

}  // namespace
}  // namespace zp::test
