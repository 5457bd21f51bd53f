// The handheld over its link: connection, identity, profiles and the
// request/reply round trip.
#include "link/link_device.h"

#include <cstdio>
#include <cstring>

#include "link/legacy_info.h"
#include "link/message_io.h"
#include "link/protocol.h"
#include "platform/platform.h"
#include "report/device_text.h"
#include "session/folder_name.h"

namespace zp::link {
namespace {

constexpr std::int32_t kEFail = static_cast<std::int32_t>(0x80004005u);
/// HRESULT_FROM_WIN32 of ERROR_NO_MORE_ITEMS, ERROR_INSUFFICIENT_BUFFER and
/// ERROR_FILE_NOT_FOUND: the profile calls' codes.
constexpr std::int32_t kNoMoreItems = static_cast<std::int32_t>(0x80070103u);
constexpr std::int32_t kInsufficientBuffer = static_cast<std::int32_t>(0x8007007Au);
constexpr std::int32_t kNotFound = static_cast<std::int32_t>(0x80070002u);
constexpr CeSvcHandle kEnumerationHandle = static_cast<CeSvcHandle>(1);
constexpr CeSvcHandle kProfileHandle = static_cast<CeSvcHandle>(2);
/// The display name's buffer: the name and its NUL.
constexpr std::size_t kDisplayNameBuffer = 256;

// Whether a handheld's name can name its device folder and its records.
// Stricter than a folder name: no character a log line would have to escape.
bool IsUsableName(const std::u16string& name, const std::string& narrow) {
  for (const char16_t unit : name) {
    if (IsUnsafeDeviceUnit(unit)) return false;
  }
  return narrow.size() + 1 <= kDisplayNameBuffer && IsUsableFolderName(narrow);
}

}  // namespace

LinkDevice::LinkDevice(std::optional<LinkConfig> config, std::string problem)
    : config_(std::move(config)), problem_(std::move(problem)) {}

std::string LinkDevice::LinkName() const {
  if (!config_) return {};
  if (!config_->net_interface.empty()) return config_->net_interface;
  return FormatIpv4(config_->listen.ip);
}

LinkDevice::~LinkDevice() = default;

bool LinkDevice::Identify() {
  if (!config_) {
    if (!problem_.empty()) LogText("%s", problem_.c_str());
    return false;
  }
  control_ = std::make_unique<ControlLink>(*config_);
  std::optional<LegacyInfo> legacy_info;
  // An older handheld came to the control port: its own handshake.
  const auto take_legacy = [&](Socket& connection, NetAddress peer, Socket& listener) {
    auto legacy = std::make_unique<LegacyControl>(*config_, std::move(connection), peer);
    std::string problem;
    legacy_info = legacy->Handshake(problem);
    if (!legacy_info) {
      LogText("%s", problem.c_str());
      return false;
    }
    legacy->KeepListener(std::move(listener));
    legacy_ = std::move(legacy);
    return true;
  };
  if (!control_->Connect(take_legacy)) return false;
  if (legacy_) {
    // No GUID: the partner id stands for the handheld, with its name.
    char identity[32];
    std::snprintf(identity, sizeof identity, "%s%08X", kPartnerIdentity, legacy_info->partner_id);
    guid_ = identity;
    device_id_ = LegacyDeviceId(*legacy_info);
    if (!CheckIdentity(legacy_info->name)) return false;
    refusal_key_ = guid_ + "/" + name_;
    // Anyone may claim a name: an unpartnered handheld is never trusted.
    listed_ = listed_ && legacy_info->partner_id != 0 && legacy_info->partner_id != 0xFFFFFFFFu;
    return true;
  }
  const DeviceInfo& info = control_->info();
  guid_ = FormatGuid(info.guid);
  device_id_ = LinkDeviceId(info);
  refusal_key_ = guid_;
  return CheckIdentity(info.name);
}

bool LinkDevice::CheckIdentity(const std::u16string& name) {
  name_ = Narrow(name);
  shown_name_ = DeviceText(name);
  // Nothing is stored or written before the name is checked: it becomes a
  // folder, a registry value's name and log lines.
  if (name.empty()) {
    LogText("Refused handheld %s: it gives no name", guid_.c_str());
    return false;
  }
  if (!IsUsableName(name, name_)) {
    LogText("Device name cannot be used as a folder name: %s", shown_name_.c_str());
    return false;
  }
  const DeviceTrust trust = CheckDeviceGuid(name_, device_id_, guid_, shown_name_);
  if (trust == DeviceTrust::Refused || trust == DeviceTrust::Failed) return false;
  listed_ = IsListedHandheld(guid_, name_);
  return true;
}

std::string LinkDevice::Unlisted(const char* withheld) const {
  return "handheld " + name_ + " " + guid_ + " is not on this desktop's list of handhelds, so it " +
         "gets no " + withheld + ". " + ListingAdvice(guid_, name_);
}

std::string LinkDevice::WhyNoInstallation() const {
  return listed_ ? std::string() : Unlisted("installation");
}

std::uint32_t LinkDevice::CeGetDeviceId() {
  if (!asked_) {
    asked_ = true;
    identified_ = Identify();
    if (!identified_ && control_) control_->Close();
  }
  return identified_ ? device_id_ : 0;
}

// Whether the desktop password may go to this handheld; logged when not.
std::optional<std::string> LinkDevice::PasswordFor() const {
  // The handheld chose the key, so a device that only claims a name would
  // learn the password: it goes only to a handheld an administrator
  // listed, and never again after it was refused.
  auto password = DesktopPassword();
  if (!password) {
    LogText("Handheld %s is locked with a password, and no desktop password is set (%s)",
            name_.c_str(), kPasswordValue);
    return std::nullopt;
  }
  if (!listed_) {
    LogText("Handheld %s is locked with a password: %s", name_.c_str(),
            Unlisted("password").c_str());
    return std::nullopt;
  }
  if (PasswordRefusedBefore(refusal_key_, *password)) {
    LogText("Handheld %s refused this desktop password before: it is not sent again",
            name_.c_str());
    return std::nullopt;
  }
  return password;
}

void LinkDevice::PasswordRefused(const std::string& password) {
  LogText("Handheld %s refused the desktop password", name_.c_str());
  RememberRefusedPassword(refusal_key_, password);
}

std::int32_t LinkDevice::CeRapiInit() {
  if (CeGetDeviceId() == 0) return kEFail;
  if (session_) return 0;
  if (legacy_) return LegacyRapiInit();
  std::optional<std::string> password;
  const std::uint32_t key = control_->info().lock_key;
  if (key != kLockNone && key != kLockOnDevice) {
    password = PasswordFor();
    if (!password) return kEFail;
  }
  switch (control_->Unlock(password)) {
    case ControlLink::Unlocking::Open:
      break;
    case ControlLink::Unlocking::Refused:
      PasswordRefused(*password);
      return kEFail;
    case ControlLink::Unlocking::Failed:
      return kEFail;
  }
  session_ = control_->OpenSession();
  if (!session_) return kEFail;
  lost_logged_ = false;
  rapi_error_ = 0;
  return 0;
}

std::int32_t LinkDevice::LegacyRapiInit() {
  std::optional<std::string> password;
  if (legacy_->Locked()) {
    // Sent on the control connection once, then before every session.
    password = unlocked_password_ ? unlocked_password_ : PasswordFor();
    if (!password) return kEFail;
    if (!unlocked_password_) {
      switch (legacy_->Unlock(*password)) {
        case LegacyControl::Unlocking::Open:
          unlocked_password_ = password;
          break;
        case LegacyControl::Unlocking::Refused:
          PasswordRefused(*password);
          return kEFail;
        case LegacyControl::Unlocking::Failed:
          return kEFail;
      }
    }
  }
  bool refused = false;
  session_ = legacy_->OpenSession(password, refused);
  if (refused) PasswordRefused(*password);
  if (!session_) return kEFail;
  lost_logged_ = false;
  rapi_error_ = 0;
  return 0;
}

std::int32_t LinkDevice::CeRapiUninit() {
  session_.Close();
  if (legacy_) legacy_->Close();
  if (control_) control_->Close();
  return 0;
}

std::int32_t LinkDevice::CeSvcEnumProfiles(CeSvcHandle* enumeration, std::uint32_t index,
                                           std::uint32_t* profile) {
  if (CeGetDeviceId() == 0) return kEFail;
  if (enumeration) *enumeration = kEnumerationHandle;
  if (index > 0) return kNoMoreItems;
  *profile = device_id_;
  return 0;
}

std::int32_t LinkDevice::CeSvcOpen(std::uint32_t service, std::uint32_t profile, bool,
                                   CeSvcHandle* opened) {
  *opened = kNoCeSvcHandle;
  if (service != kCeSvcProfile || CeGetDeviceId() == 0 || profile != device_id_) return kNotFound;
  *opened = kProfileHandle;
  return 0;
}

std::int32_t LinkDevice::CeSvcGetString(CeSvcHandle profile, const char* name, char* buffer,
                                        std::uint32_t size) {
  if (profile != kProfileHandle || std::strcmp(name, "DisplayName") != 0) return kNotFound;
  // A name that does not fit is refused, never cut into another name.
  if (name_.size() + 1 > size) return kInsufficientBuffer;
  std::memcpy(buffer, name_.c_str(), name_.size() + 1);
  return 0;
}

std::int32_t LinkDevice::CeSvcClose(CeSvcHandle) {
  return 0;
}

std::uint32_t LinkDevice::CeGetLastError() {
  return last_error_;
}

std::int32_t LinkDevice::CeRapiGetError() {
  return rapi_error_;
}

std::int32_t LinkDevice::LinkCode() {
  last_error_ = kErrorNotConnected;
  rapi_error_ = kEFail;
  return static_cast<std::int32_t>(kErrorNotConnected);
}

void LinkDevice::Lost(const char* format, ...) {
  if (!lost_logged_) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    LogText("Lost the link to the handheld: %s", text);
    lost_logged_ = true;
  }
  session_.Close();
  LinkCode();
}

