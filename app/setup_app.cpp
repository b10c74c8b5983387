#include "app/setup_app.h"

#include <commctrl.h>
#include <shlobj.h>

#include <string>

#include "app/language.h"
#include "app/main_dlg.h"
#include "diag/log.h"
#include "diag/osinfo.h"
#include "diag/trace.h"
#include "framework/win.h"
#include "install/cleanup.h"
#include "resources/resource_ids.h"
#include "state/globals.h"
#include "state/messages.h"
#include "unpack/extract.h"
#include "unpack/unpack_folder.h"
#include "ui/gdiplus_session.h"

namespace {

wchar_t gLogDir[MAX_PATH] = {};

constexpr wchar_t kMutexName[] = L"LUMIRAX-DRV-SETUP";

// Probes `path` and creates it (one level) when it is missing. The unpack
// folder is only probed: the unpacker claims it (a folder or link found in
// its place is not trusted).
void EnsureFolder(const wchar_t* path, const wchar_t* missingLine, bool unpackFolder = false) {
    const bool missing = si::ListedAttributes(path) == INVALID_FILE_ATTRIBUTES;
    if (missing) WriteLog(missingLine);
    if (missing && !unpackFolder && !::CreateDirectoryW(path, nullptr)) SI_TRACE_LAST_ERROR(L"CreateDirectoryW");
}

// How long the exit waits for a worker still at work (the window was closed
// by the user) before it lets go of the language library.
constexpr DWORD kWorkerExitWaitMs = 5000;

}  // namespace

bool IsUserAdmin() {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                    DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators))
        return false;
    BOOL member = FALSE;
    BOOL ok = ::CheckTokenMembership(nullptr, administrators, &member);
    ::FreeSid(administrators);
    return ok && member;
}

namespace si {

SetDefaultDllDirectoriesFn FindSetDefaultDllDirectories() {
    return SystemFunction<SetDefaultDllDirectoriesFn>(L"kernel32.dll", "SetDefaultDllDirectories");
}

void RestrictDllSearch(SetDefaultDllDirectoriesFn setDefault) {
    constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    if (setDefault && setDefault(kSearchSystem32)) return;
    // Windows XP without a service pack has no SetDllDirectoryW either.
    using SetDllDirectoryFn = BOOL(WINAPI*)(const wchar_t*);
    if (auto setDllDirectory = SystemFunction<SetDllDirectoryFn>(L"kernel32.dll", "SetDllDirectoryW"))
        setDllDirectory(L"");
    for (const wchar_t* name : {L"gdiplus.dll", L"version.dll"}) {
        wchar_t path[MAX_PATH] = {};
        // Kept for the life of the process; the delay-load finds it loaded.
        if (SystemFilePath(name, path, MAX_PATH)) ::LoadLibraryW(path);
    }
}

}  // namespace si

StartupGates SystemStartupGates() { return StartupGates{&IsUserAdmin, &::MessageBoxW}; }

void PrepareWorkFolders(HWND owner) {
    wchar_t appData[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(owner, appData, CSIDL_APPDATA, FALSE);

    const std::wstring folderName = si::LoadActiveString(IDS_UNPACK_FOLDER);
    si::FormatPath(gUnPackDirPath, MAX_PATH, L"%s\\%s", appData, folderName.c_str());
    WriteLog(L"gUnPackDirPath = %s", gUnPackDirPath);
    si::FormatPath(gLogDir, MAX_PATH, L"%s\\InstallLog", appData);

    EnsureFolder(gUnPackDirPath, L"dir is invalid\n", true);
    WriteLog(L"{OnInitDialog} UnPackDirPath is %s", gUnPackDirPath);
    EnsureFolder(gLogDir, L"log dir is invalid\n");
    WriteLog(L"{OnInitDialog} gLogDir is %s", gLogDir);

    // A log folder whose path did not fit is empty: the log stays off rather
    // than land at the root of the current drive as "\Install.log".
    if (gLogDir[0])
        si::FormatPath(gLogPath, MAX_PATH, L"%s\\Install.log", gLogDir);
    else
        gLogPath[0] = L'\0';
    WriteLog(L"{OnInitDialog} gLogPath is %s", gLogPath);
}

bool CSetupInstallApp::RefuseAtGate(UINT stringId) {
    // The language library is not loaded yet: these texts are the executable's own.
    const std::wstring text = si::LoadStringResource(m_hInstance, stringId);
    gates_.messageBox(nullptr, text.c_str(), kErrorCaption, MB_OK);
    return false;
}

bool CSetupInstallApp::RunGates() {
    // The mutex lives until the process ends: the handle is kept open on purpose.
    ::CreateMutexW(nullptr, TRUE, kMutexName);
    if (::GetLastError() == ERROR_ALREADY_EXISTS) return RefuseAtGate(IDS_ALREADY_RUNNING);
    if (!gates_.isUserAdmin()) return RefuseAtGate(IDS_NOT_ADMIN);
    DetectOsInfo(&gOsInfo);
    if (gOsInfo.osType == OS_TYPE_VISTA) return RefuseAtGate(IDS_OS_NOT_SUPPORTED);
    return true;
}

BOOL CSetupInstallApp::InitInstance() {
    if (!RunGates()) return FALSE;

    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
    PrepareWorkFolders(nullptr);

    // The language pack archive and the decoder library, then the languages.
    UnpackResourcesOrExit(m_unpack, IDS_LIST_LANGPACK);
    // A library the extraction did not write whole is never loaded: it
    // counts as missing.
    const bool extracted = ExtractLangFiles() != 0;
    ::Sleep(50);

    m_hLangModule = extracted ? LoadLanguageLibrary() : nullptr;
    // From here on every resource comes from the language library alone.
    AfxSetResourceHandle(m_hLangModule);
    if (!m_hLangModule) {
        AfxMessageBox(kLoadLibraryError, MB_OK | MB_ICONEXCLAMATION);
        return FALSE;
    }

    m_gdiplusStarted = si::StartGdiplus(&gGdiplusToken);
    {
        CSetupInstallDlg dlg;
        m_hMainWnd = nullptr;
        dlg.DoModal();
        m_hMainWnd = nullptr;
    }
    return FALSE;
}

void CSetupInstallApp::ReleaseUnpackedFiles() {
    si::ReleaseWrittenFiles();
    si::ReleaseUnpackFolder();
    // The language library lies in the unpack folder too. The window is gone;
    // once the worker has ended nothing asks for a resource any more. A worker
    // still at work keeps it loaded until the process ends.
    const HANDLE worker = gInstallThread;
    if (m_hLangModule && (!worker || ::WaitForSingleObject(worker, kWorkerExitWaitMs) == WAIT_OBJECT_0)) {
        AfxSetResourceHandle(nullptr);
        ::FreeLibrary(m_hLangModule);
        m_hLangModule = nullptr;
        gLangModule = nullptr;
    }
}

int CSetupInstallApp::ExitInstance() {
    if (m_gdiplusStarted) si::StopGdiplus(gGdiplusToken);

    // The removal below needs the folder free: nothing of it stays open here
    // when the removal starts, whenever it gets the processor.
    ReleaseUnpackedFiles();
    const std::wstring unpackDir(gUnPackDirPath);
    // Only a folder this installer named is ever handed to the removal.
    if (unpackDir.find(L"alve") != std::wstring::npos || unpackDir.find(L"UMI") != std::wstring::npos) {
        delTempDirOnExit();
        delTempDirOnExit();
    }
    return CWinApp::ExitInstance();
}
