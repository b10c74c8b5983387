// Extraction of the two payload archives through the decoder library.
#pragma once

#include <windows.h>

#include <string>

// The language pack ("Lang7z") into the unpack folder; no progress.
// 1 when the decoder was called, 0 when it could not be loaded.
int ExtractLangFiles();
// The setup payload ("SetupFiles7z") into the unpack folder, one progress
// report per entry. 1 when the whole archive was extracted, 0 otherwise.
int ExtractSetupFiles();
// Progress callback of ExtractSetupFiles.
void __cdecl OnExtractEntry(const wchar_t* entryName);
// A string of the active resource module; a missing or empty one ends the
// process (exit code 1) after a message.
std::wstring LoadStringOrExit(UINT id);
