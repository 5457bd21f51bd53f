// Rules that make chosen operations of the simulated handheld fail: by
// operation and path, on the Nth matching call, once or from then on; a
// short write; a disconnect after N operations. Consulted at one choke
// point in the simulator, set by tests or read from the device's `faults`.
//
// The `faults` file: one rule a line; blank lines and lines starting with
// '#' are skipped; a line that cannot be read is reported and skipped.
//
//   fail <operation> [path=<pattern>] [nth=<n>] [always] [error=<code>]
//   short CeWriteFile [path=<pattern>] [nth=<n>] [always]
//   lost <operation> [path=<pattern>] [nth=<n>] [always] [error=<code>] [drop]
//   disconnect after=<n>
//   slow <operation> ms=<n>
//   kill at=<n>
//
// <operation> is a remote operation's name ("CeReadFile") or * for all of
// them. The rule fires on the n-th call (default 1) that matches the
// operation and the path; with `always` also on every matching call after
// it. `error` (decimal, or hex with 0x) is what CeGetLastError then gives;
// without it the operation's usual code. `path` is a device path with the
// wildcards * and ?, compared without regard to case; for registry calls it
// is the key or value name, for CeSvcOpen the profile id in 8 hex digits
// ("0000000B"), for CeSvcGetString the value name. The pattern runs to the end of the line or up
// to a following " nth=", " error=" or " always"; to hold one of those,
// quote it: path="\My always\*" (no escapes inside the quotes).
// `disconnect after=<n>`: n more operations are served, then every later
// one fails as after a lost connection. `lost`: the operation is carried
// out on the device, then reported as failed, as when the reply is lost on
// the way back (CeDeleteFile only); with `drop` the link is gone right
// after it. `slow`: every call of the operation
// waits n milliseconds before it is served, as over a slow cradle, so that
// a test can watch a session while it copies. `kill at=<n>`: the process
// ends at once (exit code kKilledExitCode, no cleanup of any kind) when the
// n-th operation is asked for, as a crash or a power cut would end it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zp {

struct FaultRule {
  enum class Kind {
    Fail,        ///< the operation fails
    ShortWrite,  ///< CeWriteFile writes half the bytes asked (and says so)
    Lost,        ///< the operation is carried out, then reported as failed
  };
  Kind kind = Kind::Fail;
  std::string operation;    ///< "CeDeleteFile"; "*" matches every operation
  std::string path;         ///< device path wildcard (* and ?), case-insensitive; empty: any
  int nth = 1;              ///< fires on the Nth call that matches operation and path
  bool persistent = false;  ///< fires on the Nth call and every matching call after it
  bool drop = false;        ///< Lost: the link drops right after the operation
  std::uint32_t error = 0;  ///< CeGetLastError after the failure; 0: the operation's usual code
  int seen = 0;             ///< matching calls so far
};

/// The exit code of a process ended by a `kill` rule.
inline constexpr int kKilledExitCode = 86;

class FaultRules {
 public:
  enum class Outcome { Pass, Fail, ShortWrite, Lost, Disconnected };

  void Add(FaultRule rule);
  /// Shorthands for tests.
  void Fail(std::string operation, std::string path = {}, int nth = 1, bool persistent = false);
  void ShortWrite(std::string path = {}, int nth = 1);
  /// After `operations` more served operations every operation fails.
  void DisconnectAfter(int operations);
  /// The process ends when the n-th operation (from 1) is asked for.
  void KillAt(int operation) { kill_at_ = operation; }
  /// The next operation, and every one after it, fails as after a lost link.
  void DisconnectNow() { disconnected_ = true; }
  /// Whether the lost reply of the last rule that fired drops the link.
  bool last_drops() const { return last_drop_; }
  /// Every call of `operation` ("*": all) waits `milliseconds` first.
  void Slow(std::string operation, int milliseconds);
  /// How long a call of `operation` waits before it is served.
  int DelayMilliseconds(std::string_view operation) const;
  void Clear();

  /// Called once per operation, before it is served. Counts the operation
  /// towards a disconnect and towards each rule that matches it.
  Outcome Check(std::string_view operation, const std::u16string& path);

  /// Reads the `faults` file format (see README); problems name their line.
  static FaultRules Parse(std::string_view text, std::vector<std::string>* problems);

  bool empty() const {
    return rules_.empty() && disconnect_after_ < 0 && slow_.empty() && kill_at_ < 1;
  }
  /// The error code of the last rule that fired (0 if it named none).
  std::uint32_t last_error() const { return last_error_; }

 private:
  std::vector<FaultRule> rules_;
  std::vector<std::pair<std::string, int>> slow_;  // operation, milliseconds
  int disconnect_after_ = -1;                      // operations still allowed; -1: never
  int kill_at_ = 0;                                // the operation that ends the process; 0: none
  int operations_ = 0;                             // asked for so far
  bool disconnected_ = false;
  std::uint32_t last_error_ = 0;
  bool last_drop_ = false;
};

}  // namespace zp
