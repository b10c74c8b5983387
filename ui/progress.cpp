#include "ui/progress.h"

#include <windowsx.h>

#include "app/globals.h"
#include "app/main_dlg.h"
#include "diag/log.h"
#include "framework/app.h"
#include "framework/win.h"
#include "resources/resource_ids.h"
#include "ui/layout.h"
#include "ui/progress_lock.h"

namespace {

// Initialised before any thread starts and never deleted: the worker may still
// report while the process is ending.
struct ProgressSection {
    ProgressSection() { ::InitializeCriticalSection(&section); }
    CRITICAL_SECTION section;
};
ProgressSection gProgressSection;

// Where the end-of-run close request goes: the application's main window,
// which is the progress window; the window itself when it runs without one.
HWND MainWindowOr(HWND self) {
    CWinApp* app = AfxGetApp();
    return app && ::IsWindow(app->m_hMainWnd) ? app->m_hMainWnd : self;
}

}  // namespace

namespace si {

ProgressLock::ProgressLock() { ::EnterCriticalSection(&gProgressSection.section); }
ProgressLock::~ProgressLock() { ::LeaveCriticalSection(&gProgressSection.section); }

void PublishMainDialog(CSetupInstallDlg* dialog) {
    ProgressLock lock;
    gMainDlg = dialog;
}

void WithdrawMainDialog(CSetupInstallDlg* dialog) {
    ProgressLock lock;
    if (gMainDlg == dialog) gMainDlg = nullptr;
}

}  // namespace si

void UpdateProgress(const std::wstring& /*statusText: not shown*/, int percent, bool finished) {
    const std::wstring status =
        si::LoadStringResource(AfxGetResourceHandle(), finished ? IDS_STATUS_INITIALIZED : IDS_STATUS_INITIALIZING);
    HWND window = nullptr;
    {
        si::ProgressLock lock;
        CSetupInstallDlg* dialog = gMainDlg;
        if (!dialog) return;
        dialog->m_statusText = status;
        if (si::IsProgressPercent(percent)) dialog->m_percent = percent;
        window = dialog->GetSafeHwnd();
    }
    // The repaint happens later on the window thread. A window that went
    // meanwhile makes this fail harmlessly.
    if (window) ::InvalidateRect(window, nullptr, TRUE);
}

LRESULT SendToProgressWindow(UINT message) {
    HWND window = nullptr;
    {
        si::ProgressLock lock;
        if (gMainDlg) window = gMainDlg->GetSafeHwnd();
    }
    // Sent outside the lock: the handler runs on the window thread, which
    // takes the lock itself. The window can only handle it while it (and so
    // the dialog object) still exists.
    return window ? ::SendMessageW(window, message, 0, 0) : 0;
}

CSetupInstallDlg::ProgressState CSetupInstallDlg::CopyProgress() const {
    si::ProgressLock lock;
    return ProgressState{m_percent, m_statusText};
}

void CSetupInstallDlg::SetStatusText(const std::wstring& text) {
    si::ProgressLock lock;
    m_statusText = text;
}

LRESULT CSetupInstallDlg::OnCreate(WPARAM wParam, LPARAM lParam) {
    if (Default(WM_CREATE, wParam, lParam) == -1) return -1;
    // Start-up's modal run makes this the application's main window.
    if (CWinApp* app = AfxGetApp()) app->m_hMainWnd = m_hWnd;
    // Kept loaded until the process ends.
    m_hUser32 = ::LoadLibraryW(L"User32.DLL");
    if (!m_hUser32) ::ExitProcess(0);
    m_pfnUpdateLayeredWindow = reinterpret_cast<UpdateLayeredWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(m_hUser32, "UpdateLayeredWindow")));
    m_blend.BlendOp = AC_SRC_OVER;
    m_blend.BlendFlags = 0;
    m_blend.AlphaFormat = AC_SRC_ALPHA;
    m_blend.SourceConstantAlpha = 255;  // each update lowers it to 254
    return 0;
}

void CSetupInstallDlg::OnMouseMove(WPARAM keys, LPARAM lParam) {
    const POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (si::IsDragStart(keys, point, m_windowRect)) {
        // The system moves the window with the mouse, as if by its caption,
        // until the button is released.
        ::ReleaseCapture();
        ::SendMessageW(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
    }
    Default(WM_MOUSEMOVE, keys, lParam);
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
