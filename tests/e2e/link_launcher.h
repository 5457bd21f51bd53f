// The third launcher of the end-to-end scenarios: the Linux program over the
// handheld's own link, against the handheld program serving the world's
// handheld folder on loopback. Each test process has its own pair of
// loopback addresses, so tests that run side by side never share port 990.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/program_run.h"

namespace zp::test {

/// True when the scenarios run over the link: the Linux program
/// (ZP_E2E_LAUNCHER=link), the Windows program under Wine (winelink), or
/// the Linux program with an older handheld (legacy).
bool OverLink();
/// True when they run with an older handheld (ZP_E2E_LAUNCHER=legacy).
bool OverLegacyLink();

/// This test process's desktop and handheld addresses ("127.a.b.1", "127.a.b.2").
std::string LinkDesktopAddress();
std::string LinkHandheldAddress();

/// The handheld program serving `device_folder` while it lives; stopped
/// (and waited for, bounded) when it goes out of scope.
class HandheldProcess {
 public:
  /// `extra`: more options (a hostile mode, another name).
  HandheldProcess(const std::string& device_folder, const std::string& desktop_root,
                  const std::vector<std::string>& extra = {});
  ~HandheldProcess();
  HandheldProcess(const HandheldProcess&) = delete;
  HandheldProcess& operator=(const HandheldProcess&) = delete;

  /// Waits for it to end (bounded); its exit code, -1 when it had to be killed.
  int Finish();
  /// What it wrote on stdout and stderr.
  std::string Output() const;

 private:
  int pid_ = -1;
  std::string output_file_;
};

/// The section of the administrator's list of handhelds in registry.reg.
inline constexpr char kListSection[] =
    "[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO\\PocketPC\\Handhelds]";

/// Lists the world's handheld (its GUID and name, as the handheld program
/// will claim them) in registry.reg, as its administrator would, unless the
/// world has a list of its own.
void ListTheWorldsHandheld(const std::string& device_folder, const std::string& desktop_root);

/// The environment of the desktop program over the link: ZAMOPOCKET_LINK to
/// this process's addresses and short waits.
std::map<std::string, std::string> LinkEnvironment(const std::string& desktop_root,
                                                   const std::string& timeouts = {});

/// One session over the link: the handheld program (when `device_folder`
/// names a folder that exists and `handheld_exit` is given, which receives
/// its exit code) and the desktop program.
RunResult RunOverLink(const std::string& program, const std::string& desktop_root,
                      const std::string& device_folder, const std::string& answer,
                      int* handheld_exit);

}  // namespace zp::test
