// The desktop's sync root: "PathSync" under
// HKEY_LOCAL_MACHINE\Software\Brenok\ZAMO\PocketPC.
#pragma once

#include <string>

namespace zp {

/// The sync root, always ending with a backslash ("c:\" when the value is
/// missing, empty or longer than 260 characters). False, `root` untouched,
/// when the key cannot be opened.
bool GetPathSync(std::string& root);

}  // namespace zp
