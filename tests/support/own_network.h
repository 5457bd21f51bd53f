// Port 990 on loopback without root: a test process that is not root
// enters, once, a user and network namespace of its own, in which it is
// root and has a loopback of its own; every program it starts afterwards
// runs there too. Root processes (CI) stay where they are.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace zp::test {
namespace own_network_detail {

inline std::string Failure(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

inline bool WriteProc(const char* file, const std::string& text) {
  const int fd = ::open(file, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return written;
}

// The namespaces themselves; what went wrong, or "".
inline std::string Enter() {
  if (::geteuid() == 0) return "";
  const unsigned uid = ::getuid();
  const unsigned gid = ::getgid();
  // Refused (EINVAL) once the process has a second thread.
  if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
    return Failure("cannot enter a user and network namespace of its own");
  }
  if (!WriteProc("/proc/self/setgroups", "deny")) return Failure("/proc/self/setgroups");
  if (!WriteProc("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1")) {
    return Failure("/proc/self/uid_map");
  }
  if (!WriteProc("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
    return Failure("/proc/self/gid_map");
  }
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Failure("socket");
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool up = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  if (up) {
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    up = ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  }
  std::string problem = up ? "" : Failure("cannot bring lo up");
  ::close(fd);
  return problem;
}

}  // namespace own_network_detail

/// Lets this process bind port 990 on loopback; done once per process, and
/// it must first be called while the process has one thread. What went
/// wrong, or "" (root: nothing to do).
inline const std::string& EnterOwnNetwork() {
  static const std::string problem = own_network_detail::Enter();
  return problem;
}

/// EnterOwnNetwork(), the test skipped with the reason when it failed.
/// False then: a SetUp() or constructor that calls it goes no further.
inline bool OwnNetworkOrSkip() {
  const std::string& problem = EnterOwnNetwork();
  if (problem.empty()) return true;
  [&] { GTEST_SKIP() << "port 990 needs root or a namespace of its own: " << problem; }();
  return false;
}

}  // namespace zp::test
