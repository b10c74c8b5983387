// The contract of the decoder library "7zDec.dll": one export, ExtractFiles.
#pragma once

#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

// Called once per archive entry, folders included, before the entry is
// written, with the entry's stored path (forward slashes as folder separators).
// The text lives only for the call.
typedef void(__cdecl* ExtractProgressFn)(const wchar_t* entryName);

// Extracts every entry of a 7z archive below outputFolder, in the order of the
// archive's entry table; the first failure ends it (earlier entries stay).
//   archivePath   narrow, in the ANSI code page
//   outputFolder  wide, ending in a backslash (one is added when missing); it
//                 must exist. Missing folders below it are created.
//   progress      optional
// Each entry lands at outputFolder + stored path, which must fit MAX_PATH
// (259 characters and the terminator). A stored path is refused when it could
// lead elsewhere: an empty, "." or ".." component (or one of dots and spaces
// only), a leading slash or backslash, a colon (drive letter, data stream) or
// a device name (CON, NUL, COM1, ...). Existing files are replaced, read-only
// and hidden ones too; stored Windows attributes are set on files.
// Result codes:
enum {
    EXTRACT_OK = 0,                // the whole archive was extracted
    EXTRACT_MISSING_ARGUMENT = 1,  // archive path or output folder missing (null or empty)
    EXTRACT_CANNOT_OPEN = 2,       // the archive file cannot be opened
    // 3, 4, 5: the 7z decoder stopped with that status of its own
    // (CRC mismatch, unsupported method, inconsistent sizes)
    EXTRACT_FAILED = 7,            // damaged data, memory, a file or folder that cannot be written,
                                   // an archive without names, a path refused or too long
};
typedef int(__cdecl* ExtractFilesFn)(const char* archivePath, const wchar_t* outputFolder,
                                     ExtractProgressFn progress);

#ifdef SETUPINSTALL_DECODER_BUILD
__declspec(dllexport)
#endif
int __cdecl ExtractFiles(const char* archivePath, const wchar_t* outputFolder, ExtractProgressFn progress);

#ifdef __cplusplus
}
#endif
