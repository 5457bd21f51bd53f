// zp-handheld started as its own process for a test, with its output kept
// in a file; stopped (SIGTERM, then SIGKILL) when the test is done with it.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace zp::test {

class HandheldProcess {
 public:
  /// Starts the program with `args`; its stdout and stderr go to `output_file`.
  HandheldProcess(const std::vector<std::string>& args, std::string output_file);
  ~HandheldProcess();
  HandheldProcess(const HandheldProcess&) = delete;
  HandheldProcess& operator=(const HandheldProcess&) = delete;

  /// Its exit code once it ended within `timeout_ms`; -1 for a signal;
  /// nothing when it still runs.
  std::optional<int> Wait(int timeout_ms);
  /// What it wrote so far.
  std::string Output() const;

 private:
  pid_t pid_ = -1;
  std::optional<int> exit_code_;
  std::string output_file_;
};

}  // namespace zp::test
