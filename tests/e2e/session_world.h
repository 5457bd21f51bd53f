// A whole world for running the built program: a desktop whose sync root is
// c:\ZAMO and a docked handheld "Field" (id 0x42, StrongARM) asking for a sync.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/device_world.h"
#include "support/program_run.h"
#include "support/world_texts.h"

namespace zp::test {

class SessionWorld : public ::testing::Test {
 protected:
  SessionWorld();

  /// The desktop registry below its header (replaces the whole file).
  void SetDesktopRegistry(const std::string& body);
  /// A desktop file by its path below the desktop root ("c/ZAMO/x").
  void PutDesktopFile(const std::string& relative, const std::string& bytes);
  std::string DesktopFile(const std::string& relative) const;
  bool DesktopHas(const std::string& relative) const;
  /// The names in a desktop folder, sorted ("" when it is missing).
  std::string DesktopListing(const std::string& relative) const;
  std::string DeviceListing(const std::string& device_folder) const;
  /// The device's DBState as device.reg holds it ("dword:00000003").
  std::string DeviceState() const;
  /// device.reg: the device's identity, DBState = `state` and RunImport.
  void SetDeviceState(std::uint32_t state);

  RunResult Run();
  RunResult RunAnswering(const std::string& answer);
  /// The session log of c:\ZAMO.
  std::string Log() const { return DesktopFile("c/ZAMO/zamopocket.log"); }

  DeviceWorld world;
  /// Under Wine: the program runs without a display (no dialog, no question).
  bool headless = false;
  /// Under Wine: the run uses the registry the prefix holds (a second
  /// session beside a first, which carried the world's registry over).
  bool alongside = false;
  std::string device_folder;  ///< ZAMOPOCKET_DEVICE; empty: no handheld
  /// Under Wine: the program's command line ("/dock"); empty: none.
  std::string argument;
  /// Under Wine: more of the program's environment ("NAME=value").
  std::vector<std::string> environment;
  /// Over the link: the handheld program's exit code in the last run (86
  /// when a kill rule ended it); -2 when none ran.
  int handheld_exit = -2;
  std::string device_reg_tail;  ///< the Software\Brenok\ZAMO section of device.reg
};

inline const std::string kConnected =
    "Connecting to PocketPC...\r\nSuccessfully connected to Field\r\n";

}  // namespace zp::test
