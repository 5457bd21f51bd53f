// The yes/no question of the POSIX stand-in, asked on the controlling terminal.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/name_rules.h"
#include "platform/platform.h"
#include "platform/posix/posix_paths.h"

namespace zp {
namespace {

class Terminal {
 public:
  Terminal() : fd_(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
  ~Terminal() {
    if (fd_ >= 0) ::close(fd_);
  }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  bool is_open() const { return fd_ >= 0; }

  bool Put(std::string_view text) {
    while (!text.empty()) {
      const ssize_t n = ::write(fd_, text.data(), text.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  // One line without its end; nothing at the end of input or on an error.
  std::optional<std::string> GetLine() {
    std::string line;
    char c = 0;
    while (true) {
      const ssize_t n = ::read(fd_, &c, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return std::nullopt;
      if (c == '\n') return line;
      line.push_back(c);
    }
  }

 private:
  int fd_;
};

std::string Folded(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  std::string out;
  for (char c : text) out.push_back(FoldCase(c));
  return out;
}

}  // namespace

bool CanAskQuestions() {
  return Terminal().is_open();
}

// The terminal has no title bar: the caption is not shown.
Answer AskYesNo(void* /*owner*/, const std::string& text, const std::string& /*caption*/) {
  Terminal tty;
  if (!tty.is_open()) {
    SetLastErrorCode(posix::ErrorFromErrno(errno, kErrorInvalidHandle));
    return Answer::Failed;
  }
  const std::string question = text + " [y/n] ";
  // The progress line may stand where the cursor is: the question gets its own.
  if (tty.Put("\n")) {
    // Anything but a yes or a no asks again.
    while (const auto line = tty.Put(question) ? tty.GetLine() : std::nullopt) {
      const std::string answer = Folded(*line);
      if (answer == "Y" || answer == "YES") return Answer::Yes;
      if (answer == "N" || answer == "NO") return Answer::No;
    }
  }
  SetLastErrorCode(kErrorInvalidHandle);
  return Answer::Failed;
}

}  // namespace zp
