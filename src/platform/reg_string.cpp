// String values of the desktop registry, on top of the platform's RegQuery.
#include <algorithm>

#include "platform/platform.h"

namespace zp {

std::optional<std::string> RegQueryString(const RegKey& key, std::string_view name,
                                          std::size_t limit) {
  const auto data = RegQuery(key, name, limit);
  if (!data) return std::nullopt;
  std::string text(data->bytes.begin(), data->bytes.end());
  text.resize(std::min(text.size(), text.find('\0')));
  // The terminator must fit in the buffer too, stored or not.
  if (text.size() + 1 > limit) {
    SetLastErrorCode(kErrorMoreData);
    return std::nullopt;
  }
  return text;
}

}  // namespace zp
