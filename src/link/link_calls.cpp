// The remote API calls over the link, each with its request; the replies
// are read by the parsers of replies.h.
#include <algorithm>
#include <cstring>

#include "link/call_words.h"
#include "link/legacy_protocol.h"
#include "link/link_device.h"
#include "link/protocol.h"
#include "link/replies.h"
#include "platform/platform.h"

namespace zp::link {
namespace {

// The reply's out data, after "le, rv".
std::span<const std::uint8_t> OutData(const std::vector<std::uint8_t>& body) {
  return std::span<const std::uint8_t>(body).subspan(8);
}

}  // namespace

CeHandle LinkDevice::CeCreateFile(const std::u16string& path, std::uint32_t access,
                                  std::uint32_t share, std::uint32_t disposition,
                                  std::uint32_t attributes) {
  if (legacy_) return LegacyCreateFile(path, access, share, disposition, attributes);
  WireWriter request = Request(kCmdCreateFile);
  request.String(path).U32(access).U32(share).U32(disposition).U32(attributes).U32(0);
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeCreateFile");
  return rv ? HandleFromWire(*rv) : kInvalidCeHandle;
}

bool LinkDevice::CeReadFile(CeHandle file, void* buffer, std::uint32_t size, std::uint32_t* got) {
  if (legacy_) return LegacyReadFile(file, buffer, size, got);
  *got = 0;
  // One request asks at most this much; a read may give fewer bytes than asked.
  const std::uint32_t asked = std::min(size, kMaxTransfer);
  WireWriter request = Request(kCmdReadFile);
  request.U32(Wire(file)).U32(asked);
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeReadFile");
  if (!rv) return false;
  const auto bytes = ParseReadData(OutData(reply.body), asked);
  if (!bytes) {
    Malformed("CeReadFile");
    return false;
  }
  if (!bytes->empty()) std::memcpy(buffer, bytes->data(), bytes->size());
  *got = static_cast<std::uint32_t>(bytes->size());
  return *rv != 0;
}

bool LinkDevice::CeWriteFile(CeHandle file, const void* buffer, std::uint32_t size,
                             std::uint32_t* put) {
  if (legacy_) return LegacyWriteFile(file, buffer, size, put);
  *put = 0;
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  do {
    const std::uint32_t part = std::min(size - *put, kMaxTransfer);
    WireWriter request = Request(kCmdWriteFile);
    request.U32(Wire(file)).U32(part).Bytes(bytes + *put, part);
    Reply reply;
    const auto rv = CallLeRv(request, reply, "CeWriteFile");
    if (!rv) return false;
    const auto written = ParseWritten(OutData(reply.body), part);
    if (!written) {
      Malformed("CeWriteFile");
      return false;
    }
    *put += *written;
    if (*rv == 0) return false;
    if (*written < part) return true;
  } while (*put < size);
  return true;
}

bool LinkDevice::CeCloseHandle(CeHandle handle) {
  if (legacy_) return LegacyBoolCall(kLegCloseHandle, Wire(handle), "CeCloseHandle");
  WireWriter request = Request(kCmdCloseHandle);
  request.U32(Wire(handle));
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeCloseHandle");
  return rv && *rv != 0;
}

std::uint32_t LinkDevice::CeGetFileAttributes(const std::u16string& path) {
  if (legacy_) return LegacyGetFileAttributes(path);
  WireWriter request = Request(kCmdGetFileAttributes);
  request.String(path);
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeGetFileAttributes");
  return rv ? *rv : kInvalidAttributes;
}

bool LinkDevice::CeCreateDirectory(const std::u16string& path) {
  if (legacy_) return LegacyPathCall(kLegCreateDirectory, path, true, "CeCreateDirectory");
  WireWriter request = Request(kCmdCreateDirectory);
  request.String(path);
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeCreateDirectory");
  return rv && *rv != 0;
}

bool LinkDevice::CeDeleteFile(const std::u16string& path) {
  if (legacy_) return LegacyPathCall(kLegDeleteFile, path, false, "CeDeleteFile");
  WireWriter request = Request(kCmdDeleteFile);
  request.String(path);
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeDeleteFile");
  return rv && *rv != 0;
}

bool LinkDevice::CeFindAllFiles(const std::u16string& pattern, std::uint32_t flags,
                                std::uint32_t* count, CeFindData** records) {
  if (legacy_) return LegacyFindAllFiles(pattern, flags, count, records);
  *count = 0;
  *records = nullptr;
  WireWriter request = Request(kCmdFindAllFiles);
  request.String(pattern).U32(flags);
  const auto reply = Call(request, kMaxListingFrame);
  if (!reply) return false;
  last_error_ = reply->body.size() >= 4 ? WireReader(reply->body).U32() : 0;
  auto listing = ParseListing(reply->body, flags);
  if (!listing) {
    Malformed("CeFindAllFiles");
    return false;
  }
  if (listing->result == 0) return false;
  *count = listing->count;
  if (listing->records) {
    *records = listing->records.get();
    buffers_.emplace(listing->records.get(), std::move(listing->records));
  }
  return true;
}

void LinkDevice::CeRapiFreeBuffer(void* buffer) {
  buffers_.erase(buffer);
}

std::int32_t LinkDevice::CeRegOpenKeyEx(CeKey root, const std::u16string& subkey, CeKey* opened) {
  if (legacy_) return LegacyRegOpenKeyEx(root, subkey, opened, nullptr, false);
  *opened = kNoCeKey;
  WireWriter request = Request(kCmdRegOpenKeyEx);
  request.U32(Wire(root)).String(subkey);
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeRegOpenKeyEx");
  if (!rv) return LinkCode();
  if (*rv != 0) return static_cast<std::int32_t>(*rv);
  const auto key = ParseKey(OutData(reply.body), false);
  if (!key) {
    Malformed("CeRegOpenKeyEx");
    return LinkCode();
  }
  *opened = static_cast<CeKey>(key->key);
  return 0;
}

std::int32_t LinkDevice::CeRegCreateKeyEx(CeKey root, const std::u16string& subkey, CeKey* opened,
                                          std::uint32_t* disposition) {
  if (legacy_) return LegacyRegOpenKeyEx(root, subkey, opened, disposition, true);
  *opened = kNoCeKey;
  WireWriter request = Request(kCmdRegCreateKeyEx);
  request.U32(Wire(root)).String(subkey).NullString();
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeRegCreateKeyEx");
  if (!rv) return LinkCode();
  if (*rv != 0) return static_cast<std::int32_t>(*rv);
  const auto key = ParseKey(OutData(reply.body), true);
  if (!key) {
    Malformed("CeRegCreateKeyEx");
    return LinkCode();
  }
  *opened = static_cast<CeKey>(key->key);
  if (disposition) *disposition = key->disposition;
  return 0;
}

std::int32_t LinkDevice::CeRegQueryValueEx(CeKey key, const std::u16string& name,
                                           std::uint32_t* type, std::uint8_t* data,
                                           std::uint32_t* size) {
  if (legacy_) return LegacyRegQueryValueEx(key, name, type, data, size);
  WireWriter request = Request(kCmdRegQueryValueEx);
  request.U32(Wire(key)).String(name).U32(*size);
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeRegQueryValueEx");
  if (!rv) return LinkCode();
  if (*rv != 0) return static_cast<std::int32_t>(*rv);
  const auto value = ParseQueriedValue(OutData(reply.body), *size);
  if (!value) {
    Malformed("CeRegQueryValueEx");
    return LinkCode();
  }
  if (type) *type = value->type;
  if (data && !value->data.empty()) std::memcpy(data, value->data.data(), value->data.size());
  *size = static_cast<std::uint32_t>(value->data.size());
  return 0;
}

std::int32_t LinkDevice::CeRegSetValueEx(CeKey key, const std::u16string& name, std::uint32_t type,
                                         const std::uint8_t* data, std::uint32_t size) {
  if (legacy_) return LegacyRegSetValueEx(key, name, type, data, size);
  WireWriter request = Request(kCmdRegSetValueEx);
  request.U32(Wire(key)).String(name).U32(type).U32(size).Bytes(data, size);
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeRegSetValueEx");
  return rv ? static_cast<std::int32_t>(*rv) : LinkCode();
}

std::int32_t LinkDevice::CeRegCloseKey(CeKey key) {
  if (legacy_) return LegacyRegCloseKey(key);
  WireWriter request = Request(kCmdRegCloseKey);
  request.U32(Wire(key));
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeRegCloseKey");
  return rv ? static_cast<std::int32_t>(*rv) : LinkCode();
}

bool LinkDevice::CeCreateProcess(const std::u16string& application,
                                 const std::u16string& command_line, CeProcessInfo* info) {
  if (legacy_) return LegacyCreateProcess(application, command_line, info);
  WireWriter request = Request(kCmdCreateProcess);
  request.String(application);
  if (command_line.empty()) {
    request.NullString();
  } else {
    request.String(command_line);
  }
  // Process and thread attributes, inheritance, creation flags, environment,
  // current folder, startup info: none.
  for (int i = 0; i < 7; ++i) request.U32(0);
  Reply reply;
  const auto rv = CallLeRv(request, reply, "CeCreateProcess");
  if (!rv || *rv == 0) return false;
  const auto started = ParseProcessInfo(OutData(reply.body));
  if (!started) {
    Malformed("CeCreateProcess");
    return false;
  }
  *info = *started;
  return true;
}

void LinkDevice::CeGetSystemInfo(CeSystemInfo* info) {
  if (legacy_) return LegacyGetSystemInfo(info);
  WireWriter request = Request(kCmdGetSystemInfo);
  request.U32(1).U32(36).U32(0);  // an out-buffer of 36 bytes
  const auto reply = Call(request, kMaxFrame);
  if (!reply) return;
  // Its reply has no return value: the last error, then the structure.
  const auto processor = ParseProcessorType(reply->body);
  if (!processor) {
    Malformed("CeGetSystemInfo");
    return;
  }
  last_error_ = WireReader(reply->body).U32();
  info->dwProcessorType = *processor;
}

}  // namespace zp::link
