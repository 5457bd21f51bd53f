// Faults of the desktop stand-in: the rules, their file and the check each operation makes.
#include "platform/posix/posix_faults.h"

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/desktop_root.h"
#include "platform/posix/posix_power_cut.h"

namespace zp::posix {
namespace {

struct Rule {
  std::string operation;
  int nth = 1;
  bool always = false;
  std::uint32_t error = 0;
  int seen = 0;
};

struct Rules {
  std::vector<Rule> rules;
  int kill_at = 0;
  int cut_at = 0;
  int operations = 0;
  std::string root;  // the desktop root whose faults file was read
  bool set_by_test = false;
};

Rules& Current() {
  static Rules rules;
  return rules;
}

constexpr std::string_view kOperations[] = {
    "CreateFile", "ReadFile",   "WriteFile",     "FlushFileBuffers", "CloseHandle",
    "MoveFileEx", "DeleteFile", "FindFirstFile", "CreateDirectory",  "*"};

template <typename T>
std::optional<T> Number(std::string_view text) {
  T value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

std::optional<Rules> Parse(std::string_view text) {
  Rules parsed;
  std::istringstream lines{std::string(text)};
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::string kind;
    if (!(words >> kind) || kind.starts_with("#")) continue;
    std::string word;
    if (kind == "kill" || kind == "cut") {
      if (!(words >> word) || !word.starts_with("at=")) return std::nullopt;
      const auto at = Number<int>(std::string_view(word).substr(3));
      if (!at || *at < 1 || (words >> word)) return std::nullopt;
      (kind == "kill" ? parsed.kill_at : parsed.cut_at) = *at;
      continue;
    }
    Rule rule;
    if (kind != "fail" || !(words >> rule.operation)) return std::nullopt;
    bool known = false;
    for (std::string_view op : kOperations) known = known || op == rule.operation;
    if (!known) return std::nullopt;
    while (words >> word) {
      if (word == "always") {
        rule.always = true;
      } else if (word.starts_with("nth=")) {
        const auto nth = Number<int>(std::string_view(word).substr(4));
        if (!nth || *nth < 1) return std::nullopt;
        rule.nth = *nth;
      } else if (word.starts_with("error=")) {
        const auto error = Number<std::uint32_t>(std::string_view(word).substr(6));
        if (!error) return std::nullopt;
        rule.error = *error;
      } else {
        return std::nullopt;
      }
    }
    parsed.rules.push_back(rule);
  }
  return parsed;
}

// A session that ends before the operation its `cut` rule names has the
// power cut as it ends.
void CutAtExit() {
  const Rules& rules = Current();
  if (rules.cut_at > rules.operations) RestoreFlushed();
}

// The rules in force from now on; a `cut` rule starts the tracking of what
// is flushed.
void Install(Rules rules) {
  Current() = std::move(rules);
  TrackPowerCut(Current().cut_at > 0);
  static bool at_exit = false;
  if (Current().cut_at > 0 && !at_exit) at_exit = std::atexit(CutAtExit) == 0;
}

// The faults file of the desktop root in use, read once per root.
void LoadFileRules(Rules& rules) {
  if (rules.set_by_test) return;
  const std::string root = DesktopRoot();
  if (root == rules.root) return;
  Rules fresh;
  fresh.root = root;
  std::ifstream in(root + "/faults", std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  if (auto parsed = in ? Parse(text.str()) : std::nullopt) {
    parsed->root = root;
    fresh = std::move(*parsed);
  }
  Install(std::move(fresh));
}

}  // namespace

bool DesktopFault(std::string_view operation, std::uint32_t usual) {
  Rules& rules = Current();
  LoadFileRules(rules);
  if (++rules.operations == rules.kill_at) std::_Exit(kDesktopKilledExitCode);
  if (rules.operations == rules.cut_at) {
    RestoreFlushed();
    std::_Exit(kDesktopPowerCutExitCode);
  }
  bool fails = false;
  for (Rule& rule : rules.rules) {
    if (rule.operation != "*" && rule.operation != operation) continue;
    ++rule.seen;
    if (fails || !(rule.seen == rule.nth || (rule.always && rule.seen > rule.nth))) continue;
    fails = true;
    SetLastErrorCode(rule.error != 0 ? rule.error : usual);
  }
  return fails;
}

bool SetDesktopFaults(std::string_view text) {
  auto parsed = Parse(text);
  if (!parsed) return false;
  parsed->set_by_test = !text.empty();
  Install(std::move(*parsed));
  return true;
}

}  // namespace zp::posix
