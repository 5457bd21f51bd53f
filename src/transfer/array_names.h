// The desktop names of the arrays of one pass: "<FromPocket>ARR%05d.ARR",
// numbered upward over the names FromPocket already holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zp {

/// NextArrayName for one pass, over a listing of FromPocket taken once at
/// its start: each name costs O(1) (amortised over the pass), however many
/// arrays the folder holds. The listing only proposes: the exclusive create
/// of the caller decides, and a name taken meanwhile is passed over by
/// asking for the next one.
class ArrayNames {
 public:
  /// `folder` ends with a backslash; `listing` is every entry of it (any
  /// order; only the array names count); `counter` is the last number
  /// given out.
  ArrayNames(std::string folder, const std::vector<FindEntry>& listing, std::int64_t counter = 0);

  /// The lowest number above the last one given out whose name no file or
  /// folder held when FromPocket was listed; it becomes the last one given
  /// out. Strictly increasing, with no upper limit.
  std::string Next();
  std::int64_t counter() const { return counter_; }

 private:
  bool Taken(std::int64_t n);

  std::string folder_;
  std::int64_t counter_;
  // The numbers whose names exist: below kBitmapLimit one bit each (a folder
  // of 100,000 arrays takes 12.5 KB), above it in ascending order.
  std::vector<std::uint64_t> low_;
  std::vector<std::int64_t> high_;
  std::size_t cursor_ = 0;  // the first of high_ not below the next probe
};

/// The number whose "ARR%05d.ARR" is `name` (case-insensitive), or -1 for
/// every other name ("ARR1.ARR", "ARR012345.ARR" and an 8.3 alias included).
std::int64_t ArrayNumber(const std::string& name);

/// "<folder>ARR%05d.ARR".
std::string ArrayPath(const std::string& folder, std::int64_t n);

}  // namespace zp
