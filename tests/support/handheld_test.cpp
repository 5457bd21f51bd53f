#include "support/handheld_test.h"

#include <filesystem>

#include "report/log.h"
#include "support/reg_text.h"

namespace zp::test {

HandheldTest::HandheldTest() : desktop(world.desktop_root()), handheld(world.device_folder()) {
  RegText settings;
  settings.Key("HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO\\PocketPC").String("PathSync", "c:\\");
  desktop.SetRegistry(AddProfile(settings, 0x42, "Field").Sections());
  SetDeviceRegistry(DeviceWorld::IdentReg(0x42) +
                    RegText(regfile::Strings::Wide)
                        .Key("HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO")
                        .Dword("DBState", 3)
                        .String("RunImport", "\\Program Files\\ZAMO\\import.exe")
                        .Sections());
}

HandheldTest::~HandheldTest() {
  StopLogging();
  if (device_) device_->CeRapiUninit();
}

SimulatedDevice& HandheldTest::device() {
  if (!device_) {
    device_ = std::make_unique<SimulatedDevice>(handheld, desktop.dir().path() / "registry.reg");
    EXPECT_GE(device_->CeRapiInit(), 0);
  }
  return *device_;
}

void HandheldTest::Reconnect() {
  if (device_) device_->CeRapiUninit();
  device_.reset();
}

void HandheldTest::PutDeviceFile(const std::string& device_path, const std::string& bytes) {
  world.AddDeviceFile(device_path, bytes);
}

std::string HandheldTest::DeviceFile(const std::string& device_path) const {
  return world.DeviceFile(device_path);
}

bool HandheldTest::DeviceHas(const std::string& device_path) const {
  return world.DeviceHas(device_path);
}

void HandheldTest::MakeDeviceFolder(const std::string& device_path) {
  world.AddDeviceFolder(device_path);
}

void HandheldTest::SetDeviceRegistry(const std::string& body) {
  world.SetDeviceReg(body);
  Reconnect();  // the handheld reads its registry when it is docked
}

std::string HandheldTest::DeviceRegistry() const {
  return world.DeviceReg();
}

void HandheldTest::StartLog() const {
  ASSERT_TRUE(StartLogging("c:\\"));
}

std::string HandheldTest::Log() const {
  StopLogging();
  std::string log = desktop.Read("c/zamopocket.log");
  std::filesystem::remove(desktop.dir().path() / "c/zamopocket.log");  // the next log starts afresh
  if (log.starts_with(kStart)) log.erase(0, kStart.size());
  if (log.ends_with(kStop)) log.erase(log.size() - kStop.size());
  return log;
}

}  // namespace zp::test
