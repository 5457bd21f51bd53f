// Power cuts of the desktop stand-in, for tests: while a `cut` rule is in
// force (posix_faults.h), every desktop operation tells what it is about to
// change and what it has flushed, and the cut puts the desktop back to what
// a machine losing its power would find on its disk: each file's data as of
// its last flush, each folder's entries (names created, renamed, removed)
// as of its last flush. What the session never touched is left as it is.
// Never part of the Windows program.
//
// Paths here are host paths below the desktop root.
#pragma once

#include <string>

namespace zp::posix {

/// Starts tracking afresh (a new `cut` rule), or stops it (`on` false).
void TrackPowerCut(bool on);

/// Before a name in `folder` is created, renamed or removed: the entries it
/// holds now are what a cut gives back, until it is flushed.
void NoteFolderChange(const std::string& folder);

/// Before the file at `path` is truncated, or (`going`) removed or replaced:
/// the data it holds now are what a cut gives back, until it is flushed.
/// Nothing when there is no such file.
void NoteFileAtRisk(const std::string& path, bool going);

/// A file just opened for writing: when it is new, a cut gives it back
/// empty until it is flushed.
void NoteFileOpenedForWriting(int fd);

/// After a flush of the file's data.
void NoteFileFlushed(int fd);

/// After a flush of the folder's entries.
void NoteFolderFlushed(const std::string& folder);

/// The cut: every folder and file noted is put back to what was flushed.
void RestoreFlushed();

}  // namespace zp::posix
