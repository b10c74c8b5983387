// The contract of the decoder library "7zDec.dll": one export, ExtractFiles.
#pragma once

#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

// Called once per archive entry, folders included, before the entry is
// written, with the entry's stored path (forward slashes as folder separators).
typedef void(__cdecl* ExtractProgressFn)(const wchar_t* entryName);

// Extracts every entry of a 7z archive below outputFolder.
//   archivePath   narrow, in the ANSI code page
//   outputFolder  wide, ending in a backslash; it must exist
//   progress      optional
// Result codes:
enum {
    EXTRACT_OK = 0,              // the whole archive was extracted
    EXTRACT_MISSING_ARGUMENT = 1,  // archive path or output folder missing
    EXTRACT_CANNOT_OPEN = 2,     // the archive file cannot be opened
    // 3, 4, 5: the 7z decoder stopped with that status of its own
    EXTRACT_FAILED = 7,          // damaged data, memory, a file or folder that cannot be written,
                                 // an entry whose path would leave the output folder
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
