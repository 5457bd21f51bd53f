// Runs the built program as its own process, as a user would start it.
#pragma once

#include <map>
#include <string>

namespace zp::test {

struct RunResult {
  int exit_code = -1;  ///< the program's exit code; -1 when it did not exit normally
  std::string output;  ///< what it wrote on stdout and stderr (or the terminal)
};

/// Runs `program` with the environment variables given added, in a new
/// session with no controlling terminal (so no question can be asked).
RunResult RunProgram(const std::string& program, const std::map<std::string, std::string>& env);

/// Runs it on a pseudo-terminal and types `answer` and Enter whenever it
/// asks "[y/n]".
RunResult RunProgramOnTerminal(const std::string& program,
                               const std::map<std::string, std::string>& env,
                               const std::string& answer);

}  // namespace zp::test
