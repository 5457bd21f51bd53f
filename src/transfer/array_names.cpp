// The numbering of the arrays moved into FromPocket.
#include "transfer/array_names.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <utility>

namespace zp {
namespace {

// Numbers below it are kept in a bitmap of at most 1 MiB.
constexpr std::int64_t kBitmapLimit = std::int64_t{1} << 23;

bool EqualsUpper(const std::string& text, std::size_t at, const char* upper) {
  for (std::size_t i = 0; upper[i] != '\0'; ++i) {
    const char c = text[at + i];
    if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != upper[i]) return false;
  }
  return true;
}

}  // namespace

std::string ArrayPath(const std::string& folder, std::int64_t n) {
  char name[40];
  std::snprintf(name, sizeof name, "ARR%05" PRId64 ".ARR", n);
  return folder + name;
}

std::int64_t ArrayNumber(const std::string& name) {
  // "ARR" digits ".ARR", the digits as "%05d" writes them: five with
  // leading zeros, or more without one. At most 18, so the value fits.
  const std::size_t digits = name.size() < 7 ? 0 : name.size() - 7;
  if (digits < 5 || digits > 18 || !EqualsUpper(name, 0, "ARR") ||
      !EqualsUpper(name, 3 + digits, ".ARR") || (digits > 5 && name[3] == '0')) {
    return -1;
  }
  std::int64_t n = 0;
  for (std::size_t i = 3; i < 3 + digits; ++i) {
    if (name[i] < '0' || name[i] > '9') return -1;
    n = n * 10 + (name[i] - '0');
  }
  return n;
}

ArrayNames::ArrayNames(std::string folder, const std::vector<FindEntry>& listing,
                       std::int64_t counter)
    : folder_(std::move(folder)), counter_(counter) {
  // A name's short alias is listed too on Windows; ArrayNumber keeps only
  // the names themselves.
  for (const FindEntry& entry : listing) {
    const std::int64_t n = ArrayNumber(entry.name);
    if (n < 0) continue;
    if (n >= kBitmapLimit) {
      high_.push_back(n);
      continue;
    }
    const auto word = static_cast<std::size_t>(n / 64);
    if (word >= low_.size()) low_.resize(word + 1, 0);
    low_[word] |= std::uint64_t{1} << (n % 64);
  }
  std::sort(high_.begin(), high_.end());
}

std::string ArrayNames::Next() {
  std::int64_t n = counter_ + 1;
  while (Taken(n)) ++n;
  counter_ = n;
  return ArrayPath(folder_, n);
}

bool ArrayNames::Taken(std::int64_t n) {
  if (n < kBitmapLimit) {
    const auto word = static_cast<std::size_t>(n / 64);
    return word < low_.size() && (low_[word] >> (n % 64) & 1) != 0;
  }
  // The probes only ever go up, so the cursor does too.
  while (cursor_ < high_.size() && high_[cursor_] < n) ++cursor_;
  return cursor_ < high_.size() && high_[cursor_] == n;
}

}  // namespace zp
