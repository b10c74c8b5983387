#include "app/language.h"

#include <cwchar>

#include "diag/log.h"
#include "framework/win.h"
#include "state/globals.h"
#include "unpack/unpack_folder.h"

// The rows are those of lang/languages.inc, which the build reads too.
const LanguageEntry kLanguageTable[36] = {
#define SI_LANGUAGE_ID(row, folder, display, id) {row, L##folder, L##display, id, -1},
#include "lang/languages.inc"
    {-1, L"", L"", 0xFFFFFFFFu, -1},
};

int FindLanguageIndex(unsigned int languageId) {
    for (const LanguageEntry* row = kLanguageTable; row->index >= 0; ++row)
        if (row->languageId == languageId) return row->index;
    return -1;
}

unsigned int ParseLanguageId(const wchar_t* text) {
    unsigned int id = 0;
    for (; text && *text; ++text) {
        unsigned int digit;
        if (*text >= L'0' && *text <= L'9')
            digit = static_cast<unsigned int>(*text - L'0');
        else if (*text >= L'a' && *text <= L'f')
            digit = static_cast<unsigned int>(*text - L'a' + 10);
        else if (*text >= L'A' && *text <= L'F')
            digit = static_cast<unsigned int>(*text - L'A' + 10);
        else
            break;
        id = id * 16 + digit;
    }
    return id;
}

unsigned int ReadSystemLanguageId() {
    using RegGetValueWFn = LONG(WINAPI*)(HKEY, LPCWSTR, LPCWSTR, DWORD, LPDWORD, PVOID, LPDWORD);
    constexpr wchar_t kKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Nls\\Language";
    // 1024 bytes, one more character kept as a terminator the registry may not write.
    wchar_t text[512 + 1] = {};

    auto regGetValue = si::SystemFunction<RegGetValueWFn>(L"advapi32.dll", "RegGetValueW");
    if (regGetValue) {
        DWORD size = 1024;
        if (regGetValue(HKEY_LOCAL_MACHINE, kKey, L"Default", 0xFFFF, nullptr, text, &size) != ERROR_SUCCESS)
            text[0] = L'\0';
    } else {
        LONG size = 1024;
        if (::RegQueryValueW(HKEY_LOCAL_MACHINE, kKey, text, &size) != ERROR_SUCCESS) text[0] = L'\0';
    }
    text[512] = L'\0';
    return ParseLanguageId(text);
}

HMODULE LoadLanguageLibraryFor(unsigned int languageId) {
    int row = FindLanguageIndex(languageId);
    if (row < 0) {
        WriteLog(L"Have not find langId:%d, use default lan(English)\n", static_cast<int>(languageId));
        row = kDefaultLanguageRow;
    }
    wchar_t path[MAX_PATH] = {};
    if (!si::FormatPath(path, MAX_PATH, L"%s\\Lang\\%s\\%s", gUnPackDirPath, kLanguageTable[row].folderName,
                        L"SetupInstallLan.dll") ||
        si::IsForeignToUnpackFolder(path))
        return nullptr;
    return ::LoadLibraryW(path);
}

HMODULE LoadLanguageLibrary() { return LoadLanguageLibraryFor(ReadSystemLanguageId()); }
