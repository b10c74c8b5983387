#include "app/language.h"

#include <cwchar>

#include "diag/log.h"
#include "framework/win.h"
#include "state/globals.h"

// clang-format off
const LanguageEntry kLanguageTable[36] = {
    {0, L"Chinese(Traditional)", L"Chinese(Traditional)", 0x0404, -1},
    {1, L"Dutch(Netherlands)", L"Dutch", 0x0413, -1},
    {2, L"English(United_States)", L"English", 0x0409, -1},
    {3, L"French(France)", L"French(Standard)", 0x040C, -1},
    {4, L"German(Germany)", L"German", 0x0407, -1},
    {5, L"Indonesian(Indonesia)", L"Indonesian", 0x0421, -1},
    {6, L"Japanese(Japan)", L"\u65E5\u672C\u8A9E", 0x0411, -1},
    {7, L"Korean(Korea)", L"Korean", 0x0412, -1},
    {8, L"Polish(Poland)", L"Polish", 0x0415, -1},
    {9, L"Portuguese(Brazil)", L"Portuguese(Brazil)", 0x0416, -1},
    {10, L"Italian(Standard)", L"Italian(Standard)", 0x0410, -1},
    {11, L"Russian(Russia)", L"Russian", 0x0419, -1},
    {12, L"Spanish(Spain)", L"Spanish", 0x0C0A, -1},
    {13, L"Spanish(Latin)", L"Spanish(Latin)", 0x080A, -1},
    {14, L"Spanish(Latin)", L"Spanish(Latin)", 0x100A, -1},
    {15, L"Spanish(Latin)", L"Spanish(Latin)", 0x140A, -1},
    {16, L"Spanish(Latin)", L"Spanish(Latin)", 0x180A, -1},
    {17, L"Spanish(Latin)", L"Spanish(Latin)", 0x1C0A, -1},
    {18, L"Spanish(Latin)", L"Spanish(Latin)", 0x200A, -1},
    {19, L"Spanish(Latin)", L"Spanish(Latin)", 0x240A, -1},
    {20, L"Spanish(Latin)", L"Spanish(Latin)", 0x280A, -1},
    {21, L"Spanish(Latin)", L"Spanish(Latin)", 0x2C0A, -1},
    {22, L"Spanish(Latin)", L"Spanish(Latin)", 0x300A, -1},
    {23, L"Spanish(Latin)", L"Spanish(Latin)", 0x340A, -1},
    {24, L"Spanish(Latin)", L"Spanish(Latin)", 0x380A, -1},
    {25, L"Spanish(Latin)", L"Spanish(Latin)", 0x3C0A, -1},
    {26, L"Spanish(Latin)", L"Spanish(Latin)", 0x400A, -1},
    {27, L"Spanish(Latin)", L"Spanish(Latin)", 0x440A, -1},
    {28, L"Spanish(Latin)", L"Spanish(Latin)", 0x480A, -1},
    {29, L"Spanish(Latin)", L"Spanish(Latin)", 0x4C0A, -1},
    {30, L"Spanish(Latin)", L"Spanish(Latin)", 0x500A, -1},
    {31, L"Spanish(Latin)", L"Spanish(Latin)", 0x580A, -1},
    {32, L"Thai(Thailand)", L"Thai(Thailand)", 0x041E, -1},
    {33, L"Vietnamese(Vietnam)", L"Vietnamese(Vietnam)", 0x042A, -1},
    {34, L"Ukrainian(Ukraine)", L"Ukrainian(Ukraine)", 0x0422, -1},
    {-1, L"", L"", 0xFFFFFFFFu, -1},
};
// clang-format on

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
                        L"SetupInstallLan.dll"))
        return nullptr;
    return ::LoadLibraryW(path);
}

HMODULE LoadLanguageLibrary() { return LoadLanguageLibraryFor(ReadSystemLanguageId()); }
