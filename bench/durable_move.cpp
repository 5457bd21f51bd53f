// The benchmarks' baseline: the least a move that can lose nothing must do.
// Moves every file of SOURCE into TARGET: per file, copy in 16 KiB blocks,
// flush the file, flush the target folder, delete the source.
// Usage: durable_move SOURCE TARGET [SOURCE TARGET ...]
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

bool WriteAll(int fd, const char* data, ssize_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, static_cast<std::size_t>(size));
    if (n <= 0) return false;
    data += n;
    size -= n;
  }
  return true;
}

bool MoveFile(const std::string& from, const std::string& to, int folder) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (out < 0) {
    ::close(in);
    return false;
  }
  static char block[16384];
  bool ok = true;
  for (;;) {
    const ssize_t got = ::read(in, block, sizeof block);
    if (got < 0) ok = false;
    if (got <= 0) break;
    if (!WriteAll(out, block, got)) {
      ok = false;
      break;
    }
  }
  ok = ok && ::fsync(out) == 0 && ::fsync(folder) == 0;
  ok = ::close(out) == 0 && ok;
  ::close(in);
  return ok && ::unlink(from.c_str()) == 0;
}

bool MoveFolder(const std::string& source, const std::string& target) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(source.c_str());
  if (!dir) return false;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_type == DT_REG) names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  const int folder = ::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return false;
  bool ok = true;
  for (const std::string& name : names) {
    if (!MoveFile(source + "/" + name, target + "/" + name, folder)) {
      std::fprintf(stderr, "durable_move: cannot move %s/%s\n", source.c_str(), name.c_str());
      ok = false;
      break;
    }
  }
  ::close(folder);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc % 2 == 0) {
    std::fprintf(stderr, "usage: durable_move SOURCE TARGET [SOURCE TARGET ...]\n");
    return 2;
  }
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!MoveFolder(argv[i], argv[i + 1])) return 1;
  }
  return 0;
}
