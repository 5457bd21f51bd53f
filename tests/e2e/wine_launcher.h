// The second launcher of the end-to-end scenarios: zamopocket.exe under Wine,
// with the stand-in rapi.dll and ceutil.dll beside it. The world's desktop is
// carried over: registry.reg is imported into the prefix's registry before
// each run and exported back after it; the world's drive c is the prefix's
// drive C:, other drive folders are mapped as drives of their own.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "support/program_run.h"

namespace zp::test {

/// True when the scenarios run the Windows program (ZP_E2E_LAUNCHER=wine,
/// or winelink: over the handheld's own link, see RunUnderWine).
bool UnderWine();

/// Makes `desktop_root`/c the prefix's drive C:, emptied of all but Wine's
/// own folders. Called before the world puts anything on drive c.
void AttachWineDriveC(const std::string& desktop_root);

/// True for the folders Wine keeps on drive C: (windows, users, ...).
bool IsWinesOwnFolder(const std::string& name);

/// One session of `program` (zamopocket.exe) under Wine against the world.
/// `device_folder` empty: no handheld. `meanwhile`, when given, runs while
/// the program does (to look at its window, or answer its question); when
/// it returns false the program is ended rather than waited for. Without
/// `display` the program finds no display: no window, no question. Without
/// `carry_registry` the prefix's registry is used as it is (a second
/// session started while the first runs).
/// Over the link (ZP_E2E_LAUNCHER=winelink) the program is the copy of
/// `program` with no DLLs beside it (link/zamopocket.exe in its folder),
/// and the handheld program serves `device_folder` on this test process's
/// loopback addresses (not for a second session: the first one's handheld
/// serves it); its exit code goes to `handheld_exit` when given.
/// `handheld_options` go to the handheld program (a hostile mode), and
/// `timeouts`, when given, replace the link's short test waits.
/// `argument`, when given, is the program's command line ("/dock"), and
/// `environment` ("NAME=value") goes to the program besides the launcher's.
RunResult RunUnderWine(const std::string& program, const std::string& desktop_root,
                       const std::string& device_folder,
                       const std::function<bool()>& meanwhile = {}, bool display = true,
                       bool carry_registry = true, int* handheld_exit = nullptr,
                       const std::vector<std::string>& handheld_options = {},
                       const std::string& timeouts = {}, const std::string& argument = {},
                       const std::vector<std::string>& environment = {});

/// Another Windows program (a test tool) under Wine, waited for.
RunResult RunWineProgram(const std::vector<std::string>& args);

/// Waits for the message box of that caption on the display and presses the
/// key in it; false when no box came within 30 seconds.
bool AnswerMessageBox(const std::string& caption, char key);

/// The log's banners carry the real local time under Wine (the release
/// program has no fixed clock): they are rewritten to the fixed one.
std::string FixBannerTimes(const std::string& log, const std::string& fixed);

}  // namespace zp::test
