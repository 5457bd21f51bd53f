// A fixture with a desktop stand-in and a docked simulated handheld in one
// temporary folder: device id 0x42, a StrongARM processor, state 3.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "simulator/simulated_device.h"
#include "support/desktop_env.h"
#include "support/device_world.h"
#include "support/world_texts.h"

namespace zp::test {

class HandheldTest : public ::testing::Test {
 protected:
  HandheldTest();
  ~HandheldTest() override;

  /// The handheld, connected on first use.
  SimulatedDevice& device();
  /// Undocks the handheld: the next device() connects a fresh one.
  void Reconnect();
  /// Files on the handheld, by device path ("\My Documents\A.ARR").
  void PutDeviceFile(const std::string& device_path, const std::string& bytes);
  std::string DeviceFile(const std::string& device_path) const;
  bool DeviceHas(const std::string& device_path) const;
  void MakeDeviceFolder(const std::string& device_path);
  /// The whole device.reg below its header; the handheld is docked anew.
  void SetDeviceRegistry(const std::string& body);
  std::string DeviceRegistry() const;

  /// Starts the session log in c:\ ; Log() stops it and returns what was
  /// written after the start banner, the stop banner left out.
  void StartLog() const;
  std::string Log() const;

  DeviceWorld world;     ///< the handheld, and the desktop folder `desktop` stands on
  DesktopEnv desktop;    ///< the desktop stand-in, over the world's desktop folder
  std::string handheld;  ///< the handheld's folder

 private:
  std::unique_ptr<SimulatedDevice> device_;
};

}  // namespace zp::test
