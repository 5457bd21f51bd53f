// The settings lock: one desktop lock per process, counted by its holders.
#include "platform/settings_lock.h"

namespace zp {
namespace {

// The sessions of this program run on one thread.
DesktopLock g_lock;
int g_holders = 0;

}  // namespace

SettingsLock::SettingsLock() {
  if (g_holders == 0) g_lock = TakeDesktopLock("settings", kSettingsLockWaitMs);
  held_ = static_cast<bool>(g_lock);
  if (held_) ++g_holders;
}

SettingsLock::~SettingsLock() {
  if (held_ && --g_holders == 0) g_lock = DesktopLock();
}

}  // namespace zp
