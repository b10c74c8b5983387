// A thin modal dialog in the manner of a CDialog: a dialog template of the
// current resource module, run with our own modal loop, its messages handed
// to one virtual message map.
#pragma once

#include <windows.h>

class CDialog {
public:
    // `parent` null: the application's main window, when there is one, owns
    // the dialog and is disabled while it runs.
    explicit CDialog(UINT templateId, HWND parent = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Creates the window from the template and runs it until EndDialog.
    // Returns the result given to EndDialog, or -1 when the template is
    // missing or the window could not be created.
    INT_PTR DoModal();
    // Ends the modal run with `result` once the current message is handled.
    void EndDialog(INT_PTR result);

    HWND GetSafeHwnd() const { return m_hWnd; }

protected:
    // WM_INITDIALOG; true lets the dialog manager set the default focus.
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    // The message map: true when `message` was handled, its result in *result.
    // A derived map hands what it does not handle to this one, which answers
    // WM_INITDIALOG (OnInitDialog, then centring when it left the dialog
    // where it was), WM_CLOSE (with the Cancel command) and the OK and Cancel
    // commands. Everything unhandled gets the default processing.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

    // The window's default processing: the dialog manager's own procedure.
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
    void Attach(HWND hwnd);
    void Detach();
    void RunModalLoop();
    // Centres the not yet visible dialog on the work area of its monitor.
    void CenterOnWorkArea();

    UINT m_templateId;
    HWND m_parent;
    WNDPROC m_superProc = nullptr;  // the dialog manager's procedure
    bool m_continueModal = false;
    INT_PTR m_result = -1;
};
