// The handheld over its own link: the remote API as RAPI2 requests on a
// session connection, identity from the control connection's device info.
#pragma once

#include <cstdarg>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/remote_device.h"
#include "link/control_link.h"
#include "link/known_devices.h"
#include "link/legacy_control.h"
#include "link/wire.h"
#include "report/log.h"

namespace zp::link {

class LinkDevice : public RemoteDevice {
 public:
  /// A link to run; or none, with `problem` logged when the device is
  /// first asked for (an empty problem: nothing docked, nothing to say).
  LinkDevice(std::optional<LinkConfig> config, std::string problem = {});
  ~LinkDevice() override;

  std::string LinkName() const override;
  std::string WhyNoInstallation() const override;

  std::int32_t CeRapiInit() override;
  std::int32_t CeRapiUninit() override;
  std::uint32_t CeGetDeviceId() override;
  std::int32_t CeSvcEnumProfiles(CeSvcHandle* enumeration, std::uint32_t index,
                                 std::uint32_t* profile) override;
  std::int32_t CeSvcOpen(std::uint32_t service, std::uint32_t profile, bool create,
                         CeSvcHandle* opened) override;
  std::int32_t CeSvcGetString(CeSvcHandle profile, const char* name, char* buffer,
                              std::uint32_t size) override;
  std::int32_t CeSvcClose(CeSvcHandle handle) override;
  CeHandle CeCreateFile(const std::u16string& path, std::uint32_t access, std::uint32_t share,
                        std::uint32_t disposition, std::uint32_t attributes) override;
  bool CeReadFile(CeHandle file, void* buffer, std::uint32_t size, std::uint32_t* got) override;
  bool CeWriteFile(CeHandle file, const void* buffer, std::uint32_t size,
                   std::uint32_t* put) override;
  bool CeCloseHandle(CeHandle handle) override;
  std::uint32_t CeGetFileAttributes(const std::u16string& path) override;
  bool CeCreateDirectory(const std::u16string& path) override;
  bool CeDeleteFile(const std::u16string& path) override;
  bool CeFindAllFiles(const std::u16string& pattern, std::uint32_t flags, std::uint32_t* count,
                      CeFindData** records) override;
  void CeRapiFreeBuffer(void* buffer) override;
  std::int32_t CeRegOpenKeyEx(CeKey root, const std::u16string& subkey, CeKey* opened) override;
  std::int32_t CeRegCreateKeyEx(CeKey root, const std::u16string& subkey, CeKey* opened,
                                std::uint32_t* disposition) override;
  std::int32_t CeRegQueryValueEx(CeKey key, const std::u16string& name, std::uint32_t* type,
                                 std::uint8_t* data, std::uint32_t* size) override;
  std::int32_t CeRegSetValueEx(CeKey key, const std::u16string& name, std::uint32_t type,
                               const std::uint8_t* data, std::uint32_t size) override;
  std::int32_t CeRegCloseKey(CeKey key) override;
  bool CeCreateProcess(const std::u16string& application, const std::u16string& command_line,
                       CeProcessInfo* info) override;
  void CeGetSystemInfo(CeSystemInfo* info) override;
  std::uint32_t CeGetLastError() override;
  std::int32_t CeRapiGetError() override;

  /// Listing buffers not yet freed (tests).
  std::size_t OpenBuffers() const { return buffers_.size(); }

 private:
  /// A reply's words after its frame length: "le, rv" and the out data.
  struct Reply {
    std::vector<std::uint8_t> body;
    WireReader reader() const { return WireReader(body); }
  };

