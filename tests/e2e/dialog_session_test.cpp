// The Windows program's progress dialog, looked at while a session copies.
#include <cstdlib>
#include <string>

#include "e2e/session_world.h"
#include "e2e/wine_launcher.h"
#include "session/session.h"

namespace zp::test {
namespace {

// "name=value" lines of the probe's report.
std::string Field(const std::string& report, const std::string& name) {
  const std::string key = name + "=";
  const std::size_t at = report.find(key);
  if (at == std::string::npos) return "";
  std::string value = report.substr(at + key.size(), report.find('\n', at) - at - key.size());
  if (!value.empty() && value.back() == '\r') value.pop_back();  // a Windows console's line end
  return value;
}

// Saves the part of the screen around the dialog (the README's picture).
void SaveScreenshot(const std::string& report, const char* file) {
  const int margin = 16;
  const std::string geometry = std::to_string(std::stoi(Field(report, "width")) + 2 * margin) +
                               "x" +
                               std::to_string(std::stoi(Field(report, "height")) + 2 * margin) +
                               "+" + std::to_string(std::stoi(Field(report, "left")) - margin) +
                               "+" + std::to_string(std::stoi(Field(report, "top")) - margin);
  const std::string command = "xwd -root -silent | /usr/bin/convert xwd:- -crop " + geometry +
                              " +repage png:'" + file + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

using DialogSession = SessionWorld;

TEST_F(DialogSession, TheDialogIsTopmostAndShowsTheArrayCopyWhileItRuns) {
  if (!UnderWine()) GTEST_SKIP() << "the progress dialog is the Windows program's";
  const std::string sync = "\\My Documents\\Personal\\ZAMO\\Sync\\";
  for (char name : std::string("ABCD")) {
    world.AddDeviceFile(sync + name + ".ARR", std::string(1 << 20, name));
  }
  world.SetFaults("slow CeReadFile ms=10\n");  // a cradle slow enough to look at the window
  std::string report;
  const RunResult run = RunUnderWine(ZP_WINDOWS_PROGRAM, world.desktop_root(), device_folder, [&] {
    // Found once the bar has passed a third: on a long copy the bar moves.
    const RunResult probe = RunWineProgram({ZP_WINDOWS_PROBE, "30", "35"});
    report = probe.output;
    if (const char* file = std::getenv("ZP_SCREENSHOT"); file && probe.exit_code == 0) {
      SaveScreenshot(report, file);
    }
    return true;
  });
  EXPECT_EQ(run.exit_code, kExitDone) << run.output;
  EXPECT_EQ(Field(report, "found"), "1") << report;
  EXPECT_EQ(Field(report, "topmost"), "1") << report;
  EXPECT_EQ(Field(report, "answered"), "1") << report;  // during the copy
  EXPECT_EQ(Field(report, "status"), "Copying arrays") << report;
  EXPECT_GE(std::atoi(Field(report, "position").c_str()), 35) << report;
  // 165 x 58 dialog units: wider than high, and more than a few pixels.
  const int width = std::atoi(Field(report, "width").c_str());
  const int height = std::atoi(Field(report, "height").c_str());
  EXPECT_GT(width, 2 * height) << report;
  EXPECT_GT(height, 40) << report;
  EXPECT_EQ(DesktopListing("c/ZAMO/Field/FromPocket"),
            "ARR00001.ARR ARR00002.ARR ARR00003.ARR ARR00004.ARR");
  EXPECT_EQ(DesktopFile("c/ZAMO/Field/FromPocket/ARR00004.ARR"), std::string(1 << 20, 'D'));
  EXPECT_TRUE(Log().ends_with("Finished successfully\r\n\r\n" + kStop));
}

}  // namespace
}  // namespace zp::test
