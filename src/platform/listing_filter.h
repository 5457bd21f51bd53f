// What a desktop listing keeps: only the entries whose own name matches.
#pragma once

#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace zp {

/// Drops every entry whose name does not match the pattern's last part
/// ("c:\dir\*.TMT" gives "*.TMT") by the program's name rules. Windows also
/// lists a file whose generated 8.3 short name matches: "notes.tmtx"
/// (short name "NOTES~1.TMT") for "*.TMT".
void KeepLongNameMatches(std::string_view pattern, std::vector<FindEntry>& entries);

}  // namespace zp
