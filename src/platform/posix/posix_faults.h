// Faults of the desktop stand-in, for tests: rules that make chosen desktop
// operations fail, at the one place each operation passes. Read from the
// file "faults" in the desktop root, or set by a test. Never part of the
// Windows program.
//
//   fail <operation> [nth=<n>] [always] [error=<code>]
//   kill at=<n>
//   cut at=<n>
//
// <operation>: CreateFile, ReadFile, WriteFile, FlushFileBuffers,
// CloseHandle, MoveFileEx, DeleteFile, FindFirstFile, CreateDirectory (or
// * for all). The rule fires on the n-th call of the operation (default 1),
// with `always` on every later one too; the last error is then `error`
// (112 is a full disk), else the operation's usual code. `kill at=<n>`: the
// process ends at once (exit code 87) when the n-th desktop operation of
// any kind is asked for. `cut at=<n>`: the power is cut there instead
// (posix_power_cut.h): the desktop is put back to what was flushed and the
// process ends (exit code 88); a session that ends before its n-th operation
// has the power cut as it ends. A folder's flush is a FlushFileBuffers, as
// on Windows.
#pragma once

#include <cstdint>
#include <string_view>

namespace zp::posix {

/// Called by each operation before it is carried out: true when it must
/// fail (the last error is set).
bool DesktopFault(std::string_view operation, std::uint32_t usual);

/// The rules in force from now on (tests); the empty text clears them.
/// False when a line cannot be read (the rules are then unchanged).
bool SetDesktopFaults(std::string_view text);

/// The exit code of a process ended by a desktop `kill` rule.
inline constexpr int kDesktopKilledExitCode = 87;
/// The exit code of a process whose power a desktop `cut` rule cut.
inline constexpr int kDesktopPowerCutExitCode = 88;

}  // namespace zp::posix
