// Power cuts of the desktop stand-in: what was flushed, and the desktop put back to it.
#include "platform/posix/posix_power_cut.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace zp::posix {
namespace {

using FileId = std::pair<dev_t, ino_t>;

// A file as the cut knows it. The system gives a removed file's number to
// the next file it creates; the two are different files here.
using FileNumber = std::uint64_t;

struct Node {
  FileNumber file = 0;  // 0 for a folder
  bool folder = false;
};
using Entries = std::map<std::string, Node>;

struct Flushed {
  bool on = false;
  std::map<std::string, Entries> folders;  // host folder: its entries as last flushed
  std::map<FileNumber, std::string> data;  // a file: its data as last flushed
  std::map<FileId, FileNumber> live;       // the files that exist now
  FileNumber last = 0;
};

Flushed& State() {
  static Flushed state;
  return state;
}

struct DirCloser {
  void operator()(DIR* d) const noexcept { ::closedir(d); }
};

// "a//b/" and "a/b" are one folder.
std::string Key(const std::string& path) {
  std::string key;
  for (char c : path) {
    if (c == '/' && !key.empty() && key.back() == '/') continue;
    key += c;
  }
  if (key.size() > 1 && key.back() == '/') key.pop_back();
  return key;
}

FileNumber Number(Flushed& state, const FileId& id) {
  const auto [at, added] = state.live.try_emplace(id, state.last + 1);
  if (added) ++state.last;
  return at->second;
}

std::optional<Entries> List(Flushed& state, const std::string& folder) {
  const std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
  if (!dir) return std::nullopt;
  Entries entries;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (::fstatat(::dirfd(dir.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    entries[name] =
        S_ISDIR(st.st_mode) ? Node{0, true} : Node{Number(state, {st.st_dev, st.st_ino}), false};
  }
  return entries;
}

std::optional<std::string> ReadAll(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string bytes;
  char block[16384];
  ssize_t n = 0;
  while ((n = ::read(fd, block, sizeof block)) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0) bytes.append(block, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (n < 0) return std::nullopt;
  return bytes;
}

// The descriptor's file read anew, whatever it was opened for.
std::optional<std::string> ReadAll(int fd) {
  return ReadAll("/proc/self/fd/" + std::to_string(fd));
}

std::optional<FileId> IdOf(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return std::nullopt;
  return FileId{st.st_dev, st.st_ino};
}

void WriteAll(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::fprintf(stderr, "power cut: cannot put back %s\n", path.c_str());
    return;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

std::string Parent(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

void TrackPowerCut(bool on) {
  State() = Flushed{};
  State().on = on;
}

void NoteFolderChange(const std::string& folder) {
  Flushed& state = State();
  if (!state.on) return;
  const std::string key = Key(folder);
  if (state.folders.contains(key)) return;
  // Untouched until now: what it holds is on the disk already.
  state.folders[key] = List(state, key).value_or(Entries{});
}

void NoteFileAtRisk(const std::string& path, bool going) {
  Flushed& state = State();
  if (!state.on) return;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  const FileId id{st.st_dev, st.st_ino};
  const FileNumber file = Number(state, id);
  if (!state.data.contains(file)) {
    if (auto bytes = ReadAll(path)) state.data[file] = std::move(*bytes);
  }
  if (going) state.live.erase(id);  // its number may come back on another file
}

void NoteFileOpenedForWriting(int fd) {
  Flushed& state = State();
  if (!state.on) return;
  const auto id = IdOf(fd);
  if (!id) return;
  // A file noted at risk before it was opened keeps the data it had.
  if (const FileNumber file = Number(state, *id); !state.data.contains(file)) state.data[file] = "";
}

void NoteFileFlushed(int fd) {
  Flushed& state = State();
  if (!state.on) return;
  const auto id = IdOf(fd);
  auto bytes = ReadAll(fd);
  if (id && bytes) state.data[Number(state, *id)] = std::move(*bytes);
}

void NoteFolderFlushed(const std::string& folder) {
  Flushed& state = State();
  if (!state.on) return;
  const std::string key = Key(folder);
  state.folders[key] = List(state, key).value_or(Entries{});
}

void RestoreFlushed() {
  Flushed& state = State();
  if (!state.on) return;
  // Where each file is now, and what each flushed name must hold: read
  // before anything moves.
  std::map<FileNumber, std::string> where;
  for (const auto& [folder, flushed] : state.folders) {
    for (const auto& [name, node] : List(state, folder).value_or(Entries{})) {
      if (!node.folder) where[node.file] = folder + '/' + name;
    }
  }
  std::vector<std::pair<std::string, std::string>> to_write;
  for (const auto& [folder, flushed] : state.folders) {
    for (const auto& [name, node] : flushed) {
      if (node.folder) continue;
      const std::string path = folder + '/' + name;
      if (const auto kept = state.data.find(node.file); kept != state.data.end()) {
        to_write.emplace_back(path, kept->second);
        continue;
      }
      const auto now = where.find(node.file);
      if (now == where.end()) {
        std::fprintf(stderr, "power cut: the data of %s are lost\n", path.c_str());
        continue;
      }
      if (now->second == path) continue;  // untouched, in its place
      if (auto bytes = ReadAll(now->second)) to_write.emplace_back(path, std::move(*bytes));
    }
  }
  // Each folder gets back the names it had when last flushed, the outer
  // ones first: a folder whose own name was never flushed goes whole.
  std::vector<std::string> folders;
  for (const auto& [folder, flushed] : state.folders) folders.push_back(folder);
  std::sort(folders.begin(), folders.end(),
            [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
  for (const std::string& folder : folders) {
    const Entries& flushed = state.folders[folder];
    const auto now = List(state, folder);
    if (!now) continue;  // gone with a folder above it
    for (const auto& [name, node] : *now) {
      const auto kept = flushed.find(name);
      if (kept != flushed.end() && kept->second.folder == node.folder) continue;
      std::error_code ec;
      std::filesystem::remove_all(folder + '/' + name, ec);
    }
    for (const auto& [name, node] : flushed) {
      if (node.folder) ::mkdir((folder + '/' + name).c_str(), 0755);
    }
  }
  for (const auto& [path, bytes] : to_write) {
    struct stat st {};
    if (::stat(Parent(path).c_str(), &st) == 0) WriteAll(path, bytes);
  }
}

}  // namespace zp::posix
