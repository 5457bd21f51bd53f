// Which names the host folders hold, without regard to case, so that a name
// missing in its exact spelling can be told absent in every spelling without
// listing its folder again. Windows finds a name in any case; the stand-in
// would otherwise have to read a whole folder for every name it creates.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

namespace zp::posix {

/// False only when no entry of the host folder `folder` is `name` in any
/// case (ASCII folding, as NarrowNames::Equal). True means "perhaps": the caller
/// reads the folder to find the spelling. `folder_stat`, when given, is a
/// fresh stat() of the folder, which spares one.
///
/// The first question about a folder reads it once; from then on the kernel
/// reports every name created or moved into it (inotify), so the answer
/// stays right whoever changes the folder. Without inotify every answer is
/// "perhaps".
bool MayHoldFolded(const std::string& folder, std::string_view name,
                   const struct stat* folder_stat = nullptr);

}  // namespace zp::posix
