#include "report/progress.h"

#include <gtest/gtest.h>

#include <vector>

namespace zp {
namespace {

// Records what a renderer is asked to draw.
struct Recorder : ProgressRenderer {
  std::vector<std::string>* events;
  explicit Recorder(std::vector<std::string>* e) : events(e) {}
  void Created(const ProgressWindow&) override { events->push_back("created"); }
  void Repaint(const ProgressWindow& w) override {
    events->push_back("paint " + w.status() + (w.bar_visible() ? " bar " : " nobar ") +
                      std::to_string(w.position()));
  }
  void Destroyed(const ProgressWindow&) override { events->push_back("destroyed"); }
};

class Progress : public ::testing::Test {
 protected:
  void SetUp() override { SetProgressRenderer(std::make_unique<Recorder>(&events)); }
  void TearDown() override {
    DestroyProgress();
    SetProgressRenderer(nullptr);
  }
  std::vector<std::string> events;
};

TEST_F(Progress, CreateShowsBarOnlyForANonZeroTotalAndRepaintsEachChange) {
  ProgressWindow* plain = CreateProgress(nullptr, "", 0);
  EXPECT_FALSE(plain->bar_visible());  // the status line has the window to itself
  DestroyProgress();

  ProgressWindow* w = CreateProgress(nullptr, "Installing", 1000);
  EXPECT_TRUE(w->bar_visible());
  EXPECT_EQ(w->position(), 0);
  StepProgress(500);
  EXPECT_EQ(events,
            (std::vector<std::string>{"created", "paint  nobar 0", "destroyed", "created",
                                      "paint Installing bar 0", "paint Installing bar 50"}));
}

TEST_F(Progress, AdvancesAddUpTheirBytesAndTheBarShowsTheirShare) {
  ProgressWindow* w = CreateProgress(nullptr, "", 1000000);
  for (int i = 0; i < 10; ++i) StepProgress(16384);
  EXPECT_EQ(w->position(), 16);  // 163,840 bytes are 16 percent
  EXPECT_EQ(w->bytes(), 163840u);

  StepProgress(0xFFFFFFFFu);  // far beyond the total, no overflow
  EXPECT_EQ(w->position(), 100);
  SetProgressRange(1);
  StepProgress(0xFFFFFFFFu);
  EXPECT_EQ(w->position(), 100);
}

TEST_F(Progress, BlocksTooSmallForOnePercentEachStillMoveALargeBar) {
  // 100 MB in 16 KiB blocks: each block is 0.016 percent.
  ProgressWindow* w = CreateProgress(nullptr, "", 100000000);
  int moves = 0;
  int last = 0;
  for (int i = 0; i < 3052; ++i) {
    StepProgress(16384);
    if (w->position() != last) ++moves;
    last = w->position();
  }
  EXPECT_EQ(w->position(), 50);  // 50,003,968 bytes
  EXPECT_EQ(moves, 50);
  for (int i = 0; i < 3052; ++i) StepProgress(16384);
  EXPECT_EQ(w->position(), 100);  // 100,007,936 bytes: past the total, full
}

TEST_F(Progress, SetPositionStandsForItsBytesAndAStrangeTotalLeavesTheBarEmpty) {
  ProgressWindow* w = CreateProgress(nullptr, "", 1000);
  w->SetPos(500);
  EXPECT_EQ(w->position(), 50);
  StepProgress(10);
  EXPECT_EQ(w->position(), 51);  // from the 500 bytes on, not from 0

  SetProgressRange(-5);  // a total beyond 2 GiB wrapped by 32-bit arithmetic
  StepProgress(1000);
  EXPECT_EQ(w->position(), 0);
  EXPECT_TRUE(w->bar_visible());
}

TEST_F(Progress, RangeChangesFollowTheShowHideRule) {
  ProgressWindow* w = CreateProgress(nullptr, "", 0);
  StepProgress(100);  // total 0: ignored, not even counted
  EXPECT_EQ(w->position(), 0);
  EXPECT_EQ(w->bytes(), 0u);
  SetProgressRange(0);  // already hidden: nothing changes
  EXPECT_FALSE(w->bar_visible());

  SetProgressRange(200);
  StepProgress(100);
  EXPECT_EQ(w->position(), 50);
  SetProgressRange(1000);  // new total while shown: position kept
  EXPECT_TRUE(w->bar_visible());
  EXPECT_EQ(w->total(), 1000);
  EXPECT_EQ(w->position(), 50);
  StepProgress(100);  // the next advance measures all 200 bytes by the new total
  EXPECT_EQ(w->position(), 20);
  SetProgressRange(0);
  EXPECT_FALSE(w->bar_visible());
  EXPECT_EQ(w->total(), 1000);  // hiding keeps the stored total
}

TEST_F(Progress, OnlyTheCurrentWindowChangesAndNothingAfterDestroy) {
  ProgressWindow* first = CreateProgress(nullptr, "first", 0);
  ProgressWindow* second = CreateProgress(nullptr, "second", 100);
  SetProgressText("copying");
  EXPECT_EQ(first->status(), "first");
  EXPECT_EQ(second->status(), "copying");
  SetProgressText(nullptr);
  EXPECT_EQ(second->status(), "");

  DestroyProgress();
  EXPECT_EQ(CurrentProgress(), nullptr);
  events.clear();
  SetProgressText("x");
  SetProgressRange(5);
  StepProgress(5);
  DestroyProgress();
  EXPECT_TRUE(events.empty());
}

}  // namespace
}  // namespace zp
