// Prepared handheld and desktop folders for tests.
#include "support/device_world.h"

#include <cstdio>
#include <filesystem>

namespace zp::test {
namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\n\n";

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

}  // namespace

DeviceWorld::DeviceWorld() {
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
  char text[128];
  std::snprintf(text, sizeof text,
                "[HKEY_LOCAL_MACHINE\\Ident]\n\"DeviceId\"=dword:%08x\n"
                "\"ProcessorType\"=dword:%08x\n\n",
                device_id, processor_type);
  return text;
}

void DeviceWorld::SetDeviceReg(const std::string& text) {
  const bool headed = text.starts_with("Windows Registry Editor") || text.starts_with("REGEDIT4");
  dir.Write("device/device.reg", headed ? text : kHeader + text);
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
  std::string all = dir.Read("desktop/registry.reg");
  if (all.empty()) all = kHeader;
  if (all.back() != '\n') all += "\n";
  dir.Write("desktop/registry.reg", all + text);
}

void DeviceWorld::AddProfile(std::uint32_t id, const std::string& display_name) {
  char key[128];
  std::snprintf(key, sizeof key,
                "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows CE Services\\Partners\\%08X]\n",
                id);
  AddDesktopReg(std::string(key) + "\"DisplayName\"=\"" + Escaped(display_name) + "\"\n\n");
}

void DeviceWorld::SetFaults(const std::string& text) {
  dir.Write("device/faults", text);
}

std::string DeviceWorld::StartedLog() const {
  return dir.Read("device/started.log");
}

}  // namespace zp::test
