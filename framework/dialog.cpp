#include "framework/dialog.h"

#include "framework/app.h"

#include <algorithm>

namespace {

// The dialog whose window is being created on this thread. The dialog manager
// sends WM_CREATE (and WM_NCCREATE) before it attaches a dialog procedure, so
// a procedure passed to CreateDialogIndirectParam never sees them. A CBT hook
// catches the dialog window as it is created, before its first message, and
// subclasses it: from then on every message, WM_CREATE included, goes through
// CDialog::WindowProc and the message map first.
struct Creation {
    CDialog* dialog = nullptr;
    HHOOK hook = nullptr;
};
// One thread-local slot (no compiler TLS: that needs the threads runtime),
// taken before main; it points to the Creation on DoModal's stack.
const DWORD gCreationSlot = ::TlsAlloc();
Creation* ThisThreadsCreation() { return static_cast<Creation*>(::TlsGetValue(gCreationSlot)); }

// The window class atom of dialog windows (WC_DIALOG).
constexpr ULONG_PTR kDialogClassAtom = 0x8002;

}  // namespace

CDialog::CDialog(UINT templateId, HWND parent) : m_templateId(templateId), m_parent(parent) {}

CDialog::~CDialog() {
    if (m_hWnd) ::DestroyWindow(m_hWnd);
}

LRESULT CALLBACK CDialog::CreationHook(int code, WPARAM wParam, LPARAM lParam) {
    // The first dialog-class window created after DoModal set its Creation is the
    // dialog itself; its controls are created after it.
    Creation* creation = ThisThreadsCreation();
    if (code == HCBT_CREATEWND && creation && creation->dialog) {
        HWND hwnd = reinterpret_cast<HWND>(wParam);
        if (::GetClassLongPtrW(hwnd, GCW_ATOM) == kDialogClassAtom) {
            CDialog* dialog = creation->dialog;
            creation->dialog = nullptr;
            dialog->Attach(hwnd);
        }
    }
    return ::CallNextHookEx(creation ? creation->hook : nullptr, code, wParam, lParam);
}

void CDialog::Attach(HWND hwnd) {
    m_hWnd = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_superProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CDialog::WindowProc)));
}

void CDialog::Detach() {
    if (!m_hWnd) return;
    ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_superProc));
    ::SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
    m_hWnd = nullptr;
}

LRESULT CALLBACK CDialog::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* self = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // The window's last message: give it back to the dialog manager.
        WNDPROC super = self->m_superProc;
        self->Detach();
        return ::CallWindowProcW(super, hwnd, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (self->OnMessage(message, wParam, lParam, &result)) return result;
    return self->Default(message, wParam, lParam);
}

LRESULT CDialog::Default(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!m_hWnd || !m_superProc) return 0;
    return ::CallWindowProcW(m_superProc, m_hWnd, message, wParam, lParam);
}

bool CDialog::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
    switch (message) {
    case WM_INITDIALOG: {
        RECT before = {};
        ::GetWindowRect(m_hWnd, &before);
        *result = OnInitDialog();
        // As the usual frameworks do: a dialog its initialisation did not
        // move is centred before the dialog manager first shows it.
        RECT after = {};
        if (m_hWnd && ::GetWindowRect(m_hWnd, &after) && after.left == before.left && after.top == before.top)
            CenterOnWorkArea();
        return true;
    }
    case WM_CLOSE:
        // A close request becomes the Cancel command, queued like a click on
        // a Cancel button; the dialog ends when the loop delivers it.
        ::PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(m_hWnd, IDCANCEL)));
        *result = 0;
        return true;
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) return false;
        if (LOWORD(wParam) == IDOK) {
            OnOK();
        } else if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
        } else {
            return false;
        }
        *result = 0;
        return true;
    default:
        return false;
    }
}

void CDialog::CenterOnWorkArea() {
    const LONG style = ::GetWindowLongW(m_hWnd, GWL_STYLE);
    if ((style & WS_CHILD) || ::IsWindowVisible(m_hWnd)) return;
    // The monitor the dialog belongs to: its owner's, the primary one without an owner.
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    const POINT origin = {0, 0};
    HMONITOR monitor = owner ? ::MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST)
                             : ::MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    RECT window = {};
    if (!monitor || !::GetMonitorInfoW(monitor, &info) || !::GetWindowRect(m_hWnd, &window)) return;
    const RECT& work = info.rcWork;
    const LONG width = window.right - window.left, height = window.bottom - window.top;
    // A dialog larger than the work area keeps its top-left corner inside it.
    const LONG x = std::max(work.left, work.left + (work.right - work.left - width) / 2);
    const LONG y = std::max(work.top, work.top + (work.bottom - work.top - height) / 2);
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CDialog::EndDialog(INT_PTR result) {
    m_result = result;
    m_continueModal = false;
    // Wakes the loop when the end comes from a message sent by another thread.
    if (m_hWnd) ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

void CDialog::RunModalLoop() {
    MSG* msg = AfxGetCurrentMessage();
    while (m_continueModal && m_hWnd) {
        const BOOL got = ::GetMessageW(msg, nullptr, 0, 0);
        if (got == -1) break;
        if (got == 0) {
            // WM_QUIT ends this run and is passed on to whoever loops next.
            ::PostQuitMessage(static_cast<int>(msg->wParam));
            break;
        }
        // The dialog keys: Escape gives the Cancel command, Enter the OK command.
        if (!::IsDialogMessageW(m_hWnd, msg)) {
            ::TranslateMessage(msg);
            ::DispatchMessageW(msg);
        }
    }
}

INT_PTR CDialog::DoModal() {
    HINSTANCE module = AfxGetResourceHandle();
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(m_templateId), RT_DIALOG);
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const auto* dialogTemplate = loaded ? static_cast<LPCDLGTEMPLATEW>(::LockResource(loaded)) : nullptr;
    if (!dialogTemplate) return -1;

    HWND owner = m_parent;
    if (!owner && AfxGetApp() && ::IsWindow(AfxGetApp()->m_hMainWnd)) owner = AfxGetApp()->m_hMainWnd;
    const bool disabledOwner = owner && ::IsWindowEnabled(owner);
    if (disabledOwner) ::EnableWindow(owner, FALSE);

    m_result = -1;
    m_continueModal = true;
    Creation* outer = ThisThreadsCreation();
    Creation creation;
    creation.dialog = this;
    ::TlsSetValue(gCreationSlot, &creation);
    creation.hook = ::SetWindowsHookExW(WH_CBT, &CDialog::CreationHook, nullptr, ::GetCurrentThreadId());
    HWND hwnd = ::CreateDialogIndirectParamW(module, dialogTemplate, owner, &CDialog::DialogProc, 0);
    if (creation.hook) ::UnhookWindowsHookEx(creation.hook);
    ::TlsSetValue(gCreationSlot, outer);

    if (hwnd && m_hWnd == hwnd) {
        // A template without WS_VISIBLE shows once created, as a modal dialog does.
        if (m_continueModal && !::IsWindowVisible(hwnd)) ::ShowWindow(hwnd, SW_SHOWNORMAL);
        RunModalLoop();
    }
    m_continueModal = false;

    // The owner gets the activation back before this window goes.
    if (disabledOwner) ::EnableWindow(owner, TRUE);
    if (m_hWnd) ::DestroyWindow(m_hWnd);
    else if (hwnd && ::IsWindow(hwnd)) ::DestroyWindow(hwnd);
    return hwnd ? m_result : -1;
}
