#include "support/handheld_test.h"

#include <filesystem>

#include "report/log.h"

namespace zp::test {
namespace {

const char kBanner[] = "Starting logging at 2026/12/08 09:30:05\r\n\r\n";
const char kStop[] =
    "\nStopping logging at 2026/12/08 09:30:05\n"
    "------------------------------------------\n\r\n";

}  // namespace

HandheldTest::HandheldTest() : handheld(world.device_folder()) {
  desktop.SetRegistry(
      "[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO\\PocketPC]\r\n\"PathSync\"=\"c:\\\\\"\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows CE Services\\Partners\\00000042]\r\n"
      "\"DisplayName\"=\"Field\"\r\n");
  SetDeviceRegistry(
      "[HKEY_LOCAL_MACHINE\\Ident]\n\"DeviceId\"=dword:00000042\n"
      "\"ProcessorType\"=dword:00000a11\n\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO]\n\"DBState\"=dword:00000003\n"
      "\"RunImport\"=\"\\\\Program Files\\\\ZAMO\\\\import.exe\"\n");
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
  if (log.starts_with(kBanner)) log.erase(0, sizeof kBanner - 1);
  if (log.ends_with(kStop)) log.erase(log.size() - (sizeof kStop - 1));
  return log;
}

}  // namespace zp::test
