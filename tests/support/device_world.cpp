// Prepared handheld and desktop folders for tests.
#include "support/device_world.h"

#include <filesystem>

#include "support/reg_text.h"

namespace zp::test {

DeviceWorld::DeviceWorld() : desktop_((dir.path() / "desktop").string()) {
  std::filesystem::create_directories(dir.path() / "device" / "files");
  std::filesystem::create_directories(dir.path() / "desktop");
}

std::string DeviceWorld::device_folder() const {
  return (dir.path() / "device").string();
}
std::string DeviceWorld::desktop_root() const {
  return (dir.path() / "desktop").string();
}
std::string DeviceWorld::desktop_registry() const {
  return (dir.path() / "desktop" / "registry.reg").string();
}

std::string DeviceWorld::IdentReg(std::uint32_t device_id, std::uint32_t processor_type) {
  return RegText(regfile::Strings::Wide)
      .Key("HKEY_LOCAL_MACHINE\\Ident")
      .Dword("DeviceId", device_id)
      .Dword("ProcessorType", processor_type)
      .Sections();
}

void DeviceWorld::SetDeviceReg(const std::string& text) {
  const bool headed = text.starts_with("Windows Registry Editor") || text.starts_with("REGEDIT4");
  dir.Write("device/device.reg", headed ? text : RegHeader() + text);
}

std::string DeviceWorld::DeviceReg() const {
  return dir.Read("device/device.reg");
}

std::string DeviceWorld::FilesRelative(const std::string& device_path) const {
  std::string relative = "device/files";
  for (char c : device_path) relative.push_back(c == '\\' ? '/' : c);
  return relative;
}

void DeviceWorld::AddDeviceFile(const std::string& device_path, const std::string& bytes) {
  dir.Write(FilesRelative(device_path), bytes);
}

void DeviceWorld::AddDeviceFolder(const std::string& device_path) {
  std::filesystem::create_directories(dir.path() / FilesRelative(device_path));
}

std::string DeviceWorld::DeviceFile(const std::string& device_path) const {
  return dir.Read(FilesRelative(device_path));
}

bool DeviceWorld::DeviceHas(const std::string& device_path) const {
  return dir.Exists(FilesRelative(device_path));
}

void DeviceWorld::AddDesktopReg(const std::string& text) {
  std::string sections = DesktopRegistrySections(desktop_);
  if (!sections.empty() && sections.back() != '\n') sections += "\n";
  WriteDesktopRegistry(desktop_, sections + text);
}

void DeviceWorld::SetDesktopReg(const std::string& text) {
  WriteDesktopRegistry(desktop_, text);
}

void DeviceWorld::AddProfile(std::uint32_t id, const std::string& display_name) {
  RegText profile;
  AddDesktopReg(test::AddProfile(profile, id, display_name).Sections());
}

void DeviceWorld::SetFaults(const std::string& text) {
  dir.Write("device/faults", text);
}

std::string DeviceWorld::StartedLog() const {
  return dir.Read("device/started.log");
}

}  // namespace zp::test
