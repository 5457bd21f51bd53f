// The names of arrays on their way into FromPocket.
#include "transfer/move_names.h"

#include <cstdio>

#include "platform/hex_number.h"

namespace zp {
namespace {

constexpr std::string_view kPrefix = "~zp.";
constexpr std::string_view kPartial = ".part";
constexpr std::string_view kComplete = ".done";

bool Plain(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u'.' || c == u'-' || c == u'_';
}

}  // namespace

std::string MoveName(const std::u16string& device_name, MoveStage stage) {
  std::string name(kPrefix);
  for (char16_t c : device_name) {
    if (Plain(c)) {
      name += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "%%%04X", static_cast<unsigned>(c));
      name += escaped;
    }
  }
  name += stage == MoveStage::Partial ? kPartial : kComplete;
  return name;
}

std::optional<ParsedMoveName> ParseMoveName(const std::string& desktop_name) {
  const std::string_view name = desktop_name;
  if (!name.starts_with(kPrefix)) return std::nullopt;
  ParsedMoveName parsed{};
  if (name.ends_with(kPartial)) {
    parsed.stage = MoveStage::Partial;
  } else if (name.ends_with(kComplete)) {
    parsed.stage = MoveStage::Complete;
  } else {
    return std::nullopt;
  }
  const std::string_view body = name.substr(kPrefix.size(), name.size() - kPrefix.size() - 5);
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] != '%') {
      if (!Plain(static_cast<char16_t>(static_cast<unsigned char>(body[i])))) return std::nullopt;
      parsed.device_name += static_cast<char16_t>(body[i]);
      continue;
    }
    if (i + 4 >= body.size()) return std::nullopt;
    const auto unit = ParseHex32(body.substr(i + 1, 4));
    if (!unit) return std::nullopt;
    parsed.device_name += static_cast<char16_t>(*unit);
    i += 4;
  }
  if (parsed.device_name.empty()) return std::nullopt;
  return parsed;
}

}  // namespace zp
