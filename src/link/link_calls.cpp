// The remote API calls over the link, each with its request and its reply.
#include <algorithm>
#include <cstring>

#include "link/link_device.h"
#include "link/protocol.h"
#include "platform/platform.h"

namespace zp::link {
namespace {

constexpr std::uint32_t kDeviceInvalidHandle = 0xFFFFFFFFu;
/// The longest name a device file can have, its NUL included, in bytes.
constexpr std::uint32_t kMaxNameBytes = 260 * 2;

WireWriter Request(std::uint32_t command) {
  WireWriter out;
  out.U32(command);
  return out;
}

std::uint32_t Wire(CeHandle handle) {
  return static_cast<std::uint32_t>(handle);
}
std::uint32_t Wire(CeKey key) {
  return static_cast<std::uint32_t>(key);
}

CeHandle FromWire(std::uint32_t handle) {
  return handle == kDeviceInvalidHandle ? kInvalidCeHandle : static_cast<CeHandle>(handle);
}

// The reply's out data, after "le, rv".
WireReader OutData(const std::vector<std::uint8_t>& body) {
  WireReader in(body);
  in.Skip(8);
  return in;
}

// Whether CeFindAllFiles succeeded. Its reply has, between the last error
// and the count, one word whose meaning is not documented; it is taken as
// the call's BOOL result, as every other call's second word is.
bool FindAllFilesSucceeded(std::uint32_t word) {
  return word != 0;
}

// The smallest entry the flags ask for, in bytes.
std::uint32_t EntryBytes(std::uint32_t flags) {
  std::uint32_t bytes = 0;
  if (flags & kFafName) bytes += 4;
  if (flags & kFafAttributes) bytes += 4;
  if (flags & kFafCreationTime) bytes += 8;
  if (flags & kFafLastAccessTime) bytes += 8;
  if (flags & kFafLastWriteTime) bytes += 8;
  if (flags & kFafSizeHigh) bytes += 4;
  if (flags & kFafSizeLow) bytes += 4;
  if (flags & kFafOid) bytes += 4;
  return bytes;
}

// One entry of a listing into its record; false when it does not add up.
bool ReadEntry(WireReader& in, std::uint32_t flags, CeFindData& record) {
  const std::uint32_t name_bytes = (flags & kFafName) ? in.U32() : 0;
  if (flags & kFafAttributes) record.dwFileAttributes = in.U32();
  for (const auto& [flag, time] : {std::pair{kFafCreationTime, record.ftCreationTime},
                                   std::pair{kFafLastAccessTime, record.ftLastAccessTime},
                                   std::pair{kFafLastWriteTime, record.ftLastWriteTime}}) {
    if (flags & flag) {
      time[0] = in.U32();
      time[1] = in.U32();
    }
  }
  if (flags & kFafSizeHigh) record.nFileSizeHigh = in.U32();
  if (flags & kFafSizeLow) record.nFileSizeLow = in.U32();
  if (flags & kFafOid) record.dwOID = in.U32();
  if (!(flags & kFafName)) return in.ok();
  // A name longer than 259 characters cannot be a device name.
  if (!in.ok() || name_bytes % 2 != 0 || name_bytes > kMaxNameBytes) return false;
  std::u16string name = in.Utf16(name_bytes / 2);
  if (!name.empty() && name.back() == u'\0') name.pop_back();
  if (!in.ok() || name.size() > 259 || name.find(u'\0') != std::u16string::npos) return false;
  std::copy(name.begin(), name.end(), record.cFileName);
  record.cFileName[name.size()] = u'\0';
  return true;
}

}  // namespace

CeHandle LinkDevice::CeCreateFile(const std::u16string& path, std::uint32_t access,
                                  std::uint32_t share, std::uint32_t disposition,
                                  std::uint32_t attributes) {
  WireWriter request = Request(kCmdCreateFile);
  request.String(path).U32(access).U32(share).U32(disposition).U32(attributes).U32(0);
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeCreateFile");
  return rv ? FromWire(*rv) : kInvalidCeHandle;
}

bool LinkDevice::CeReadFile(CeHandle file, void* buffer, std::uint32_t size, std::uint32_t* got) {
  *got = 0;
  // One request asks at most this much; a read may give fewer bytes than asked.
  const std::uint32_t asked = std::min(size, kMaxTransfer);
  WireWriter request = Request(kCmdReadFile);
  request.U32(Wire(file)).U32(asked);
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeReadFile");
  if (!rv) return false;
  WireReader in = OutData(reply.body);
  const std::uint32_t read = in.U32();
  if (!in.ok() || read > asked) {
    Malformed("CeReadFile");
    return false;
  }
  const auto bytes = in.Bytes(read);
  if (!in.ok()) {
    Malformed("CeReadFile");
    return false;
  }
  if (read > 0) std::memcpy(buffer, bytes.data(), read);
  *got = read;
  return *rv != 0;
}

bool LinkDevice::CeWriteFile(CeHandle file, const void* buffer, std::uint32_t size,
                             std::uint32_t* put) {
  *put = 0;
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  do {
    const std::uint32_t part = std::min(size - *put, kMaxTransfer);
    WireWriter request = Request(kCmdWriteFile);
    request.U32(Wire(file)).U32(part).Bytes(bytes + *put, part);
    Reply reply;
    const auto rv = CallLeRv(request, reply, "CeWriteFile");
    if (!rv) return false;
    WireReader in = OutData(reply.body);
    const std::uint32_t written = in.U32();
    if (!in.ok() || written > part) {
      Malformed("CeWriteFile");
      return false;
    }
    *put += written;
    if (*rv == 0) return false;
    if (written < part) return true;
  } while (*put < size);
  return true;
}

bool LinkDevice::CeCloseHandle(CeHandle handle) {
  WireWriter request = Request(kCmdCloseHandle);
  request.U32(Wire(handle));
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeCloseHandle");
  return rv && *rv != 0;
}

std::uint32_t LinkDevice::CeGetFileAttributes(const std::u16string& path) {
  WireWriter request = Request(kCmdGetFileAttributes);
  request.String(path);
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeGetFileAttributes");
  return rv ? *rv : kInvalidAttributes;
}

bool LinkDevice::CeCreateDirectory(const std::u16string& path) {
  WireWriter request = Request(kCmdCreateDirectory);
  request.String(path);
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeCreateDirectory");
  return rv && *rv != 0;
}

bool LinkDevice::CeDeleteFile(const std::u16string& path) {
  WireWriter request = Request(kCmdDeleteFile);
  request.String(path);
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeDeleteFile");
  return rv && *rv != 0;
}

bool LinkDevice::CeFindAllFiles(const std::u16string& pattern, std::uint32_t flags,
                                std::uint32_t* count, CeFindData** records) {
  *count = 0;
  *records = nullptr;
  WireWriter request = Request(kCmdFindAllFiles);
  request.String(pattern).U32(flags);
  const auto reply = Call(request, kMaxListingFrame);
  if (!reply) return false;
  WireReader in = reply->reader();
  last_error_ = in.U32();
  const std::uint32_t result = in.U32();
  const std::uint32_t entries = in.U32();
  if (!in.ok()) {
    Malformed("CeFindAllFiles");
    return false;
  }
  if (!FindAllFilesSucceeded(result)) return false;
  // The count is checked against the bytes that hold the entries before any
  // record is made; with flags that ask for nothing, against the cap.
  const std::uint32_t least = EntryBytes(flags);
  const std::uint64_t most = least == 0 ? kMaxListingFrame / sizeof(CeFindData) : in.left() / least;
  if (entries > most) {
    Malformed("CeFindAllFiles");
    return false;
  }
  if (entries == 0) return true;
  auto made = std::make_unique<CeFindData[]>(entries);
  for (std::uint32_t i = 0; i < entries; ++i) {
    if (!ReadEntry(in, flags, made[i])) {
      Malformed("CeFindAllFiles");
      return false;
    }
  }
  *count = entries;
  *records = made.get();
  buffers_.emplace(made.get(), std::move(made));
  return true;
}

void LinkDevice::CeRapiFreeBuffer(void* buffer) {
  buffers_.erase(buffer);
}

std::int32_t LinkDevice::CeRegOpenKeyEx(CeKey root, const std::u16string& subkey, CeKey* opened) {
  *opened = kNoCeKey;
  WireWriter request = Request(kCmdRegOpenKeyEx);
  request.U32(Wire(root)).String(subkey);
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeRegOpenKeyEx");
  if (!rv) return LinkCode();
  if (*rv != 0) return static_cast<std::int32_t>(*rv);
  WireReader in = OutData(reply.body);
  const std::uint32_t key = in.U32();
  if (!in.ok()) {
    Malformed("CeRegOpenKeyEx");
    return LinkCode();
  }
  *opened = static_cast<CeKey>(key);
  return 0;
}

std::int32_t LinkDevice::CeRegCreateKeyEx(CeKey root, const std::u16string& subkey, CeKey* opened,
                                          std::uint32_t* disposition) {
  *opened = kNoCeKey;
  WireWriter request = Request(kCmdRegCreateKeyEx);
  request.U32(Wire(root)).String(subkey).NullString();
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeRegCreateKeyEx");
  if (!rv) return LinkCode();
  if (*rv != 0) return static_cast<std::int32_t>(*rv);
  WireReader in = OutData(reply.body);
  const std::uint32_t key = in.U32();
  const std::uint32_t how = in.U32();
  if (!in.ok()) {
    Malformed("CeRegCreateKeyEx");
    return LinkCode();
  }
  *opened = static_cast<CeKey>(key);
  if (disposition) *disposition = how;
  return 0;
}

std::int32_t LinkDevice::CeRegQueryValueEx(CeKey key, const std::u16string& name,
                                           std::uint32_t* type, std::uint8_t* data,
                                           std::uint32_t* size) {
  WireWriter request = Request(kCmdRegQueryValueEx);
  request.U32(Wire(key)).String(name).U32(*size);
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeRegQueryValueEx");
  if (!rv) return LinkCode();
  if (*rv != 0) return static_cast<std::int32_t>(*rv);
  WireReader in = OutData(reply.body);
  const std::uint32_t value_type = in.U32();
  const std::uint32_t value_size = in.U32();
  // More bytes than the buffer holds is a reply that does not add up.
  if (!in.ok() || value_size > *size) {
    Malformed("CeRegQueryValueEx");
    return LinkCode();
  }
  const auto bytes = in.Bytes(value_size);
  if (!in.ok()) {
    Malformed("CeRegQueryValueEx");
    return LinkCode();
  }
  if (type) *type = value_type;
  if (data && value_size > 0) std::memcpy(data, bytes.data(), value_size);
  *size = value_size;
  return 0;
}

std::int32_t LinkDevice::CeRegSetValueEx(CeKey key, const std::u16string& name, std::uint32_t type,
                                         const std::uint8_t* data, std::uint32_t size) {
  WireWriter request = Request(kCmdRegSetValueEx);
  request.U32(Wire(key)).String(name).U32(type).U32(size).Bytes(data, size);
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeRegSetValueEx");
  return rv ? static_cast<std::int32_t>(*rv) : LinkCode();
}

std::int32_t LinkDevice::CeRegCloseKey(CeKey key) {
  WireWriter request = Request(kCmdRegCloseKey);
  request.U32(Wire(key));
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeRegCloseKey");
  return rv ? static_cast<std::int32_t>(*rv) : LinkCode();
}

bool LinkDevice::CeCreateProcess(const std::u16string& application,
                                 const std::u16string& command_line, CeProcessInfo* info) {
  WireWriter request = Request(kCmdCreateProcess);
  request.String(application);
  if (command_line.empty()) {
    request.NullString();
  } else {
    request.String(command_line);
  }
  for (const std::uint32_t word : {0u, 0u, 0u, 0u, 0u, 0u, 0u}) request.U32(word);
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeCreateProcess");
  if (!rv) return false;
  if (*rv == 0) return false;
  WireReader in = OutData(reply.body);
  const std::uint32_t process = in.U32();
  const std::uint32_t thread = in.U32();
  const std::uint32_t process_id = in.U32();
  const std::uint32_t thread_id = in.U32();
  if (!in.ok()) {
    Malformed("CeCreateProcess");
    return false;
  }
  info->hProcess = FromWire(process);
  info->hThread = FromWire(thread);
  info->dwProcessId = process_id;
  info->dwThreadId = thread_id;
  return true;
}

void LinkDevice::CeGetSystemInfo(CeSystemInfo* info) {
  constexpr std::uint32_t kSystemInfoBytes = 36;
  WireWriter request = Request(kCmdGetSystemInfo);
  request.U32(1).U32(kSystemInfoBytes).U32(0);
  const auto reply = Call(request, kMaxFrame);
  if (!reply) return;
  // Its reply has no return value: the last error, then the structure.
  WireReader in = reply->reader();
  last_error_ = in.U32();
  in.Skip(24);
  const std::uint32_t processor = in.U32();
  in.Skip(8);
  if (!in.ok()) {
    Malformed("CeGetSystemInfo");
    return;
  }
  info->dwProcessorType = processor;
}

}  // namespace zp::link
