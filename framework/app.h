// A thin application layer in the manner of a CWinApp: one application object
// per process, a start-up and an exit operation, the current resource module
// and the framework message box.
#pragma once

#include <windows.h>

#include <string>

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Start-up: true asks for the application's message loop, false goes
    // straight to ExitInstance.
    virtual BOOL InitInstance() { return FALSE; }
    virtual int ExitInstance();
    // The application's own message loop (used only when InitInstance returns true).
    virtual int Run();

    HINSTANCE m_hInstance = nullptr;
    const wchar_t* m_pszAppName = nullptr;  // file name without extension
    HWND m_hMainWnd = nullptr;              // the main window while it exists
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
// The module every string, dialog, icon and image is looked up in.
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE module);
// The last message the main thread retrieved (its wParam is the exit code).
MSG* AfxGetCurrentMessage();
// A message box captioned with the application's name, owned by the main window.
int AfxMessageBox(const wchar_t* text, UINT type = MB_OK);

namespace si {
// String `id` of the current resource module (the language library once it is
// loaded); empty when the entry is missing or empty.
std::wstring LoadActiveString(UINT id);
// The same for a string the run cannot go on without: a missing or empty
// entry shows "Load String (<id>) Failed!" (caption "Error") and ends the
// process with exit code 1.
std::wstring LoadStringOrExit(UINT id);
}  // namespace si
// The process entry: runs the application object's start-up and exit.
int AfxWinMain(HINSTANCE instance);
