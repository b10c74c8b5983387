// The unpack folder belongs to the installer while it runs. The installer is
// elevated, the folder lies under the user's application-data folder, and
// the user's other programs run there too: nothing they may have planted or
// may change between our write and our use is trusted.
#pragma once

#include <windows.h>

#include "framework/win.h"

namespace si {

// Whether this process runs elevated (its token's TokenElevation). False where
// the system has no such notion (Windows XP): today's behaviour is kept there.
bool QueryProcessElevation();
// The answer the unpack folder goes by; tests force either one.
using ElevationFn = bool (*)();
extern ElevationFn gIsProcessElevated;

// The unpack folder's security descriptor, in LocalAlloc'd memory: owner
// Administrators, a protected DACL (nothing inherited) with full control for
// SYSTEM and Administrators and read and execute for the user.
bool BuildUnpackFolderSecurity(unique_hlocal* descriptor);

// Makes `path` the installer's own folder and holds it open, without delete
// sharing, until ReleaseUnpackFolder, so it cannot be renamed away and
// replaced. A link in its place is removed (the link, never its target).
// Elevated: a folder it creates gets the descriptor above; one that was
// already there is emptied without following links and re-created (or, when
// it cannot be removed, given the descriptor). Not elevated: a missing folder
// is created, an existing one used as it is. Writes no log line. False when
// the path is not a real folder held by this process afterwards. Holding the
// same path again is a no-op.
bool ClaimUnpackFolder(const wchar_t* path);
void ReleaseUnpackFolder();

// Turns the write handle of a file just written at `path` into a read handle
// that shares reading only, and keeps it until ReleaseWrittenFiles: nobody can
// change, replace or delete the file between its write and its use (load or
// extraction), also where no ACL applies (FAT32, Windows XP). False, and
// nothing kept, when someone else opened the file for writing meanwhile.
bool KeepWrittenFile(unique_file written, const wchar_t* path);
// Releases the file kept for `path` (one about to be written again), or all.
void ReleaseWrittenFiles(const wchar_t* path = nullptr);

}  // namespace si

// Deletes everything below `folder` (not the folder itself). True when every
// subfolder could be emptied and removed. Read-only files stay, and so does
// every folder above them. An empty path is refused. Links (junctions,
// symbolic links) are removed, never followed; `folder` itself being one,
// nothing is deleted through it (true).
bool RecursiveDelete(const wchar_t* folder);
