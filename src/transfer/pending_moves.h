// What an earlier session left in FromPocket on its way: partial copies,
// and complete copies whose removal from the handheld was never confirmed
// (the program was killed, or the link dropped, between the two).
#pragma once

#include <string>
#include <vector>

#include "device/remote_device.h"
#include "platform/platform.h"
#include "transfer/array_names.h"

namespace zp {

/// Settles them before the array pass, one log line each: a partial copy
/// is removed; a complete copy becomes an array of its own (named by
/// `names`), and when the handheld still holds a file of that name with
/// the same bytes, the handheld's file is deleted first, so that it is not
/// moved a second time. `listing` is every entry of FromPocket, taken at
/// the start of the pass. False (logged) when one cannot be settled: then
/// the pass must not run, or an array could be taken twice.
bool SettlePendingMoves(RemoteDevice& device, const std::u16string& remote_folder,
                        const std::string& from_pocket, const std::vector<FindEntry>& listing,
                        ArrayNames& names);

/// CeDeleteFile, and when it reports a failure, whether the file is gone
/// all the same (the reply was lost), still there, or cannot be told (the
/// link is down).
enum class Deletion { Deleted, StillThere, Unknown };
Deletion DeleteOnDevice(RemoteDevice& device, const std::u16string& path);

/// Gives a complete copy its array name: `named` when it is not empty,
/// else the next of `names`, passing over names taken meanwhile; `named`
/// is the name given. The new name needs no flush of its own: should it be
/// lost while the state is still 3, the copy is found complete again and
/// settled; the array pass flushes the folder once at its end, before the
/// state may become 4. False (logged) when it cannot.
bool NameArray(const std::string& complete, ArrayNames& names, std::string& named);

/// Writes the record of a numbered move (move_names.h): the device name,
/// flushed, so that it is on the disk before the copy it names can be
/// complete. False (logged, nothing left) when it cannot be written.
bool WriteMoveRecord(const std::string& record, const std::u16string& device_name);

}  // namespace zp
