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

CSetupInstallApp theApp;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    si::RestrictDllSearch(si::FindSetDefaultDllDirectories());
    if (HasLogSwitch()) gLogEnabled = 1;
    return AfxWinMain(instance);
}
