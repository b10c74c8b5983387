#include "app/main_dlg.h"

#include <shlobj.h>

#include <string>

#include "app/globals.h"
#include "app/setup_app.h"
#include "diag/log.h"
#include "framework/app.h"
#include "framework/win.h"
#include "install/sequence.h"
#include "resources/resource_ids.h"
#include "ui/progress.h"
#include "ui/progress_lock.h"

namespace {

std::wstring LoadText(UINT id) { return si::LoadStringResource(AfxGetResourceHandle(), id); }

void UnpackSetupPayload(UnPackFromRes& unpack) { UnpackResourcesOrExit(unpack, IDS_LIST_SETUP); }

}  // namespace

HANDLE CreateSuspendedWorker(LPTHREAD_START_ROUTINE body) {
    return ::CreateThread(nullptr, 0, body, nullptr, CREATE_SUSPENDED, nullptr);
}

InstallDialogHooks DefaultInstallDialogHooks() {
    return InstallDialogHooks{&UnpackSetupPayload, &ThreadSetupInstall};
}

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

CSetupInstallDlg::CSetupInstallDlg(const InstallDialogHooks& hooks)
    : CDialog(IDD_SETUPINSTALL_DIALOG), m_hooks(hooks) {
    m_hIcon = ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

CSetupInstallDlg::~CSetupInstallDlg() {
    // Normally already done when the window went; the worker must never
    // reach this object once it is being destroyed.
    si::WithdrawMainDialog(this);
}

BOOL CSetupInstallDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    if (HMENU systemMenu = ::GetSystemMenu(m_hWnd, FALSE)) {
        const std::wstring about = LoadText(IDS_ABOUTBOX);
        if (!about.empty()) {
            ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    si::PublishMainDialog(this);
    ::SetWindowTextW(m_hWnd, LoadText(IDS_WINDOW_TITLE).c_str());

    for (wchar_t& c : gProgramFilesDir) c = L'\0';
    // A folder that cannot be read stays empty: the configuration step refuses it.
    if (!::SHGetSpecialFolderPathW(m_hWnd, gProgramFilesDir, CSIDL_PROGRAM_FILES, FALSE)) gProgramFilesDir[0] = L'\0';
    WriteLog(L"OnInitDialog>>Program files is %s", gProgramFilesDir);
    PrepareWorkFolders(m_hWnd);

    // The skin: image and layout, the rounded shape, the first layered update.
    gLangModule = AfxGetResourceHandle();
    LoadSkinAndLayout();
    if (HRGN region = ::CreateRoundRectRgn(m_windowRect.left, m_windowRect.top, m_windowRect.right,
                                           m_windowRect.bottom, 5, 5)) {
        // On success the window owns the region.
        if (!::SetWindowRgn(m_hWnd, region, FALSE)) ::DeleteObject(region);
    }
    DrawSkinLayered();
    SetStatusText(LoadText(IDS_STATUS_INITIALIZING));

    // Ends the process on failure; the window never shows then.
    m_hooks.unpackPayload(m_unpack);

    // One worker per run. Created suspended so that gInstallThread is set
    // before the worker runs (it clears it when it returns); the handle is
    // never closed. Without a worker nothing would ever end the window: the
    // sequence's failure path does (error box, then WM_SETUP_ERROR).
    HANDLE worker = m_hooks.createWorker(m_hooks.installWorker);
    gInstallThread = worker;
    if (worker)
        ::ResumeThread(worker);
    else
        si::FailInstallSequence(si::SystemSequenceHost());
    return TRUE;
}

void CSetupInstallDlg::OnSysCommand(UINT id, LPARAM lParam) {
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
        return;
    }
    Default(WM_SYSCOMMAND, id, lParam);
}

bool CSetupInstallDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    *result = 0;
    switch (message) {
    case WM_SYSCOMMAND:
        OnSysCommand(static_cast<UINT>(wParam), lParam);
        return true;
    case WM_PAINT:
        PaintProgress();
        return true;
    case WM_QUERYDRAGICON:
        *result = reinterpret_cast<LRESULT>(m_hIcon);
        return true;
    case WM_SETUP_END:
        *result = EventSetupEnd(wParam, lParam);
        return true;
    case WM_SETUP_ERROR:
        *result = OnSetupError(wParam, lParam);
        return true;
    case WM_CREATE:
        *result = OnCreate(wParam, lParam);
        return true;
    case WM_MOUSEMOVE:
        OnMouseMove(wParam, lParam);
        return true;
    case WM_DESTROY:
        // From here on the worker can no longer reach the window or this object.
        si::WithdrawMainDialog(this);
        return false;
    default:
        return CDialog::OnMessage(message, wParam, lParam, result);
    }
}
