// The calls the simulated handheld does not have, made here on the world's
// files/ through the same fault rules: moves, folder removal, the find
// handles (served from a CeFindAllFiles listing), and the handheld's own
// state (its store is the world's file system).
#include <algorithm>
#include <chrono>
#include <system_error>
#include <thread>

#include "platform/platform.h"
#include "simulator/handheld/device_ops.h"
#include "simulator/handheld/wire_values.h"
#include "simulator/sim_paths.h"
#include "simulator/sim_state.h"

namespace zp::handheld {
namespace fs = std::filesystem;
namespace {

constexpr std::uint32_t kErrorDirectory = 267;  // ERROR_DIRECTORY: not a folder
constexpr std::uint32_t kAllFields = 0xFF;

// True when `inner` is `outer` or lies below it.
bool Within(const fs::path& inner, const fs::path& outer) {
  return std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end()).first == outer.end();
}

std::uint32_t Clamp32(std::uintmax_t value) {
  return static_cast<std::uint32_t>(std::min<std::uintmax_t>(value, 0xFFFFFFFFu));
}

// Done with `error` (0: success).
Done Ended(std::uint32_t error) {
  return Done{false, error == 0, error};
}

}  // namespace

Done DeviceOps::Gate(std::string_view operation, const std::u16string& path, std::uint32_t usual) {
  FaultRules& faults = device_.faults();
  if (const int delay = faults.DelayMilliseconds(operation); delay > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  }
  switch (faults.Check(operation, path)) {
    case FaultRules::Outcome::Disconnected:
      return Done{true, false, 0};
    case FaultRules::Outcome::Fail:
    case FaultRules::Outcome::Lost:  // a lost reply is a CeDeleteFile's only
      return Ended(faults.last_error() != 0 ? faults.last_error() : usual);
    case FaultRules::Outcome::ShortWrite:
    case FaultRules::Outcome::Pass:
      break;
  }
  return Ended(0);
}

Done DeviceOps::MoveFile(const std::u16string& from, const std::u16string& to) {
  const Done gate = Gate("CeMoveFile", from, kErrorAccessDenied);
  if (gate.lost || !gate.ok) return gate;
  const auto source = sim::Locate(files_root_, from);
  const auto target = sim::Locate(files_root_, to);
  std::error_code ec;
  std::uint32_t error = 0;
  if (!source || !target) {
    error = kErrorInvalidName;
  } else if (source->kind == sim::NodeKind::Missing) {
    error = source->parent_is_folder ? kErrorFileNotFound : kErrorPathNotFound;
  } else if (target->kind != sim::NodeKind::Missing) {
    error = kErrorAlreadyExists;
  } else if (!target->parent_is_folder) {
    error = kErrorPathNotFound;
  } else if (source->host == files_root_ || Within(target->host, source->host) ||
             (fs::rename(source->host, target->host, ec), ec)) {
    // The root, a folder into itself, or a rename the host refused.
    error = kErrorAccessDenied;
  }
  return Ended(error);
}

Done DeviceOps::RemoveDirectory(const std::u16string& path) {
  const Done gate = Gate("CeRemoveDirectory", path, kErrorAccessDenied);
  if (gate.lost || !gate.ok) return gate;
  const auto at = sim::Locate(files_root_, path);
  std::error_code ec;
  std::uint32_t error = 0;
  if (!at) {
    error = kErrorInvalidName;
  } else if (at->kind == sim::NodeKind::Missing) {
    error = at->parent_is_folder ? kErrorFileNotFound : kErrorPathNotFound;
  } else if (at->kind == sim::NodeKind::File) {
    error = kErrorDirectory;
  } else if (at->host != files_root_ && fs::is_empty(at->host, ec) && !ec) {
    if (!fs::remove(at->host, ec)) error = kErrorAccessDenied;
  } else {
    // The root, a folder that holds something, or one that cannot be read.
    error = at->host == files_root_ || ec ? kErrorAccessDenied : kErrorDirNotEmpty;
  }
  return Ended(error);
}

Done DeviceOps::FindFirstFile(const std::u16string& pattern, SessionOwned& owned,
                              std::uint32_t& handle, const CeFindData*& first) {
  std::uint32_t count = 0;
  CeFindData* records = nullptr;
  const bool ok = device_.CeFindAllFiles(pattern, kAllFields, &count, &records);
  const Done done = After(ok);
  if (done.lost || !ok || count == 0) {
    if (records) device_.CeRapiFreeBuffer(records);
    if (done.lost) return done;
    return Done{false, false, ok ? kErrorNoMoreFiles : done.error};
  }
  Search search;
  search.records.assign(records, records + count);
  search.next = 1;
  device_.CeRapiFreeBuffer(records);
  handle = next_search_;
  next_search_ += 4;
  first = &searches_.emplace(handle, std::move(search)).first->second.records.front();
  owned.finds.insert(handle);
  return Ended(0);
}

Done DeviceOps::FindNextFile(std::uint32_t handle, const CeFindData*& record) {
  Done done = Gate("CeFindNextFile", {}, kErrorInvalidHandle);
  if (done.lost) return done;
  std::uint32_t error = done.error;
  const auto it = searches_.find(handle);
  if (done.ok && it == searches_.end()) error = kErrorInvalidHandle;
  if (error == 0 && it->second.next >= it->second.records.size()) error = kErrorNoMoreFiles;
  if (error == 0) record = &it->second.records[it->second.next++];
  return Ended(error);
}

Done DeviceOps::FindClose(std::uint32_t handle, SessionOwned& owned) {
  const Done gate = Gate("CeFindClose", {}, kErrorInvalidHandle);
  if (gate.lost) return gate;
  owned.finds.erase(handle);
  std::uint32_t error = gate.error;
  if (searches_.erase(handle) == 0 && error == 0) error = kErrorInvalidHandle;
  return Ended(error);
}

Done DeviceOps::Admit(std::string_view operation) {
  return Gate(operation, {}, kErrorGenFailure);
}

Done DeviceOps::GetStoreInformation(std::uint32_t& capacity, std::uint32_t& available) {
  capacity = 0;
  available = 0;
  const Done gate = Admit("CeGetStoreInformation");
  if (gate.lost || !gate.ok) return gate;
  std::error_code ec;
  const fs::space_info space = fs::space(files_root_, ec);
  if (ec) return Ended(kErrorReadFault);
  capacity = Clamp32(space.capacity);
  available = Clamp32(space.available);
  return Ended(0);
}

Done DeviceOps::GetSpecialFolderPath(std::span<const SpecialFolder> folders, std::uint32_t csidl,
                                     std::uint32_t room, std::u16string_view& path) {
  const Done gate = Admit("CeGetSpecialFolderPath");
  if (gate.lost || !gate.ok) return gate;
  const auto it = std::find_if(folders.begin(), folders.end(),
                               [&](const SpecialFolder& entry) { return entry.first == csidl; });
  if (it == folders.end()) return Ended(kErrorInvalidParameter);
  if (it->second.size() + 1 > room) return Ended(kErrorInsufficientBuffer);
  path = it->second;
  return Ended(0);
}

}  // namespace zp::handheld
