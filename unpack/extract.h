// Extraction of the two payload archives through the decoder library.
#pragma once

#include <windows.h>

#include "decoder/7zdec.h"

// The language pack ("Lang7z") into the unpack folder; no progress.
// 1 when the whole archive was extracted, 0 otherwise.
int ExtractLangFiles();
// The setup payload ("SetupFiles7z") into the unpack folder, `onEntry`
// (optional) called for each entry. 1 when the whole archive was extracted,
// 0 otherwise.
int ExtractSetupFiles(ExtractProgressFn onEntry);

namespace si {
// `path` in the narrow code page `codePage` (the ANSI one for the decoder),
// into `narrow` of `capacity` bytes. False when it does not fit or does not
// come back unchanged (a letter the code page lacks).
bool ToAnsiPath(const wchar_t* path, char* narrow, int capacity, UINT codePage);
}  // namespace si
