// The names of arrays on their way into FromPocket.
#include "transfer/move_names.h"

#include <cinttypes>
#include <cstdio>

#include "platform/hex_number.h"
#include "platform/platform.h"

namespace zp {
namespace {

constexpr std::string_view kPrefix = "~zp.";
constexpr std::string_view kPartial = ".part";
constexpr std::string_view kComplete = ".done";

constexpr std::string_view kNumberedPrefix = "~zp";
constexpr std::string_view kNumberedPartial = ".prt";
constexpr std::string_view kNumberedComplete = ".fin";
constexpr std::string_view kNumberedRecord = ".nam";

bool Plain(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u'.' || c == u'-' || c == u'_';
}

// The number of "~zp<digits><suffix>": 1 to 18 digits, no leading zero.
std::optional<std::int64_t> NumberOf(std::string_view digits) {
  if (digits.empty() || digits.size() > 18 || digits[0] == '0') return std::nullopt;
  std::int64_t n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

std::optional<ParsedMoveName> ParseNumbered(std::string_view name) {
  ParsedMoveName parsed;
  std::string_view suffix;
  if (name.ends_with(kNumberedPartial)) {
    parsed.stage = MoveStage::Partial;
    suffix = kNumberedPartial;
  } else if (name.ends_with(kNumberedComplete)) {
    parsed.stage = MoveStage::Complete;
    suffix = kNumberedComplete;
  } else if (name.ends_with(kNumberedRecord)) {
    parsed.stage = MoveStage::Record;
    suffix = kNumberedRecord;
  } else {
    return std::nullopt;
  }
  const auto number = NumberOf(
      name.substr(kNumberedPrefix.size(), name.size() - kNumberedPrefix.size() - suffix.size()));
  if (!number) return std::nullopt;
  parsed.number = *number;
  return parsed;
}

}  // namespace

std::string EscapeDeviceName(const std::u16string& device_name) {
  std::string text;
  for (char16_t c : device_name) {
    if (Plain(c)) {
      text += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "%%%04X", static_cast<unsigned>(c));
      text += escaped;
    }
  }
  return text;
}

std::optional<std::u16string> UnescapeDeviceName(std::string_view escaped) {
  std::u16string name;
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] != '%') {
      if (!Plain(static_cast<char16_t>(static_cast<unsigned char>(escaped[i])))) {
        return std::nullopt;
      }
      name += static_cast<char16_t>(escaped[i]);
      continue;
    }
    if (i + 4 >= escaped.size()) return std::nullopt;
    const auto unit = ParseHex32(escaped.substr(i + 1, 4));
    if (!unit) return std::nullopt;
    name += static_cast<char16_t>(*unit);
    i += 4;
  }
  if (name.empty()) return std::nullopt;
  return name;
}

std::string MoveName(const std::u16string& device_name, MoveStage stage) {
  std::string name(kPrefix);
  name += EscapeDeviceName(device_name);
  name += stage == MoveStage::Partial ? kPartial : kComplete;
  return name;
}

std::string NumberedMoveName(std::int64_t number, MoveStage stage) {
  const std::string_view suffix = stage == MoveStage::Partial    ? kNumberedPartial
                                  : stage == MoveStage::Complete ? kNumberedComplete
                                                                 : kNumberedRecord;
  char name[40];
  std::snprintf(name, sizeof name, "~zp%" PRId64 "%.*s", number, static_cast<int>(suffix.size()),
                suffix.data());
  return name;
}

StagingPaths StagingFor(const std::string& folder, const std::u16string& device_name,
                        std::int64_t number) {
  StagingPaths paths;
  const std::string partial = MoveName(device_name, MoveStage::Partial);
  // Both stages' names have one length.
  if (partial.size() <= kMaxNamedMove && folder.size() + partial.size() + 1 <= kMaxPath) {
    paths.partial = folder + partial;
    paths.complete = folder + MoveName(device_name, MoveStage::Complete);
    return paths;
  }
  paths.partial = folder + NumberedMoveName(number, MoveStage::Partial);
  paths.complete = folder + NumberedMoveName(number, MoveStage::Complete);
  paths.record = folder + NumberedMoveName(number, MoveStage::Record);
  return paths;
}

std::optional<ParsedMoveName> ParseMoveName(const std::string& desktop_name) {
  const std::string_view name = desktop_name;
  if (!name.starts_with(kPrefix)) {
    if (!name.starts_with(kNumberedPrefix)) return std::nullopt;
    return ParseNumbered(name);
  }
  ParsedMoveName parsed{};
  if (name.ends_with(kPartial)) {
    parsed.stage = MoveStage::Partial;
  } else if (name.ends_with(kComplete)) {
    parsed.stage = MoveStage::Complete;
  } else {
    return std::nullopt;
  }
  if (name.size() < kPrefix.size() + kPartial.size()) return std::nullopt;
  auto device_name =
      UnescapeDeviceName(name.substr(kPrefix.size(), name.size() - kPrefix.size() - 5));
  if (!device_name) return std::nullopt;
  parsed.device_name = std::move(*device_name);
  return parsed;
}

}  // namespace zp
