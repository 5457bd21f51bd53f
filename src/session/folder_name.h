// Whether a device's display name can stand as one folder under the sync root.
#pragma once

#include <string_view>

namespace zp {

/// False for a name that is not one plain Windows folder name: empty;
/// holding \ / : * ? " < > | or a control character; "." or ".."; ending
/// in a dot or a space; a reserved device name (CON, PRN, AUX, NUL,
/// COM1-COM9, LPT1-LPT9), with or without an extension.
bool IsUsableFolderName(std::string_view name);

}  // namespace zp
