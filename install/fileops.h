// File and folder routines shared by the install steps. Paths are wide,
// at most 259 characters; a composed path that would not fit is refused.
#pragma once

#include <windows.h>

// Creates `path` with every missing parent, logging "CreateDirectory = <prefix> \n"
// for each prefix tried. True when the path ends up a folder whose attributes
// are exactly FILE_ATTRIBUTE_DIRECTORY; an existing such folder returns at once.
bool createMultiDir(const wchar_t* path);

// CopyFileW, overwriting, of a file this run may use: one planted in the
// unpack folder (not written there by this run) is refused with
// ERROR_ACCESS_DENIED and never copied.
bool CopyOwnFile(const wchar_t* source, const wchar_t* destination);

// Copies every file (one level, no subfolders) of `source` into the existing
// folder `destination`, overwriting, through CopyOwnFile. True when no copy
// failed, also when nothing was there to copy.
bool copyFolderFiles(const wchar_t* source, const wchar_t* destination);

// The name (without folder) of the first .inf file the file system lists in
// `folder`, into `name` (MAX_PATH characters): 0 when found, 1 when there is
// none (then `name` is left as it was).
int getInfFileName(const wchar_t* folder, wchar_t* name);

// Deletes `lpFolderPath` with everything in it, with its log lines; true when
// it is gone.
bool LXDeleteFolder(const wchar_t* lpFolderPath);
