// The installer's application object: the start-up gates, the language pack,
// the main dialog, and the exit that hands the unpack folder to a background
// removal.
#pragma once

#include <windows.h>

#include "framework/app.h"
#include "unpack/unpack_from_res.h"

// What start-up asks of the system before anything is written, behind a seam
// so that every gate can be driven in a test (under Wine the user is always an
// administrator).
struct StartupGates {
    bool (*isUserAdmin)();
    int(WINAPI* messageBox)(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);
};
StartupGates SystemStartupGates();

bool IsUserAdmin();

namespace si {
// An elevated installer is often started from a downloads folder that others
// can write to: libraries are taken from the system folder only (the language
// and decoder libraries are loaded by full path). `setDefault` is the
// system's SetDefaultDllDirectories (FindSetDefaultDllDirectories); where it
// is missing or fails (Windows XP, 7 without update KB2533623), the current
// folder leaves the search and the delay-loaded gdiplus.dll and version.dll
// are loaded at once by their full path in the system folder, so that their
// first use never searches the installer's own folder.
using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD flags);
SetDefaultDllDirectoriesFn FindSetDefaultDllDirectories();
void RestrictDllSearch(SetDefaultDllDirectoriesFn setDefault);
}  // namespace si

// Steps shared by start-up and the main dialog: the application-data folder,
// gUnPackDirPath, the log folder and gLogPath; the log folder is created when
// missing, the unpack folder is left to the unpacker's claim.
void PrepareWorkFolders(HWND owner);

class CSetupInstallApp : public CWinApp {
public:
    CSetupInstallApp() : CSetupInstallApp(SystemStartupGates()) {}
    explicit CSetupInstallApp(const StartupGates& gates) : gates_(gates) {}
    ~CSetupInstallApp() override = default;

    BOOL InitInstance() override;
    int ExitInstance() override;

    HMODULE LanguageModule() const { return m_hLangModule; }

private:
    bool RefuseAtGate(UINT stringId);
    bool RunGates();
    // Closes everything the installer holds in the unpack folder.
    void ReleaseUnpackedFiles();

    StartupGates gates_;
    UnPackFromRes m_unpack;             // the language pack and the decoder
    HMODULE m_hLangModule = nullptr;    // freed at exit, once the worker has ended
    bool m_gdiplusStarted = false;
};
