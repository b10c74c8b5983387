// Runs the installer's system detection with its manifest and reports the
// result: exit code = OS type * 16 + architecture; the log goes to argv[1].
// "/dllsearch old|new|none": the DLL search restriction without
// SetDefaultDllDirectories, with it, or none; then gdiplus.dll loaded by name
// as the delay-load does. Exit code 0: the system's, 1: another, 2: none.
#include <windows.h>

#include <cwchar>

#include "app/setup_app.h"
#include "diag/log.h"
#include "diag/osinfo.h"
#include "framework/win.h"

namespace {

int ProbeDllSearch(const wchar_t* mode) {
    if (std::wcscmp(mode, L"none") != 0)
        si::RestrictDllSearch(std::wcscmp(mode, L"old") == 0 ? nullptr : si::FindSetDefaultDllDirectories());
    HMODULE gdiplus = ::LoadLibraryW(L"gdiplus.dll");
    if (!gdiplus) return 2;
    wchar_t loaded[MAX_PATH] = {}, system[MAX_PATH] = {}, expected[MAX_PATH] = {};
    ::GetModuleFileNameW(gdiplus, loaded, MAX_PATH);
    ::GetSystemDirectoryW(system, MAX_PATH);
    si::FormatPath(expected, MAX_PATH, L"%s\\gdiplus.dll", system);
    return _wcsicmp(loaded, expected) == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"/dllsearch") == 0) return ProbeDllSearch(argv[2]);
    if (argc < 2) return 255;
    si::CopyText(gLogPath, MAX_PATH, argv[1]);
    gLogEnabled = 1;
    OsInfo info{};
    if (!DetectOsInfo(&info)) return 254;
    return info.osType * 16 + info.architecture;
}
