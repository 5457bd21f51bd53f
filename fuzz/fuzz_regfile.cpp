// Fuzzes the .reg reader and writer: any bytes parse without harm, and what
// is written back parses to the same document.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/regfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const auto strings : {zp::regfile::Strings::Narrow, zp::regfile::Strings::Wide}) {
    const zp::regfile::ParseResult first = zp::regfile::Parse(text, strings);
    const std::string written = zp::regfile::Write(first.doc, strings);
    const zp::regfile::ParseResult second = zp::regfile::Parse(written, strings);
    if (!second.problems.empty() || second.doc.keys.size() != first.doc.keys.size()) std::abort();
    for (std::size_t k = 0; k < first.doc.keys.size(); ++k) {
      const auto& a = first.doc.keys[k];
      const auto& b = second.doc.keys[k];
      if (a.values.size() != b.values.size()) std::abort();
      for (std::size_t v = 0; v < a.values.size(); ++v) {
        if (a.values[v].type != b.values[v].type || a.values[v].bytes != b.values[v].bytes) {
          std::abort();
        }
      }
    }
  }
  return 0;
}
