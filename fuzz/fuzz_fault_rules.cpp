// Fuzzes the `faults` file reader: any text reads without harm, every line
// is a rule, skipped, or named as a problem.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/fault_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> problems;
  zp::FaultRules rules = zp::FaultRules::Parse(text, &problems);
  // A kill rule would end the fuzzer: the rules are looked at, not used.
  (void)rules.DelayMilliseconds("CeReadFile");
  (void)rules.empty();
  return 0;
}
