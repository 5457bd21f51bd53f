// Device paths looked up in the handheld's files/ folder.
#include "simulator/sim_paths.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "platform/name_rules.h"
#include "platform/utf.h"

namespace zp::sim {
namespace fs = std::filesystem;

namespace {

NodeKind KindOf(const fs::path& host) {
  std::error_code ec;
  const fs::file_status status = fs::status(host, ec);
  if (ec || !fs::exists(status)) return NodeKind::Missing;
  return fs::is_directory(status) ? NodeKind::Folder : NodeKind::File;
}

// The last change of a host file as a FILETIME; 0 when it cannot be read.
std::uint64_t FileTime(const fs::path& host) {
  std::error_code ec;
  const fs::file_time_type time = fs::last_write_time(host, ec);
  if (ec) return 0;
  const auto since_epoch = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::file_clock::to_sys(time).time_since_epoch());
  constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;
  const std::int64_t seconds = since_epoch.count() + kSecondsFrom1601To1970;
  return seconds < 0 ? 0 : static_cast<std::uint64_t>(seconds) * 10000000u;
}

// A stable id for a name (FNV-1a of its upper-case units), never 0.
std::uint32_t ObjectId(std::u16string_view name) {
  std::uint32_t hash = 2166136261u;
  for (char16_t c : name) {
    const char16_t upper = (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
    hash = (hash ^ upper) * 16777619u;
  }
  return hash == 0 ? 1 : hash;
}

}  // namespace

fs::path HostName(std::u16string_view name) {
  const std::string utf8 = utf::ToUtf8(name);
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::u16string DeviceName(const fs::path& host_name) {
  const std::u8string utf8 = host_name.u8string();
  return utf::FromUtf8(std::string(utf8.begin(), utf8.end()));
}

bool IsValidNameChar(char16_t c) {
  return c >= 0x20 && std::u16string_view(u"/:*?\"<>|\\").find(c) == std::u16string_view::npos;
}

bool IsValidName(std::u16string_view name) {
  if (name.empty() || name == u"." || name == u"..") return false;
  return std::all_of(name.begin(), name.end(), IsValidNameChar);
}

std::optional<Located> Locate(const fs::path& root, std::u16string_view device_path) {
  if (device_path.empty() || device_path.front() != u'\\') return std::nullopt;
  std::vector<std::u16string_view> parts;
  for (std::size_t start = 1; start <= device_path.size();) {
    const std::size_t end = std::min(device_path.find(u'\\', start), device_path.size());
    const std::u16string_view part = device_path.substr(start, end - start);
    if (!part.empty()) {
      if (!IsValidName(part)) return std::nullopt;
      parts.push_back(part);
    }
    start = end + 1;
  }
  // A path that exists as spelled is settled by one stat(): its folders are
  // folders, and no name needs looking up in another case.
  if (!parts.empty()) {
    fs::path exact = root;
    for (const std::u16string_view part : parts) exact /= HostName(part);
    if (const NodeKind kind = KindOf(exact); kind != NodeKind::Missing) {
      return Located{std::move(exact), kind, true};
    }
  }
  Located at{root, KindOf(root), true};
  if (parts.empty()) return at;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const bool in_folder = at.kind == NodeKind::Folder;
    at.parent_is_folder = in_folder;
    fs::path next = at.host / HostName(parts[i]);
    NodeKind kind = in_folder ? KindOf(next) : NodeKind::Missing;
    if (in_folder && kind == NodeKind::Missing) {
      for (const Entry& entry : ListFolder(at.host)) {
        if (WideNames::Equal(entry.name, parts[i])) {
          next = at.host / entry.host_name;
          kind = entry.folder ? NodeKind::Folder : NodeKind::File;
          break;
        }
      }
    }
    at.host = std::move(next);
    at.kind = kind;
  }
  return at;
}

bool VisitFolder(const fs::path& folder, bool with_times,
                 const std::function<void(const Entry&)>& visit) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    Entry entry;
    entry.host_name = it->path().filename();
    entry.name = DeviceName(entry.host_name);
    std::error_code status_ec;
    entry.folder = it->is_directory(status_ec);
    if (!entry.folder) {
      const std::uintmax_t size = it->file_size(status_ec);
      entry.size = status_ec ? 0 : size;
    }
    if (with_times) entry.filetime = FileTime(it->path());
    entry.oid = ObjectId(entry.name);
    visit(entry);
  }
  return !ec;
}

std::vector<Entry> ListFolder(const fs::path& folder, bool with_times, bool* failed) {
  std::vector<Entry> entries;
  const bool read =
      VisitFolder(folder, with_times, [&](const Entry& entry) { entries.push_back(entry); });
  if (failed) *failed = !read;
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return WideNames::Less(a.name, b.name); });
  return entries;
}

}  // namespace zp::sim
