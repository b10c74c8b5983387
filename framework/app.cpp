#include "framework/app.h"

#include <cwchar>

#include "framework/win.h"

namespace {
CWinApp* gApp = nullptr;
HINSTANCE gResourceModule = nullptr;
MSG gCurrentMessage = {};
wchar_t gAppName[MAX_PATH] = {};
}  // namespace

CWinApp::CWinApp() { gApp = this; }
CWinApp::~CWinApp() {
    if (gApp == this) gApp = nullptr;
}

int CWinApp::ExitInstance() { return static_cast<int>(gCurrentMessage.wParam); }

int CWinApp::Run() {
    while (::GetMessageW(&gCurrentMessage, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&gCurrentMessage);
        ::DispatchMessageW(&gCurrentMessage);
    }
    return ExitInstance();
}

CWinApp* AfxGetApp() { return gApp; }
HINSTANCE AfxGetInstanceHandle() { return gApp ? gApp->m_hInstance : ::GetModuleHandleW(nullptr); }
HINSTANCE AfxGetResourceHandle() { return gResourceModule; }
void AfxSetResourceHandle(HINSTANCE module) { gResourceModule = module; }
MSG* AfxGetCurrentMessage() { return &gCurrentMessage; }

int AfxMessageBox(const wchar_t* text, UINT type) {
    HWND owner = gApp ? gApp->m_hMainWnd : nullptr;
    if (owner && !::IsWindow(owner)) owner = nullptr;
    return ::MessageBoxW(owner, text, gApp && gApp->m_pszAppName ? gApp->m_pszAppName : L"", type);
}

namespace si {

std::wstring LoadActiveString(UINT id) { return LoadStringResource(AfxGetResourceHandle(), id); }

std::wstring LoadStringOrExit(UINT id) {
    std::wstring text = LoadActiveString(id);
    if (text.empty()) {
        wchar_t message[64] = {};
        Format(message, 64, L"Load String (%d) Failed!", static_cast<int>(id));
        ::MessageBoxW(nullptr, message, L"Error", MB_OK);
        ::ExitProcess(1);
    }
    return text;
}

}  // namespace si

int AfxWinMain(HINSTANCE instance) {
    CWinApp* app = AfxGetApp();
    if (!app) return -1;
    app->m_hInstance = instance;
    gResourceModule = instance;

    // The application's name is its file name without the extension.
    wchar_t path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(instance, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        const wchar_t* name = path;
        for (const wchar_t* p = path; *p; ++p)
            if (*p == L'\\' || *p == L'/') name = p + 1;
        size_t len = 0;
        for (; name[len] && len + 1 < MAX_PATH; ++len) gAppName[len] = name[len];
        gAppName[len] = L'\0';
        if (wchar_t* dot = wcsrchr(gAppName, L'.')) *dot = L'\0';
    }
    app->m_pszAppName = gAppName;

    if (app->InitInstance()) return app->Run();
    return app->ExitInstance();
}
