// The choice of the language library from the system's default language.
#pragma once

#include <windows.h>

struct LanguageEntry {
    int index;
    const wchar_t* folderName;
    const wchar_t* displayName;
    unsigned int languageId;
    int spare;
};

// 35 rows and an end row (index -1).
extern const LanguageEntry kLanguageTable[36];
constexpr int kDefaultLanguageRow = 2;  // English(United_States)

// The row of the first entry whose id equals `languageId`, or -1. Exact
// matches only: there is no fall-back to the primary language.
int FindLanguageIndex(unsigned int languageId);

// HKLM\SYSTEM\CurrentControlSet\Control\Nls\Language "Default", parsed as
// hexadecimal; 0 when it cannot be read.
unsigned int ReadSystemLanguageId();

// The hexadecimal parse of a registry text, stopping at the first non-digit.
unsigned int ParseLanguageId(const wchar_t* text);

// Loads gUnPackDirPath\Lang\<folder>\SetupInstallLan.dll for the system
// language (English when the table lacks it); null when it cannot be loaded.
HMODULE LoadLanguageLibrary();
// The same for a given language id; the seam the tests use.
HMODULE LoadLanguageLibraryFor(unsigned int languageId);
