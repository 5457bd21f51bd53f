// Fills a folder with files for the benchmarks' worlds, faster than a shell
// loop can. Usage: make_files FOLDER COUNT SIZE PREFIX SUFFIX [FIRST]
// makes PREFIX<number>SUFFIX for number = FIRST.. (default 1), five digits
// at least, each SIZE bytes of varied content.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: make_files FOLDER COUNT SIZE PREFIX SUFFIX [FIRST]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const long count = std::atol(argv[2]);
  const long size = std::atol(argv[3]);
  const long first = argc > 6 ? std::atol(argv[6]) : 1;
  std::vector<char> chunk(1 << 20);
  unsigned state = 12345;
  for (long n = first; n < first + count; ++n) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%05ld%s", argv[4], n, argv[5]);
    const std::string path = folder + "/" + name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    for (long left = size; ok && left > 0;) {
      const std::size_t part =
          left < static_cast<long>(chunk.size()) ? static_cast<std::size_t>(left) : chunk.size();
      for (std::size_t i = 0; i < part; ++i) {
        state = state * 1103515245u + 12345u;
        chunk[i] = static_cast<char>(state >> 16);
      }
      ok = ::write(fd, chunk.data(), part) == static_cast<ssize_t>(part);
      left -= static_cast<long>(part);
    }
    if (!ok || ::close(fd) != 0) {
      std::perror(path.c_str());
      return 1;
    }
  }
  return 0;
}
