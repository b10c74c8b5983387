// Process entry of SetupInstall.exe.
#include <windows.h>

#include <cwchar>

#include "app/setup_app.h"
#include "diag/log.h"

namespace {

// "/log" anywhere on the command line turns the install log on; nothing else
// on the command line has any effect.
bool HasLogSwitch() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    bool found = false;
    for (int i = 1; argv && i < argc; ++i)
        if (_wcsicmp(argv[i], L"/log") == 0) found = true;
    ::LocalFree(argv);
    return found;
}

// An elevated installer is often started from a downloads folder that others
// can write to: libraries are taken from the system folder only (the language
// and decoder libraries are loaded by full path). Where the system lacks the
// call (Windows XP, Vista and 7 without update KB2533623), at least the
// current directory leaves the search.
void RestrictDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (!setDefault || !setDefault(kSearchSystem32)) ::SetDllDirectoryW(L"");
}

CSetupInstallApp theApp;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    RestrictDllSearch();
    if (HasLogSwitch()) gLogEnabled = 1;
    return AfxWinMain(instance);
}
