// The older remote API's file calls the simulated handheld does not have,
// made here on the world's files/ through the same fault rules: moves,
// folder removal, and the find handles (served from one CeFindAllFiles).
#include <algorithm>
#include <system_error>

#include "platform/platform.h"
#include "simulator/handheld/legacy_calls.h"
#include "simulator/handheld/wire_values.h"
#include "simulator/sim_paths.h"
#include "simulator/sim_state.h"

namespace zp::handheld {
namespace fs = std::filesystem;
namespace {

using link::WireReader;
using link::WireWriter;

constexpr std::uint32_t kErrorDirectory = 267;  // ERROR_DIRECTORY: not a folder
constexpr std::uint32_t kAllFields = 0xFF;

// le, rv, and the record when there is one (u32 n, n bytes) as the find
// calls reply.
void FindReply(WireWriter& out, std::uint32_t error, std::uint32_t result,
               const CeFindData* record) {
  out.U32(error).U32(result);
  if (!record) {
    out.U32(0);
    return;
  }
  out.U32(kRecordSize);
  WriteRecord(out, *record);
}

// True when `inner` is `outer` or lies below it.
bool Within(const fs::path& inner, const fs::path& outer) {
  return std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end()).first == outer.end();
}

}  // namespace

Served LegacyCalls::MoveFile(WireReader& in, WireWriter& out, SessionOwned&) {
  const std::u16string from = OptionalText(in);
  const std::u16string to = OptionalText(in);
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t error = 0;
  const Admit admit = Gate("CeMoveFile", from, kErrorAccessDenied, error);
  if (admit == Admit::LinkLost) return Served::LinkLost;
  if (admit == Admit::Serve) {
    const auto source = sim::Locate(files_root_, from);
    const auto target = sim::Locate(files_root_, to);
    std::error_code ec;
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
  }
  LastErrorAndResult(out, error == 0, error, error == 0 ? 1 : 0);
  return Served::Reply;
}

Served LegacyCalls::RemoveDirectory(WireReader& in, WireWriter& out, SessionOwned&) {
  const std::u16string path = OptionalText(in);
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t error = 0;
  const Admit admit = Gate("CeRemoveDirectory", path, kErrorAccessDenied, error);
  if (admit == Admit::LinkLost) return Served::LinkLost;
  if (admit == Admit::Serve) {
    const auto at = sim::Locate(files_root_, path);
    std::error_code ec;
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
  }
  LastErrorAndResult(out, error == 0, error, error == 0 ? 1 : 0);
  return Served::Reply;
}

// Served from one CeFindAllFiles of the pattern (its fault rules apply);
// the records are kept until CeFindClose or the session's end.
Served LegacyCalls::FindFirstFile(WireReader& in, WireWriter& out, SessionOwned& owned) {
  const std::u16string pattern = PlainText(in);
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t count = 0;
  CeFindData* records = nullptr;
  const bool ok = device_.CeFindAllFiles(pattern, kAllFields, &count, &records);
  const Served after = After();
  if (after == Served::LinkLost || !ok || count == 0) {
    if (records) device_.CeRapiFreeBuffer(records);
    if (after == Served::LinkLost) return after;
    FindReply(out, ok ? kErrorNoMoreFiles : device_.CeGetLastError(), kWireInvalidHandle, nullptr);
    return Served::Reply;
  }
  Search search;
  search.records.assign(records, records + count);
  search.next = 1;
  device_.CeRapiFreeBuffer(records);
  const std::uint32_t handle = next_search_;
  next_search_ += 4;
  FindReply(out, 0, handle, &search.records.front());
  searches_.emplace(handle, std::move(search));
  owned.finds.insert(handle);
  return Served::Reply;
}

Served LegacyCalls::FindNextFile(WireReader& in, WireWriter& out, SessionOwned&) {
  const std::uint32_t handle = in.U32();
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t error = 0;
  const Admit admit = Gate("CeFindNextFile", {}, kErrorInvalidHandle, error);
  if (admit == Admit::LinkLost) return Served::LinkLost;
  const auto it = searches_.find(handle);
  if (admit == Admit::Serve && it == searches_.end()) error = kErrorInvalidHandle;
  if (error == 0 && it->second.next >= it->second.records.size()) error = kErrorNoMoreFiles;
  if (error != 0) {
    FindReply(out, error, 0, nullptr);
    return Served::Reply;
  }
  FindReply(out, 0, 1, &it->second.records[it->second.next++]);
  return Served::Reply;
}

Served LegacyCalls::FindClose(WireReader& in, WireWriter& out, SessionOwned& owned) {
  const std::uint32_t handle = in.U32();
  if (!in.ok()) return Served::Unreadable;
  std::uint32_t error = 0;
  const Admit admit = Gate("CeFindClose", {}, kErrorInvalidHandle, error);
  if (admit == Admit::LinkLost) return Served::LinkLost;
  owned.finds.erase(handle);
  if (searches_.erase(handle) == 0 && error == 0) error = kErrorInvalidHandle;
  LastErrorAndResult(out, error == 0, error, error == 0 ? 1 : 0);
  return Served::Reply;
}

}  // namespace zp::handheld
