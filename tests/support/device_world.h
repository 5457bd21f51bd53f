// A handheld folder and a desktop registry in a temporary folder, for tests
// that run the program or the simulator against a prepared world:
// <dir>/device/{device.reg,files/,started.log,faults} and
// <dir>/desktop/registry.reg.
#pragma once

#include <cstdint>
#include <string>

#include "support/temp_dir.h"

namespace zp::test {

struct DeviceWorld {
  /// Makes <dir>/device/files/ and <dir>/desktop/.
  DeviceWorld();

  TempDir dir;

  std::string device_folder() const;     ///< <dir>/device
  std::string desktop_root() const;      ///< <dir>/desktop
  std::string desktop_registry() const;  ///< <dir>/desktop/registry.reg

  /// The [HKEY_LOCAL_MACHINE\Ident] section of a device.
  static std::string IdentReg(std::uint32_t device_id, std::uint32_t processor_type = 0xA11);
  /// Writes device.reg; the regedit header is added when `text` has none.
  void SetDeviceReg(const std::string& text);
  std::string DeviceReg() const;

  /// Device paths are "\My Documents\A.ARR" (UTF-8), mapped as written.
  void AddDeviceFile(const std::string& device_path, const std::string& bytes);
  void AddDeviceFolder(const std::string& device_path);
  std::string DeviceFile(const std::string& device_path) const;
  bool DeviceHas(const std::string& device_path) const;

  /// Appends a Partners\<id as %08X> key with "DisplayName" to registry.reg.
  void AddProfile(std::uint32_t id, const std::string& display_name);
  /// Appends text (sections and values) to registry.reg.
  void AddDesktopReg(const std::string& text);
  /// registry.reg: the header, then `text` (sections and values).
  void SetDesktopReg(const std::string& text);

  void SetFaults(const std::string& text);
  std::string StartedLog() const;

  /// <dir>/device/files/<path> for a device path.
  std::string FilesRelative(const std::string& device_path) const;

 private:
  TempDir desktop_;  ///< <dir>/desktop, borrowed
};

}  // namespace zp::test
