// The remote API over an older handheld's session (RAPI1): each call's
// request in its encodings, and its reply after the flag word.
#include <algorithm>
#include <cstring>

#include "link/call_words.h"
#include "link/legacy_protocol.h"
#include "link/legacy_replies.h"
#include "link/link_device.h"
#include "link/message_io.h"
#include "link/protocol.h"
#include "link/rapi1_wire.h"
#include "platform/platform.h"

namespace zp::link {
namespace {

constexpr std::size_t kSystemInfoBytes = 36;
constexpr std::size_t kProcessorTypeAt = 24;
constexpr std::size_t kProcessInfoBytes = 16;
/// The failure of a registry call the handheld refused at the protocol
/// level: ERROR_GEN_FAILURE.
constexpr std::int32_t kGenFailure = 31;

}  // namespace

std::optional<LinkDevice::Reply> LinkDevice::LegacyCall(const WireWriter& request,
                                                        std::uint32_t cap, const char* call) {
  auto reply = Call(request, cap);
  if (!reply) return std::nullopt;
  const auto head = ParseLegacyReplyHead(reply->body);
  if (!head) {
    Malformed(call);
    return std::nullopt;
  }
  // The call failed on the handheld's side of the protocol: it returns its
  // own failure, the last error stays, and the session goes on.
  rapi_error_ = static_cast<std::int32_t>(head->hresult);
  if (head->hresult != 0) return std::nullopt;
  const auto head_bytes = static_cast<std::ptrdiff_t>(reply->body.size() - head->data.size());
  reply->body.erase(reply->body.begin(), reply->body.begin() + head_bytes);
  return reply;
}

std::optional<std::uint32_t> LinkDevice::LegacyLeRv(const WireWriter& request, Reply& reply,
                                                    WireReader& rest, const char* call) {
  auto got = LegacyCall(request, kMaxFrame, call);
  if (!got) return std::nullopt;
  reply = std::move(*got);
  rest = reply.reader();
  const std::uint32_t last_error = rest.U32();
  const std::uint32_t rv = rest.U32();
  if (!rest.ok()) {
    Malformed(call);
    return std::nullopt;
  }
  last_error_ = last_error;
  return rv;
}

CeHandle LinkDevice::LegacyCreateFile(const std::u16string& path, std::uint32_t access,
                                      std::uint32_t share, std::uint32_t disposition,
                                      std::uint32_t attributes) {
  WireWriter request = Request(kLegCreateFile);
  request.U32(access).U32(share).U32(disposition).U32(attributes).U32(0);
  rapi1::PlainString(request, path);
  Reply reply;
  WireReader rest(reply.body);
  const auto rv = LegacyLeRv(request, reply, rest, "CeCreateFile");
  return rv ? HandleFromWire(*rv) : kInvalidCeHandle;
}

bool LinkDevice::LegacyReadFile(CeHandle file, void* buffer, std::uint32_t size,
                                std::uint32_t* got) {
  *got = 0;
  const std::uint32_t asked = std::min(size, kLegacyMaxTransfer);
  WireWriter request = Request(kLegReadFile);
  request.U32(Wire(file));
  rapi1::OptionalOut(request, asked);
  rapi1::Null(request);
  Reply reply;
  WireReader rest(reply.body);
  const auto rv = LegacyLeRv(request, reply, rest, "CeReadFile");
  if (!rv) return false;
  const std::uint32_t read = rest.U32();
  const auto bytes = rest.Bytes(read);
  if (!rest.ok() || read > asked) {
    Malformed("CeReadFile");
    return false;
  }
  if (read > 0) std::memcpy(buffer, bytes.data(), read);
  *got = read;
  return *rv != 0;
}

bool LinkDevice::LegacyWriteFile(CeHandle file, const void* buffer, std::uint32_t size,
                                 std::uint32_t* put) {
  *put = 0;
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  do {
    const std::uint32_t part = std::min(size - *put, kLegacyMaxTransfer);
    WireWriter request = Request(kLegWriteFile);
    request.U32(Wire(file));
    rapi1::WriteData(request, std::span(bytes + *put, part));
    rapi1::Null(request);
    Reply reply;
    WireReader rest(reply.body);
    const auto rv = LegacyLeRv(request, reply, rest, "CeWriteFile");
    if (!rv) return false;
    const std::uint32_t written = rest.U32();
    if (!rest.ok() || written > part) {
      Malformed("CeWriteFile");
      return false;
    }
    *put += written;
    if (*rv == 0) return false;
    if (written < part) return true;
  } while (*put < size);
  return true;
}

bool LinkDevice::LegacyBoolCall(std::uint32_t command, std::uint32_t handle, const char* call) {
  WireWriter request = Request(command);
  request.U32(handle);
  Reply reply;
  WireReader rest(reply.body);
  const auto rv = LegacyLeRv(request, reply, rest, call);
  return rv && *rv != 0;
}

bool LinkDevice::LegacyPathCall(std::uint32_t command, const std::u16string& path, bool then_null,
                                const char* call) {
  WireWriter request = Request(command);
  rapi1::OptionalString(request, path);
  if (then_null) rapi1::Null(request);
  Reply reply;
  WireReader rest(reply.body);
  const auto rv = LegacyLeRv(request, reply, rest, call);
  return rv && *rv != 0;
}

std::uint32_t LinkDevice::LegacyGetFileAttributes(const std::u16string& path) {
  WireWriter request = Request(kLegGetFileAttributes);
  rapi1::PlainString(request, path);
  Reply reply;
  WireReader rest(reply.body);
  const auto rv = LegacyLeRv(request, reply, rest, "CeGetFileAttributes");
  return rv ? *rv : kInvalidAttributes;
}

bool LinkDevice::LegacyFindAllFiles(const std::u16string& pattern, std::uint32_t flags,
                                    std::uint32_t* count, CeFindData** records) {
  *count = 0;
  *records = nullptr;
  WireWriter request = Request(kLegFindAllFiles);
  rapi1::PlainString(request, pattern);
  request.U32(flags);
  const auto reply = LegacyCall(request, kMaxListingFrame, "CeFindAllFiles");
  if (!reply) return false;
  auto listing = ParseLegacyListing(reply->body, flags);
  if (!listing) {
    Malformed("CeFindAllFiles");
    return false;
  }
  *count = listing->count;
  if (listing->records) {
    *records = listing->records.get();
    buffers_.emplace(listing->records.get(), std::move(listing->records));
  }
  return true;
}

std::int32_t LinkDevice::LegacyRegOpenKeyEx(CeKey root, const std::u16string& subkey, CeKey* opened,
                                            std::uint32_t* disposition, bool create) {
  *opened = kNoCeKey;
  WireWriter request = Request(create ? kLegRegCreateKeyEx : kLegRegOpenKeyEx);
  request.U32(Wire(root));
  rapi1::PlainString(request, subkey);
  if (create) rapi1::Null(request);  // no class
  const char* call = create ? "CeRegCreateKeyEx" : "CeRegOpenKeyEx";
  Reply reply;
  WireReader rest(reply.body);
  const auto rv = LegacyLeRv(request, reply, rest, call);
  if (!rv) return session_ ? kGenFailure : LinkCode();
  if (*rv != 0) return static_cast<std::int32_t>(*rv);
  const std::uint32_t key = rest.U32();
  const std::uint32_t made = create ? rest.U32() : 0;
  if (!rest.ok()) {
    Malformed(call);
    return LinkCode();
  }
  *opened = static_cast<CeKey>(key);
  if (disposition) *disposition = made;
  return 0;
}

std::int32_t LinkDevice::LegacyRegQueryValueEx(CeKey key, const std::u16string& name,
                                               std::uint32_t* type, std::uint8_t* data,
                                               std::uint32_t* size) {
  WireWriter request = Request(kLegRegQueryValueEx);
  request.U32(Wire(key));
  rapi1::OptionalString(request, name);
  rapi1::Null(request);  // reserved
  rapi1::OptionalOut(request, 4);
  if (data) {
    rapi1::OptionalOut(request, *size);
  } else {
    rapi1::Null(request);
  }
  WireWriter size_in;
  size_in.U32(*size);
  rapi1::OptionalIn(request, size_in.bytes());
  Reply reply;
  WireReader rest(reply.body);
  const auto rv = LegacyLeRv(request, reply, rest, "CeRegQueryValueEx");
  if (!rv) return session_ ? kGenFailure : LinkCode();
  if (*rv != 0) return static_cast<std::int32_t>(*rv);
  // The value's length is the size returned, at most the buffer; the data
  // may come as long as the buffer asked.
  const auto got_type = rapi1::ReadReplyOptional(rest, 4);
  const auto got_data = rapi1::ReadReplyOptional(rest, data ? *size : 0);
  const auto got_size = rapi1::ReadReplyOptional(rest, 4);
  std::uint32_t length = 0;
  if (got_size && got_size->present && got_size->value.size() == 4) {
    length = WireReader(got_size->value).U32();
  }
  if (!got_type || !got_data || !got_size || !got_size->present || length > *size ||
      (data && length > 0 && (!got_data->present || got_data->value.size() < length)) ||
      (got_type->present && got_type->value.size() != 4)) {
    Malformed("CeRegQueryValueEx");
    return LinkCode();
  }
  if (type && got_type->present) *type = WireReader(got_type->value).U32();
  if (data && length > 0) std::memcpy(data, got_data->value.data(), length);
  *size = length;
  return 0;
}

std::int32_t LinkDevice::LegacyRegSetValueEx(CeKey key, const std::u16string& name,
                                             std::uint32_t type, const std::uint8_t* data,
                                             std::uint32_t size) {
  WireWriter request = Request(kLegRegSetValueEx);
  request.U32(Wire(key));
  rapi1::OptionalString(request, name);
  request.U32(type);
  rapi1::OptionalIn(request, std::span(data, size));
  request.U32(size);
  Reply reply;
  WireReader rest(reply.body);
  const auto rv = LegacyLeRv(request, reply, rest, "CeRegSetValueEx");
  if (!rv) return session_ ? kGenFailure : LinkCode();
  return static_cast<std::int32_t>(*rv);
}

std::int32_t LinkDevice::LegacyRegCloseKey(CeKey key) {
  WireWriter request = Request(kLegRegCloseKey);
  request.U32(Wire(key));
  Reply reply;
  WireReader rest(reply.body);
  const auto rv = LegacyLeRv(request, reply, rest, "CeRegCloseKey");
  if (!rv) return session_ ? kGenFailure : LinkCode();
  // RegCloseKey's value: ERROR_SUCCESS; a handheld that answers as a BOOL
  // says TRUE for it.
  return *rv == 0 || *rv == 1 ? 0 : static_cast<std::int32_t>(*rv);
}

bool LinkDevice::LegacyCreateProcess(const std::u16string& application,
                                     const std::u16string& command_line, CeProcessInfo* info) {
  WireWriter request = Request(kLegCreateProcess);
  rapi1::OptionalString(request, application);
  if (command_line.empty()) {
    rapi1::Null(request);
  } else {
    rapi1::OptionalString(request, command_line);
  }
  // Process and thread attributes, inheritance, creation flags (the 4th),
  // environment, current folder, startup info: none.
  for (int i = 0; i < 7; ++i) request.U32(0);
  rapi1::OptionalOut(request, kProcessInfoBytes);
  Reply reply;
  WireReader rest(reply.body);
  const auto rv = LegacyLeRv(request, reply, rest, "CeCreateProcess");
  if (!rv || *rv == 0) return false;
  const auto started = rapi1::ReadReplyOptional(rest, kProcessInfoBytes);
  if (!started || !started->present || started->value.size() != kProcessInfoBytes) {
    Malformed("CeCreateProcess");
    return false;
  }
  const auto parsed = ParseProcessInfo(started->value);
  if (!parsed) {
    Malformed("CeCreateProcess");
    return false;
  }
  *info = *parsed;
  return true;
}

void LinkDevice::LegacyGetSystemInfo(CeSystemInfo* info) {
  WireWriter request = Request(kLegGetSystemInfo);
  rapi1::OptionalOut(request, kSystemInfoBytes);
  const auto reply = LegacyCall(request, kMaxFrame, "CeGetSystemInfo");
  if (!reply) return;
  // No return value: the last error, then the structure.
  WireReader rest = reply->reader();
  const std::uint32_t last_error = rest.U32();
  const auto system = rapi1::ReadReplyOptional(rest, kSystemInfoBytes);
  if (!system || !system->present || system->value.size() != kSystemInfoBytes) {
    Malformed("CeGetSystemInfo");
    return;
  }
  last_error_ = last_error;
  WireReader fields(system->value);
  fields.Skip(kProcessorTypeAt);
  info->dwProcessorType = fields.U32();
}

}  // namespace zp::link
