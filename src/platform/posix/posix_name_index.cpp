// The folded names of the host folders the stand-in creates names in, kept
// current by inotify.
#include "platform/posix/posix_name_index.h"

#include <dirent.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/name_rules.h"
#include "platform/posix/posix_paths.h"

namespace zp::posix {
namespace {

// FNV-1a of the folded name, never 0 (the mark of a free slot). Two names
// of one hash only cost a needless "perhaps".
std::uint32_t FoldedHash(std::string_view name) {
  std::uint32_t hash = 2166136261u;
  for (const char c : name) {
    hash = (hash ^ static_cast<unsigned char>(FoldCase(c))) * 16777619u;
  }
  return hash == 0 ? 1 : hash;
}

// A set of hashes with open addressing, at most half full: 8 to 16 bytes a
// name, so that a folder of 100,000 names costs about a megabyte.
class HashSet {
 public:
  void Insert(std::uint32_t hash) {
    if ((count_ + 1) * 2 > slots_.size()) Grow();
    if (Place(slots_, hash)) ++count_;
  }

  bool Contains(std::uint32_t hash) const {
    if (slots_.empty()) return false;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      if (slots_[i] == hash) return true;
      if (slots_[i] == 0) return false;
    }
  }

 private:
  static bool Place(std::vector<std::uint32_t>& slots, std::uint32_t hash) {
    const std::size_t mask = slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      if (slots[i] == hash) return false;
      if (slots[i] == 0) {
        slots[i] = hash;
        return true;
      }
    }
  }

  void Grow() {
    std::vector<std::uint32_t> bigger(slots_.empty() ? 16 : slots_.size() * 2, 0);
    for (const std::uint32_t hash : slots_) {
      if (hash != 0) Place(bigger, hash);
    }
    slots_.swap(bigger);
  }

  std::vector<std::uint32_t> slots_;  // a power of two of them
  std::size_t count_ = 0;
};

struct DirCloser {
  void operator()(DIR* d) const noexcept { ::closedir(d); }
};

// One watched folder: the names it held when read, and every name created
// or moved into it since. A name removed stays: it only costs a "perhaps".
struct Watched {
  std::string path;
  dev_t device = 0;
  ino_t inode = 0;
  HashSet names;
};

class Indexes {
 public:
  ~Indexes() {
    if (fd_ >= 0) ::close(fd_);
  }

  bool MayHold(const std::string& folder, std::string_view name, const struct stat* given) {
    if (!Ready()) return true;
    Drain();
    struct stat own {};
    if (!given) {
      if (::stat(folder.c_str(), &own) != 0) return errno != ENOENT && errno != ENOTDIR;
      given = &own;
    }
    if (!S_ISDIR(given->st_mode)) return false;  // a file holds no names
    Watched* watched = Find(folder, *given);
    if (!watched) watched = Read(folder, *given);
    return !watched || watched->names.Contains(FoldedHash(name));
  }

 private:
  bool Ready() {
    if (!tried_) {
      tried_ = true;
      fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    }
    return fd_ >= 0;
  }

  // Takes in what the kernel reported since the last question.
  void Drain() {
    alignas(inotify_event) char buffer[16384];
    for (;;) {
      const ssize_t got = ::read(fd_, buffer, sizeof buffer);
      if (got <= 0) return;  // EAGAIN: nothing more
      for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        Take(*event);
      }
    }
  }

  void Take(const inotify_event& event) {
    if (event.mask & IN_Q_OVERFLOW) {  // events were lost: nothing can be trusted
      for (const auto& [wd, watched] : by_wd_) ::inotify_rm_watch(fd_, wd);
      by_wd_.clear();
      by_path_.clear();
      return;
    }
    const auto it = by_wd_.find(event.wd);
    if (it == by_wd_.end()) return;
    if (event.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
      Forget(event.wd);
    } else if ((event.mask & (IN_CREATE | IN_MOVED_TO)) && event.len > 0) {
      it->second.names.Insert(FoldedHash(event.name));
    }
  }

  void Forget(int wd) {
    const auto it = by_wd_.find(wd);
    if (it == by_wd_.end()) return;
    ::inotify_rm_watch(fd_, wd);  // EINVAL when the kernel dropped it already
    by_path_.erase(it->second.path);
    by_wd_.erase(it);
  }

  // The index of the folder at `path`, when it is still that folder.
  Watched* Find(const std::string& path, const struct stat& st) {
    const auto it = by_path_.find(path);
    if (it == by_path_.end()) return nullptr;
    Watched& watched = by_wd_.at(it->second);
    if (watched.device == st.st_dev && watched.inode == st.st_ino) return &watched;
    Forget(it->second);  // another folder took the path
    return nullptr;
  }

  // Watches, then reads the folder, so that no name made meanwhile is missed.
  Watched* Read(const std::string& path, const struct stat& st) {
    const int wd = ::inotify_add_watch(
        fd_, path.c_str(), IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
    if (wd < 0) return nullptr;
    if (const auto known = by_wd_.find(wd); known != by_wd_.end()) {
      // The same folder under another path: the watch is the one just asked
      // for, so it stays; its names are read again below.
      by_path_.erase(known->second.path);
      by_wd_.erase(known);
    }
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(path.c_str()));
    struct stat opened {};
    if (!dir || ::fstat(::dirfd(dir.get()), &opened) != 0 || opened.st_dev != st.st_dev ||
        opened.st_ino != st.st_ino) {
      ::inotify_rm_watch(fd_, wd);
      return nullptr;
    }
    Watched watched;
    watched.path = path;
    watched.device = st.st_dev;
    watched.inode = st.st_ino;
    while (const dirent* entry = ::readdir(dir.get())) {
      watched.names.Insert(FoldedHash(entry->d_name));
    }
    by_path_[path] = wd;
    return &(by_wd_[wd] = std::move(watched));
  }

  bool tried_ = false;
  int fd_ = -1;
  std::unordered_map<int, Watched> by_wd_;
  std::unordered_map<std::string, int> by_path_;
};

}  // namespace

bool MayHoldFolded(const std::string& folder, std::string_view name,
                   const struct stat* folder_stat) {
  static Indexes indexes;
  return indexes.MayHold(folder, name, folder_stat);
}

}  // namespace zp::posix
