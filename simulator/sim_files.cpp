// The simulated handheld's files: create, read, write, close, attributes,
// folders and deletion, all below the device folder's files/.
#include <algorithm>
#include <system_error>

#include "simulator/sim_paths.h"
#include "simulator/sim_state.h"

namespace zp {
namespace fs = std::filesystem;

namespace {

// OPEN_ALWAYS (4) lies between: it opens or creates, as any accepted disposition may.
constexpr std::uint32_t kTruncateExisting = 5;

// The filebuf mode for an open file: `fresh` when the file is created or
// emptied by the open.
std::ios::openmode ModeFor(bool read, bool write, bool fresh) {
  std::ios::openmode mode = std::ios::binary;
  if (fresh) return mode | std::ios::out | std::ios::trunc | (read ? std::ios::in : mode);
  if (write) return mode | std::ios::in | std::ios::out;  // keeps the bytes
  return mode | std::ios::in;
}

}  // namespace

CeHandle SimulatedDevice::CeCreateFile(const std::u16string& path, std::uint32_t access,
                                       std::uint32_t /*share*/, std::uint32_t disposition,
                                       std::uint32_t /*attributes*/) {
  State& s = *state_;
  if (s.Gate("CeCreateFile", path, kErrorAccessDenied) == sim::Admit::Refuse) {
    return kInvalidCeHandle;
  }
  const bool read = (access & kGenericRead) != 0;
  const bool write = (access & kGenericWrite) != 0;
  const auto at = sim::Locate(s.files_root, path);
  if ((!read && !write) || disposition < kCreateNew || disposition > kTruncateExisting ||
      (disposition == kTruncateExisting && !write)) {
    s.Error(kErrorInvalidParameter);
    return kInvalidCeHandle;
  }
  if (!at) {
    s.Error(kErrorInvalidName);
    return kInvalidCeHandle;
  }
  bool fresh = false;
  switch (at->kind) {
    case sim::NodeKind::Folder:
      s.Error(disposition == kCreateNew ? kErrorFileExists : kErrorAccessDenied);
      return kInvalidCeHandle;
    case sim::NodeKind::Missing:
      if (!at->parent_is_folder) {
        s.Error(kErrorPathNotFound);
        return kInvalidCeHandle;
      }
      if (disposition == kOpenExisting || disposition == kTruncateExisting) {
        s.Error(kErrorFileNotFound);
        return kInvalidCeHandle;
      }
      fresh = true;
      break;
    case sim::NodeKind::File:
      if (disposition == kCreateNew) {
        s.Error(kErrorFileExists);
        return kInvalidCeHandle;
      }
      fresh = disposition == kCreateAlways || disposition == kTruncateExisting;
      break;
  }
  sim::OpenHandle handle;
  handle.device_path = path;
  handle.host = at->host;
  handle.can_read = read;
  handle.can_write = write;
  handle.file = std::make_unique<std::filebuf>();
  if (!handle.file->open(at->host, ModeFor(read, write, fresh))) {
    s.Error(kErrorAccessDenied);
    return kInvalidCeHandle;
  }
  return s.AddHandle(std::move(handle));
}

bool SimulatedDevice::CeReadFile(CeHandle file, void* buffer, std::uint32_t size,
                                 std::uint32_t* got) {
  State& s = *state_;
  const auto it = s.handles.find(file);
  const std::u16string path = it != s.handles.end() ? it->second.device_path : std::u16string();
  if (got) *got = 0;
  if (s.Gate("CeReadFile", path, kErrorReadFault) == sim::Admit::Refuse) return false;
  if (it == s.handles.end() || !it->second.file) return s.Error(kErrorInvalidHandle);
  sim::OpenHandle& h = it->second;
  if (!h.can_read) return s.Error(kErrorAccessDenied);
  if (!got || (!buffer && size > 0)) return s.Error(kErrorInvalidParameter);
  if (h.writing) {
    h.file->pubseekoff(0, std::ios::cur);
    h.writing = false;
  }
  const std::streamsize n = h.file->sgetn(static_cast<char*>(buffer), size);
  *got = static_cast<std::uint32_t>(std::max<std::streamsize>(n, 0));
  return true;
}

bool SimulatedDevice::CeWriteFile(CeHandle file, const void* buffer, std::uint32_t size,
                                  std::uint32_t* put) {
  State& s = *state_;
  const auto it = s.handles.find(file);
  const std::u16string path = it != s.handles.end() ? it->second.device_path : std::u16string();
  if (put) *put = 0;
  const sim::Admit admit = s.Gate("CeWriteFile", path, kErrorWriteFault);
  if (admit == sim::Admit::Refuse) return false;
  if (it == s.handles.end() || !it->second.file) return s.Error(kErrorInvalidHandle);
  sim::OpenHandle& h = it->second;
  if (!h.can_write) return s.Error(kErrorAccessDenied);
  if (!put || (!buffer && size > 0)) return s.Error(kErrorInvalidParameter);
  if (!h.writing) {
    h.file->pubseekoff(0, std::ios::cur);
    h.writing = true;
  }
  const std::uint32_t want = admit == sim::Admit::ShortWrite ? size / 2 : size;
  const std::streamsize n = h.file->sputn(static_cast<const char*>(buffer), want);
  // Written through, so that the folder always shows what the device holds.
  const bool synced = h.file->pubsync() == 0;
  *put = static_cast<std::uint32_t>(std::max<std::streamsize>(n, 0));
  if (*put != want || !synced) return s.Error(kErrorDiskFull);
  return true;
}

bool SimulatedDevice::CeCloseHandle(CeHandle handle) {
  State& s = *state_;
  auto node = s.handles.extract(handle);
  const std::u16string path = node ? node.mapped().device_path : std::u16string();
  // The handle is released whatever the call reports: a failed close still
  // ends the caller's use of it, and OpenHandles() is about what the caller
  // never gave back.
  const bool closed = !node || !node.mapped().file || node.mapped().file->close() != nullptr;
  if (s.Gate("CeCloseHandle", path, kErrorInvalidHandle) == sim::Admit::Refuse) return false;
  if (!node) return s.Error(kErrorInvalidHandle);
  if (!closed) return s.Error(kErrorWriteFault);
  return true;
}

std::uint32_t SimulatedDevice::CeGetFileAttributes(const std::u16string& path) {
  State& s = *state_;
  if (s.Gate("CeGetFileAttributes", path, kErrorFileNotFound) == sim::Admit::Refuse) {
    return kInvalidAttributes;
  }
  const auto at = sim::Locate(s.files_root, path);
  if (!at) {
    s.Error(kErrorInvalidName);
    return kInvalidAttributes;
  }
  switch (at->kind) {
    case sim::NodeKind::Folder:
      return kAttributeDirectory;
    case sim::NodeKind::File:
      return kFileAttributeNormal;
    case sim::NodeKind::Missing:
      break;
  }
  s.Error(at->parent_is_folder ? kErrorFileNotFound : kErrorPathNotFound);
  return kInvalidAttributes;
}

bool SimulatedDevice::CeCreateDirectory(const std::u16string& path) {
  State& s = *state_;
  if (s.Gate("CeCreateDirectory", path, kErrorAccessDenied) == sim::Admit::Refuse) return false;
  const auto at = sim::Locate(s.files_root, path);
  if (!at) return s.Error(kErrorInvalidName);
  if (at->kind != sim::NodeKind::Missing) return s.Error(kErrorAlreadyExists);
  if (!at->parent_is_folder) return s.Error(kErrorPathNotFound);
  std::error_code ec;
  if (!fs::create_directory(at->host, ec)) return s.Error(kErrorAccessDenied);
  return true;
}

bool SimulatedDevice::CeDeleteFile(const std::u16string& path) {
  State& s = *state_;
  const sim::Admit admit = s.Gate("CeDeleteFile", path, kErrorAccessDenied);
  if (admit == sim::Admit::Refuse) return false;
  const auto at = sim::Locate(s.files_root, path);
  if (!at) return s.Error(kErrorInvalidName);
  if (at->kind == sim::NodeKind::Folder) return s.Error(kErrorAccessDenied);
  if (at->kind == sim::NodeKind::Missing) {
    return s.Error(at->parent_is_folder ? kErrorFileNotFound : kErrorPathNotFound);
  }
  // As on the device, a file that is open cannot be deleted.
  const auto open = std::any_of(s.handles.begin(), s.handles.end(), [&](const auto& entry) {
    return entry.second.file && entry.second.host == at->host;
  });
  if (open) return s.Error(kErrorSharingViolation);
  std::error_code ec;
  if (!fs::remove(at->host, ec)) return s.Error(kErrorAccessDenied);
  return admit == sim::Admit::ServeThenFail ? s.LoseReply(kErrorGenFailure) : true;
}

}  // namespace zp