void LinkDevice::Malformed(const char* call) {
  Lost("its reply to %s does not add up", call);
}

std::optional<LinkDevice::Reply> LinkDevice::Call(const WireWriter& request, std::uint32_t cap) {
  if (!session_) {
    LinkCode();
    return std::nullopt;
  }
  WireWriter frame = StartFrame();
  frame.Bytes(request.bytes());
  const int reply_ms = config_->timeouts.reply_ms;
  if (SendMessage(session_, FinishFrame(std::move(frame)), reply_ms) != NetResult::Done) {
    Lost("%s", SocketFailureText().c_str());
    return std::nullopt;
  }
  // The reply's deadline: its first byte within the reply wait, the rest at
  // the floor rate, however it trickles.
  const Deadline first = Deadline::In(reply_ms);
  // Meanwhile the control connection is read, and pinged when due.
  const NetResult waited = legacy_ ? legacy_->WaitForSession(session_, first)
                                   : control_->WaitForSession(session_, first);
  switch (waited) {
    case NetResult::Done:
      break;
    case NetResult::TimedOut:
      Lost("no reply within %d s", (reply_ms + 999) / 1000);
      return std::nullopt;
    case NetResult::Failed:
      Lost("the handheld is gone");
      return std::nullopt;
  }
  Reply reply;
  std::uint32_t length = 0;
  switch (ReadFrame(session_, first, cap, reply.body, length)) {
    case FrameRead::Done:
      break;
    case FrameRead::OverCap:
      Lost("a reply of %u bytes, over its cap of %u", length, cap);
      return std::nullopt;
    case FrameRead::TimedOut:
      Lost("a reply did not come whole in time");
      return std::nullopt;
    case FrameRead::Closed:
      Lost("the connection ended inside a reply of %u bytes", length);
      return std::nullopt;
  }
  rapi_error_ = 0;
  return reply;
}

std::optional<std::uint32_t> LinkDevice::CallLeRv(const WireWriter& request, Reply& reply,
                                                  const char* call) {
  auto got = Call(request, kMaxFrame);
  if (!got) return std::nullopt;
  reply = std::move(*got);
  WireReader in = reply.reader();
  last_error_ = in.U32();
  const std::uint32_t rv = in.U32();
  if (!in.ok()) {
    Malformed(call);
    return std::nullopt;
  }
  return rv;
}

}  // namespace zp::link
