#include "app/main_dlg.h"

#include <shlobj.h>

#include <string>

#include "app/install_worker.h"
#include "app/setup_app.h"
#include "diag/log.h"
#include "framework/app.h"
#include "resources/resource_ids.h"
#include "state/globals.h"
#include "state/messages.h"

namespace {

void UnpackSetupPayload(UnPackFromRes& unpack) { UnpackResourcesOrExit(unpack, IDS_LIST_SETUP); }

// Where the end-of-run close request goes: the application's main window,
// which is this dialog; the window itself when it runs without one.
HWND MainWindowOr(HWND self) {
    CWinApp* app = AfxGetApp();
    return app && ::IsWindow(app->m_hMainWnd) ? app->m_hMainWnd : self;
}

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

// The progress window withdraws itself as it goes (normally already done
// when the window went): the worker never reaches this object once it is
// being destroyed.
CSetupInstallDlg::~CSetupInstallDlg() = default;

BOOL CSetupInstallDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    if (HMENU systemMenu = ::GetSystemMenu(m_hWnd, FALSE)) {
        const std::wstring about = si::LoadActiveString(IDS_ABOUTBOX);
        if (!about.empty()) {
            ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    m_progress.Publish();
    ::SetWindowTextW(m_hWnd, si::LoadActiveString(IDS_WINDOW_TITLE).c_str());

    for (wchar_t& c : gProgramFilesDir) c = L'\0';
    // A folder that cannot be read stays empty: the configuration step refuses it.
    if (!::SHGetSpecialFolderPathW(m_hWnd, gProgramFilesDir, CSIDL_PROGRAM_FILES, FALSE)) gProgramFilesDir[0] = L'\0';
    WriteLog(L"OnInitDialog>>Program files is %s", gProgramFilesDir);
    PrepareWorkFolders(m_hWnd);

    // The skin: image and layout, the rounded shape, the first layered update.
    gLangModule = AfxGetResourceHandle();
    m_progress.LoadSkinAndLayout(gLangModule);
    m_progress.ApplyRoundedShape();
    m_progress.DrawSkinLayered();
    m_progress.SetStatusText(si::LoadActiveString(IDS_STATUS_INITIALIZING));

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
        m_progress.PaintProgress(m_hIcon, [this] { Default(WM_PAINT, 0, 0); });
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
        m_progress.OnMouseMove(wParam, lParam);
        Default(WM_MOUSEMOVE, wParam, lParam);
        return true;
    case WM_DESTROY:
        // From here on the worker can no longer reach the window or this object.
        m_progress.Withdraw();
        return false;
    default:
        return CDialog::OnMessage(message, wParam, lParam, result);
    }
}

LRESULT CSetupInstallDlg::OnCreate(WPARAM wParam, LPARAM lParam) {
    if (Default(WM_CREATE, wParam, lParam) == -1) return -1;
    // Start-up's modal run makes this the application's main window.
    if (CWinApp* app = AfxGetApp()) app->m_hMainWnd = m_hWnd;
    m_progress.OnCreate(m_hWnd);
    return 0;
}

LRESULT CSetupInstallDlg::EventSetupEnd(WPARAM, LPARAM) {
    WriteLog(L"{EventSetupEnd}EventSetupEnd start \n");
    // The worker is not ended from here: it waits inside its send of this
    // message, does nothing after it that touches the window, and returns by
    // itself once the send comes back.
    ::Sleep(1000);
    ::SendMessageW(MainWindowOr(m_hWnd), WM_CLOSE, 0, 0);
    WriteLog(L"{EventSetupEnd}EventSetupEnd end  \n");
    return 0;
}

LRESULT CSetupInstallDlg::OnSetupError(WPARAM, LPARAM) {
    ::SendMessageW(MainWindowOr(m_hWnd), WM_CLOSE, 0, 0);
    return 0;
}
