// The unpack folder belongs to the installer while it runs. The installer is
// elevated, the folder lies under the user's application-data folder, and
// the user's other programs run there too: nothing they may have planted or
// may change between our write and our use is trusted. This module alone
// claims, checks, holds and releases the folder, and knows what this run
// wrote into it.
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

// What the handle of a folder the installer has just created says of it.
struct HeldFolderFacts {
    DWORD attributes = 0;         // of the handle (a link shows FILE_ATTRIBUTE_REPARSE_POINT)
    DWORD volumeFlags = 0;        // FILE_PERSISTENT_ACLS where the volume keeps ACLs
    unique_hlocal security;       // owner and DACL read back; null where the system keeps none
    bool securityKept = true;     // false: the system stores no descriptors (Wine)
};
// Reads the facts from the handle; false when it cannot. A seam: tests stand
// in for what the test system cannot show (links, volumes without ACLs,
// another owner).
using ReadHeldFolderFn = bool (*)(HANDLE folder, HeldFolderFacts* facts);
bool ReadHeldFolder(HANDLE folder, HeldFolderFacts* facts);
extern ReadHeldFolderFn gReadHeldFolder;
// True when the facts show a real folder on a volume that keeps ACLs, owned
// by Administrators, with the protected DACL of `built`.
bool IsOwnUnpackFolder(const HeldFolderFacts& facts, PSECURITY_DESCRIPTOR built);

// How ClaimUnpackFolder ended.
enum class FolderClaim {
    Failed,         // no folder of ours could be made (nothing is held)
    Created,        // a new folder
    Existed,        // one found in place (or already held)
    ParentMissing,  // the folder above does not exist
};

// Makes the folder `path` names (MAX_PATH characters, gUnPackDirPath) the
// installer's own and holds it open without delete sharing until
// ReleaseUnpackFolder, so it cannot be renamed away and replaced.
// Elevated, the folder is created together with its handle and the
// descriptor above, and the handle is checked (IsOwnUnpackFolder). What is
// found in its place (an interrupted run's folder, a planted one, a link) is
// taken away through handles that never follow a link, and the folder made
// anew. When that is not wholly possible (a read-only file, a file held open)
// or the new folder fails its check, the found folder is left alone and a
// fresh sibling with an unpredictable name ("KalveronTemp-1a2b3c4d", so the
// exit's removal still applies) is made instead; `path` then names it. Not
// elevated (Windows XP): a missing folder is created, an existing one used as
// it is. Writes no log line. Claiming the same path again, or the path of
// the folder held, keeps what is held and names it in `path`.
FolderClaim ClaimUnpackFolder(wchar_t* path);
void ReleaseUnpackFolder();

// Turns the write handle of a file just written at `path` into a read handle
// that shares reading only, and keeps it until ReleaseWrittenFiles: nobody can
// change, replace or delete the file between its write and its use (load or
// extraction), also where no ACL applies (FAT32, Windows XP). False, and
// nothing kept, when someone else opened the file for writing meanwhile.
// The file counts as written by this run.
bool KeepWrittenFile(unique_file written, const wchar_t* path);
// Releases the file kept for `path` (one about to be written again), or all.
void ReleaseWrittenFiles(const wchar_t* path = nullptr);

// What this run wrote into the unpack folder: the unpacker's files and every
// entry the decoder extracted. Only those are loaded, copied or run.
void NoteWrittenByThisRun(const wchar_t* path);
// True when `path` lies inside the held unpack folder and this run did not
// write it there: planted, never to be used.
bool IsForeignToUnpackFolder(const wchar_t* path);

}  // namespace si

// Deletes everything below `folder` (not the folder itself). True when every
// subfolder could be emptied and removed. Read-only files stay, and so does
// every folder above them. An empty path is refused. Each entry is opened
// without following links, held while it is looked at, and deleted through
// that handle: a link (junction, symbolic link) goes itself, never what it
// points at, even one swapped in between the listing and the deletion.
// `folder` itself being one, nothing is deleted through it (true).
bool RecursiveDelete(const wchar_t* folder);
