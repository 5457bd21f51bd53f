// Fault rules of the simulated handheld: matching, counting and the
// `faults` file format.
#include "simulator/fault_rules.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <iterator>
#include <optional>

#include "platform/name_rules.h"
#include "platform/utf.h"
#include "simulator/number_text.h"

namespace zp {
namespace {

// The operations a rule may name: the members of RemoteDevice that reach
// the device.
constexpr std::string_view kOperations[] = {"CeRapiInit",
                                            "CeRapiUninit",
                                            "CeGetDeviceId",
                                            "CeSvcEnumProfiles",
                                            "CeSvcOpen",
                                            "CeSvcGetString",
                                            "CeSvcClose",
                                            "CeCreateFile",
                                            "CeReadFile",
                                            "CeWriteFile",
                                            "CeCloseHandle",
                                            "CeGetFileAttributes",
                                            "CeCreateDirectory",
                                            "CeDeleteFile",
                                            "CeFindAllFiles",
                                            "CeRegOpenKeyEx",
                                            "CeRegCreateKeyEx",
                                            "CeRegQueryValueEx",
                                            "CeRegSetValueEx",
                                            "CeRegCloseKey",
                                            "CeCreateProcess",
                                            "CeGetSystemInfo",
                                            "*"};

bool IsSpace(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view Trim(std::string_view s) {
  s = TrimLeft(s);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// The first word of `s`; `s` is left after it.
std::string_view TakeWord(std::string_view& s) {
  s = TrimLeft(s);
  std::size_t end = 0;
  while (end < s.size() && !IsSpace(s[end])) ++end;
  const std::string_view word = s.substr(0, end);
  s.remove_prefix(end);
  return word;
}

// True when an option word starts at `s` ("nth=", "error=", "always").
bool StartsOption(std::string_view s) {
  if (s.starts_with("nth=") || s.starts_with("error=")) return true;
  const auto word = [&](std::string_view w) {
    return s.starts_with(w) && (s.size() == w.size() || IsSpace(s[w.size()]));
  };
  return word("always") || word("drop");
}

// The value of path=: quoted, or up to the next option word.
std::optional<std::string> TakePath(std::string_view& s) {
  if (!s.empty() && s.front() == '"') {
    const std::size_t close = s.find('"', 1);
    if (close == std::string_view::npos) return std::nullopt;
    std::string path(s.substr(1, close - 1));
    s.remove_prefix(close + 1);
    if (!s.empty() && !IsSpace(s.front())) return std::nullopt;
    return path;
  }
  std::size_t end = 0;
  while (end < s.size() && !(IsSpace(s[end]) && StartsOption(TrimLeft(s.substr(end))))) ++end;
  std::string path(Trim(s.substr(0, end)));
  s.remove_prefix(end);
  return path;
}

// One rule line after its kind word; false when it cannot be read.
bool ParseRule(std::string_view rest, FaultRule& rule) {
  const std::string_view operation = TakeWord(rest);
  if (std::find(std::begin(kOperations), std::end(kOperations), operation) ==
      std::end(kOperations)) {
    return false;
  }
  rule.operation = std::string(operation);
  bool has_error = false;
  while (!(rest = TrimLeft(rest)).empty()) {
    if (rest.starts_with("path=")) {
      rest.remove_prefix(5);
      auto path = TakePath(rest);
      if (!path || path->empty()) return false;
      rule.path = std::move(*path);
      continue;
    }
    const std::string_view word = TakeWord(rest);
    if (word == "always") {
      rule.persistent = true;
    } else if (word == "drop" && rule.kind == FaultRule::Kind::Lost) {
      rule.drop = true;
    } else if (word.starts_with("nth=")) {
      const auto nth = ParseNumber<int>(word.substr(4));
      if (!nth || *nth < 1) return false;
      rule.nth = *nth;
    } else if (word.starts_with("error=")) {
      const auto error = ParseNumber<std::uint32_t>(word.substr(6));
      if (!error) return false;
      rule.error = *error;
      has_error = true;
    } else {
      return false;
    }
  }
  // A short write is not a failure: it has no error code, and only writes have it.
  if (rule.kind == FaultRule::Kind::ShortWrite) {
    return !has_error && rule.operation == "CeWriteFile";
  }
  // A lost reply is what makes a move ambiguous: the device's delete.
  if (rule.kind == FaultRule::Kind::Lost) return rule.operation == "CeDeleteFile";
  return true;
}

}  // namespace

void FaultRules::Add(FaultRule rule) {
  if (rule.nth < 1) rule.nth = 1;
  rules_.push_back(std::move(rule));
}

void FaultRules::Fail(std::string operation, std::string path, int nth, bool persistent) {
  FaultRule rule;
  rule.operation = std::move(operation);
  rule.path = std::move(path);
  rule.nth = nth;
  rule.persistent = persistent;
  Add(std::move(rule));
}

void FaultRules::ShortWrite(std::string path, int nth) {
  FaultRule rule;
  rule.kind = FaultRule::Kind::ShortWrite;
  rule.operation = "CeWriteFile";
  rule.path = std::move(path);
  rule.nth = nth;
  Add(std::move(rule));
}

void FaultRules::DisconnectAfter(int operations) {
  disconnect_after_ = operations < 0 ? -1 : operations;
  disconnected_ = false;
}

void FaultRules::Slow(std::string operation, int milliseconds) {
  slow_.emplace_back(std::move(operation), std::max(milliseconds, 0));
}

int FaultRules::DelayMilliseconds(std::string_view operation) const {
  int total = 0;
  for (const auto& [name, milliseconds] : slow_) {
    if (name == "*" || name == operation) total += milliseconds;
  }
  return total;
}

void FaultRules::Clear() {
  *this = FaultRules();
}

FaultRules::Outcome FaultRules::Check(std::string_view operation, const std::u16string& path) {
  if (++operations_ == kill_at_) std::_Exit(kKilledExitCode);  // nothing flushed, nothing closed
  if (disconnected_) return Outcome::Disconnected;
  if (disconnect_after_ == 0) {
    disconnected_ = true;
    return Outcome::Disconnected;
  }
  if (disconnect_after_ > 0) --disconnect_after_;
  Outcome outcome = Outcome::Pass;
  for (FaultRule& rule : rules_) {
    if (rule.operation != "*" && rule.operation != operation) continue;
    if (!rule.path.empty() && !WideNames::Match(utf::FromUtf8(rule.path), path)) continue;
    ++rule.seen;
    const bool fires = rule.seen == rule.nth || (rule.persistent && rule.seen > rule.nth);
    if (!fires || outcome != Outcome::Pass) continue;  // the first rule that fires decides
    outcome = rule.kind == FaultRule::Kind::ShortWrite ? Outcome::ShortWrite
              : rule.kind == FaultRule::Kind::Lost     ? Outcome::Lost
                                                       : Outcome::Fail;
    last_error_ = rule.error;
    last_drop_ = rule.drop;
  }
  return outcome;
}

FaultRules FaultRules::Parse(std::string_view text, std::vector<std::string>* problems) {
  FaultRules rules;
  int number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    std::string_view rest = Trim(raw);
    if (rest.empty() || rest.front() == '#') continue;
    const std::string_view kind = TakeWord(rest);
    bool ok = false;
    if (kind == "disconnect") {
      const std::string_view word = TakeWord(rest);
      const auto after =
          word.starts_with("after=") ? ParseNumber<int>(word.substr(6)) : std::nullopt;
      ok = after && *after >= 0 && Trim(rest).empty();
      if (ok) rules.DisconnectAfter(*after);
    } else if (kind == "kill") {
      const std::string_view word = TakeWord(rest);
      const auto at = word.starts_with("at=") ? ParseNumber<int>(word.substr(3)) : std::nullopt;
      ok = at && *at >= 1 && Trim(rest).empty();
      if (ok) rules.KillAt(*at);
    } else if (kind == "slow") {
      const std::string_view operation = TakeWord(rest);
      const std::string_view word = TakeWord(rest);
      const auto ms = word.starts_with("ms=") ? ParseNumber<int>(word.substr(3)) : std::nullopt;
      ok = ms && *ms >= 0 && Trim(rest).empty() &&
           std::find(std::begin(kOperations), std::end(kOperations), operation) !=
               std::end(kOperations);
      if (ok) rules.Slow(std::string(operation), *ms);
    } else if (kind == "fail" || kind == "short" || kind == "lost") {
      FaultRule rule;
      rule.kind = kind == "fail"    ? FaultRule::Kind::Fail
                  : kind == "short" ? FaultRule::Kind::ShortWrite
                                    : FaultRule::Kind::Lost;
      ok = ParseRule(rest, rule);
      if (ok) rules.Add(std::move(rule));
    }
    if (!ok && problems) {
      problems->push_back(std::to_string(number) + ": cannot read: " + std::string(raw));
    }
  }
  return rules;
}

}  // namespace zp
