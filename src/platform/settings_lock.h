// The lock around a change of the desktop settings: sessions of several
// handhelds run side by side, and each reads, changes and writes the
// settings (the pending installations, the handhelds seen) under it, so that
// none undoes another's change.
#pragma once

#include "platform/platform.h"

namespace zp {

/// How long a session waits for another to finish its change.
inline constexpr std::uint32_t kSettingsLockWaitMs = 60'000;

/// Holds the settings lock while it lives. Holders nest: an inner one (a
/// registry write inside a read-change-write) shares the outer one's lock.
class SettingsLock {
 public:
  SettingsLock();
  ~SettingsLock();
  SettingsLock(const SettingsLock&) = delete;
  SettingsLock& operator=(const SettingsLock&) = delete;

  /// False when the lock could not be had in time (last error set): the
  /// change must not be made.
  explicit operator bool() const noexcept { return held_; }

 private:
  bool held_ = false;
};

}  // namespace zp
