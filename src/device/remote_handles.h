// Move-only guards for what the remote side hands out: file, process and
// thread handles, registry keys, listing buffers and profile handles. Each is released
// through the device it came from when the guard goes out of scope.
#pragma once

#include <cstdint>
#include <utility>

#include "device/remote_device.h"

namespace zp {

template <typename Handle, typename Traits>
class RemoteGuard {
 public:
  RemoteGuard(RemoteDevice& device, Handle handle) : device_(&device), handle_(handle) {}
  RemoteGuard(RemoteGuard&& other) noexcept
      : device_(other.device_), handle_(std::exchange(other.handle_, Traits::kNone)) {}
  /// Releases what is held and takes over what `other` held.
  RemoteGuard& operator=(RemoteGuard&& other) noexcept {
    if (this != &other) {
      Release();
      device_ = other.device_;
      handle_ = std::exchange(other.handle_, Traits::kNone);
    }
    return *this;
  }
  RemoteGuard(const RemoteGuard&) = delete;
  RemoteGuard& operator=(const RemoteGuard&) = delete;
  ~RemoteGuard() { Release(); }

  Handle get() const { return handle_; }
  /// The held handle's address, for a call that reads the handle and may
  /// put another in its place (an enumeration): the guard releases
  /// whatever it holds last.
  Handle* Address() { return &handle_; }
  bool valid() const { return handle_ != Traits::kNone; }
  /// Releases what is held and takes `handle` in its place.
  void Reset(Handle handle) {
    Release();
    handle_ = handle;
  }
  /// Gives the handle up without releasing it.
  Handle Detach() { return std::exchange(handle_, Traits::kNone); }
  /// Releases now (a second call does nothing).
  void Release() {
    if (valid()) Traits::Release(*device_, std::exchange(handle_, Traits::kNone));
  }

 private:
  RemoteDevice* device_;
  Handle handle_;
};

struct RemoteFileTraits {
  static constexpr CeHandle kNone = kInvalidCeHandle;
  static void Release(RemoteDevice& d, CeHandle h) { d.CeCloseHandle(h); }
};
struct RemoteKeyTraits {
  static constexpr CeKey kNone = kNoCeKey;
  static void Release(RemoteDevice& d, CeKey k) { d.CeRegCloseKey(k); }
};
struct SvcHandleTraits {
  static constexpr CeSvcHandle kNone = kNoCeSvcHandle;
  static void Release(RemoteDevice& d, CeSvcHandle h) { d.CeSvcClose(h); }
};
struct FindBufferTraits {
  static constexpr CeFindData* kNone = nullptr;
  static void Release(RemoteDevice& d, CeFindData* b) { d.CeRapiFreeBuffer(b); }
};

using RemoteFile = RemoteGuard<CeHandle, RemoteFileTraits>;
using RemoteKey = RemoteGuard<CeKey, RemoteKeyTraits>;
using SvcHandle = RemoteGuard<CeSvcHandle, SvcHandleTraits>;
using FindBuffer = RemoteGuard<CeFindData*, FindBufferTraits>;

/// The process and thread handles of a started program, closed in that
/// order.
class RemoteProcess {
 public:
  RemoteProcess(RemoteDevice& device, const CeProcessInfo& info)
      : process_(device, info.hProcess), thread_(device, info.hThread) {}
  RemoteProcess(const RemoteProcess&) = delete;
  RemoteProcess& operator=(const RemoteProcess&) = delete;
  ~RemoteProcess() {
    process_.Release();
    thread_.Release();
  }

 private:
  RemoteFile process_;
  RemoteFile thread_;
};

/// A remote listing: the record count and its buffer, released on scope exit.
struct RemoteListing {
  explicit RemoteListing(RemoteDevice& device) : buffer(device, nullptr) {}
  std::uint32_t count = 0;
  FindBuffer buffer;
  const CeFindData& operator[](std::uint32_t i) const { return buffer.get()[i]; }
};

/// Lists `pattern` with the flags given; false when the listing failed.
bool ListRemote(RemoteDevice& device, const std::u16string& pattern, std::uint32_t flags,
                RemoteListing& listing);

/// The record's name, up to its terminator within the 260 units.
std::u16string RecordName(const CeFindData& record);

}  // namespace zp
