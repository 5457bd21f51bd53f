#include "report/progress_terminal.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace zp {
namespace {

// The terminal renderer drawing into a temporary file at a clock the test
// moves by hand.
class TerminalLine : public ::testing::Test {
 protected:
  void SetUp() override {
    out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    SetProgressRenderer(MakeTerminalRenderer(out, [this] { return now; }));
  }
  void TearDown() override {
    DestroyProgress();
    SetProgressRenderer(nullptr);
    std::fclose(out);
  }
  // Every line drawn so far, in order ("\r" starts each, "\n" ends a window).
  std::vector<std::string> Drawn() const {
    std::fflush(out);
    std::rewind(out);
    std::string text;
    for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
    std::vector<std::string> lines;
    for (char c : text) {
      if (c == '\r') {
        lines.emplace_back();
      } else if (c != '\n' && !lines.empty()) {
        lines.back() += c;
      }
    }
    return lines;
  }

  std::FILE* out = nullptr;
  double now = 100;
};

constexpr std::int32_t kMiB = 1024 * 1024;

TEST_F(TerminalLine, ARunningBarShowsBytesRateAndTimeLeftWithin80Columns) {
  CreateProgress(nullptr, "Copying arrays and a status too long to fit", 0);
  SetProgressRange(100 * kMiB);
  now += 2;
  StepProgress(10 * kMiB);
  const auto lines = Drawn();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].substr(0, 46), "Copying arrays and a status too long to fit   ");
  EXPECT_EQ(lines[1],
            "Copying arrays and a [............]   0%        0B        --/s  -:--:-- left"
            "   ");
  EXPECT_EQ(lines[2],
            "Copying arrays and a [#...........]  10%   10.0MiB    5.0MiB/s  0:00:18 left"
            "   ");
  for (const std::string& line : lines) EXPECT_LT(line.size(), 80u);
}

TEST_F(TerminalLine, FiguresAreDrawnAtMostTenTimesASecondButTextAtOnce) {
  CreateProgress(nullptr, "Copying", 1 << 30);
  const std::size_t before = Drawn().size();
  for (int i = 0; i < 1000; ++i) StepProgress(16384);  // all in one instant
  EXPECT_EQ(Drawn().size(), before);
  now += 0.125;
  StepProgress(16384);
  EXPECT_EQ(Drawn().size(), before + 1);
  EXPECT_NE(Drawn().back().find(" 15.6MiB "), std::string::npos);  // 1001 blocks

  SetProgressText("Next");  // a new status does not wait
  EXPECT_EQ(Drawn().size(), before + 2);
  SetProgressRange(0);  // nor does hiding the bar
  EXPECT_EQ(Drawn().size(), before + 3);
  EXPECT_EQ(Drawn().back(), "Next" + std::string(75, ' '));
  now += 1;
  SetProgressText("Next");  // an unchanged line is not drawn again
  EXPECT_EQ(Drawn().size(), before + 3);
}

TEST_F(TerminalLine, TheLastStateIsDrawnWhenTheWindowGoes) {
  CreateProgress(nullptr, "Copying", 1000);
  StepProgress(500);  // waits: drawn in the same instant as the window
  EXPECT_EQ(Drawn().back().find("50%"), std::string::npos);
  DestroyProgress();
  EXPECT_NE(Drawn().back().find(" 50% "), std::string::npos);
}

TEST_F(TerminalLine, TheFiguresCountFromWhenTheBarWasShown) {
  CreateProgress(nullptr, "Arrays", 1000);
  StepProgress(1000);
  SetProgressRange(0);
  SetProgressText("Templates");
  SetProgressRange(4 * 1024);
  now += 1;
  StepProgress(1024);
  // The window's bytes go on from the earlier bar; the line counts this one's.
  EXPECT_NE(Drawn().back().find("1.0KiB    1.0KiB/s  0:00:03 left"), std::string::npos);
}

}  // namespace
}  // namespace zp