  /// Sends one request and reads its reply, whose length may be at most
  /// `cap`, the reply by its first-byte wait plus its length at the link's
  /// floor rate. Nothing when the link failed (logged once; the session is
  /// over).
  std::optional<Reply> Call(const WireWriter& request, std::uint32_t cap);
  /// A call answered with "le, rv": rv (the last error kept), or nothing
  /// (the link failed, or the reply did not hold both). The out data follow
  /// in `reply` from its ninth byte.
  std::optional<std::uint32_t> CallLeRv(const WireWriter& request, Reply& reply, const char* call);
  /// The reply did not hold what the call returns: the session cannot go on.
  void Malformed(const char* call);
  void Lost(const char* format, ...) ZP_PRINTF(2, 3);
  /// The code a failed call answers with when the link is gone.
  std::int32_t LinkCode();

  bool Identify();
  /// The identity checks of a handheld of either generation: its name, its
  /// pins, whether it is listed.
  bool CheckIdentity(const std::u16string& name);
  /// An older handheld's session: its password and its session connection.
  std::int32_t LegacyRapiInit();
  /// The desktop password, when it may go to this handheld (logged when not).
  std::optional<std::string> PasswordFor() const;
  void PasswordRefused(const std::string& password);

  // The older remote API (legacy_calls.cpp): the same calls in its
  // encodings, on a session the desktop dialled.
  std::optional<Reply> LegacyCall(const WireWriter& request, std::uint32_t cap, const char* call);
  std::optional<std::uint32_t> LegacyLeRv(const WireWriter& request, Reply& reply, WireReader& rest,
                                          const char* call);
  CeHandle LegacyCreateFile(const std::u16string& path, std::uint32_t access, std::uint32_t share,
                            std::uint32_t disposition, std::uint32_t attributes);
  bool LegacyReadFile(CeHandle file, void* buffer, std::uint32_t size, std::uint32_t* got);
  bool LegacyWriteFile(CeHandle file, const void* buffer, std::uint32_t size, std::uint32_t* put);
  bool LegacyBoolCall(std::uint32_t command, std::uint32_t handle, const char* call);
  bool LegacyPathCall(std::uint32_t command, const std::u16string& path, bool then_null,
                      const char* call);
  std::uint32_t LegacyGetFileAttributes(const std::u16string& path);
  bool LegacyFindAllFiles(const std::u16string& pattern, std::uint32_t flags, std::uint32_t* count,
                          CeFindData** records);
  std::int32_t LegacyRegOpenKeyEx(CeKey root, const std::u16string& subkey, CeKey* opened,
                                  std::uint32_t* disposition, bool create);
  std::int32_t LegacyRegQueryValueEx(CeKey key, const std::u16string& name, std::uint32_t* type,
                                     std::uint8_t* data, std::uint32_t* size);
  std::int32_t LegacyRegSetValueEx(CeKey key, const std::u16string& name, std::uint32_t type,
                                   const std::uint8_t* data, std::uint32_t size);
  std::int32_t LegacyRegCloseKey(CeKey key);
  bool LegacyCreateProcess(const std::u16string& application, const std::u16string& command_line,
                           CeProcessInfo* info);
  void LegacyGetSystemInfo(CeSystemInfo* info);
  /// The one log line that tells an administrator how to list this handheld.
  std::string Unlisted(const char* withheld) const;

  std::optional<LinkConfig> config_;
  std::string problem_;
  std::unique_ptr<ControlLink> control_;
  std::unique_ptr<LegacyControl> legacy_;  ///< an older handheld's, when one came
  Socket session_;
  bool asked_ = false;
  bool identified_ = false;
  bool listed_ = false;
  std::uint32_t device_id_ = 0;
  std::string name_;
  std::string guid_;                              ///< or, for an older handheld, "partner:XXXXXXXX"
  std::string refusal_key_;                       ///< what a refused password is remembered by
  std::optional<std::string> unlocked_password_;  ///< an older handheld's, once it took it
  std::string shown_name_;                        ///< the name as a log line shows it
  bool lost_logged_ = false;
  std::uint32_t last_error_ = 0;
  std::int32_t rapi_error_ = 0;
  std::map<const void*, std::unique_ptr<CeFindData[]>> buffers_;
};

}  // namespace zp::link
