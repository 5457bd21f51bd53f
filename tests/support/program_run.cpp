#include "support/program_run.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace zp::test {
namespace {

[[noreturn]] void Exec(const std::string& program, const std::map<std::string, std::string>& env) {
  for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
  ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
  ::_exit(127);
}

int Wait(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Reads `fd` until it closes; `on_output` sees everything read so far.
template <typename OnOutput>
std::string Drain(int fd, OnOutput on_output) {
  std::string all;
  char buffer[4096];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 30000) <= 0) break;  // a program that hangs ends the test
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;  // EOF, or EIO once the terminal's last user is gone
    all.append(buffer, static_cast<std::size_t>(got));
    on_output(all);
  }
  return all;
}

}  // namespace

RunResult RunProgram(const std::string& program, const std::map<std::string, std::string>& env) {
  int out[2];
  if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::setsid();  // no controlling terminal
    const int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(out[1], STDERR_FILENO);
    ::close(out[0]);
    Exec(program, env);
  }
  ::close(out[1]);
  RunResult result;
  result.output = Drain(out[0], [](const std::string&) {});
  ::close(out[0]);
  result.exit_code = Wait(pid);
  return result;
}

RunResult RunProgramOnTerminal(const std::string& program,
                               const std::map<std::string, std::string>& env,
                               const std::string& answer) {
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) throw std::runtime_error("forkpty failed");
  if (pid == 0) Exec(program, env);
  std::size_t answered = 0;
  RunResult result;
  result.output = Drain(master, [&](const std::string& all) {
    // Answer each question once, as it appears.
    std::size_t asked = 0;
    for (std::size_t at = all.find("[y/n]"); at != std::string::npos;
         at = all.find("[y/n]", at + 1)) {
      ++asked;
    }
    for (; answered < asked; ++answered) {
      const std::string line = answer + "\n";
      if (::write(master, line.data(), line.size()) < 0) break;
    }
  });
  ::close(master);
  result.exit_code = Wait(pid);
  return result;
}

}  // namespace zp::test
