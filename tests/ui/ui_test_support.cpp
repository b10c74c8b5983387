#include "tests/ui/ui_test_support.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstdlib>

#include "app/main_dlg.h"
#include "framework/app.h"
#include "framework/win.h"
#include "tests/support/test_support.h"
#include "ui/gdiplus_session.h"
#include "state/messages.h"
#include "ui/progress_window.h"

#include <gtest/gtest.h>

namespace ui_test {

namespace {

// GDI+ for the whole program, and the program itself as the resource module.
class UiEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        AfxSetResourceHandle(::GetModuleHandleW(nullptr));
        ASSERT_TRUE(si::StartGdiplus(&token_));
    }
    void TearDown() override { si::StopGdiplus(token_); }

private:
    ULONG_PTR token_ = 0;
};
::testing::Environment* const gEnvironment = ::testing::AddGlobalTestEnvironment(new UiEnvironment);

int Channel(uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

}  // namespace

uint32_t Rgb(int r, int g, int b) {
    return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | static_cast<uint32_t>(b);
}

bool Near(uint32_t a, uint32_t b, int tolerance) {
    for (int shift : {0, 8, 16})
        if (std::abs(Channel(a, shift) - Channel(b, shift)) > tolerance) return false;
    return true;
}

uint32_t OnScreen(uint32_t argb) {
    const int alpha = Channel(argb, 24) * 254 / 255;
    auto c = [&](int shift) { return Channel(argb, shift) * alpha / 255; };
    return Rgb(c(16), c(8), c(0));
}

bool Pixels::Capture(HDC source, int left, int top, int width, int height) {
    bgra_.clear();
    width_ = height_ = 0;
    if (!source || width <= 0 || height <= 0) return false;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    si::unique_memdc dc(::CreateCompatibleDC(source));
    si::unique_gdiobj bitmap(dc ? ::CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr);
    if (!dc || !bitmap || !bits) return false;
    {
        si::select_object selected(dc.get(), bitmap.get());
        if (!::BitBlt(dc.get(), 0, 0, width, height, source, left, top, SRCCOPY)) return false;
        ::GdiFlush();
    }
    const uint32_t* p = static_cast<const uint32_t*>(bits);
    bgra_.assign(p, p + static_cast<size_t>(width) * height);
    width_ = width;
    height_ = height;
    return true;
}

bool Pixels::CaptureScreen(const RECT& area) {
    HDC screen = ::GetDC(nullptr);
    const bool ok = Capture(screen, area.left, area.top, area.right - area.left, area.bottom - area.top);
    if (screen) ::ReleaseDC(nullptr, screen);
    return ok;
}

uint32_t Pixels::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0xFFFFFFFFu;
    return bgra_[static_cast<size_t>(y) * width_ + x] & 0x00FFFFFFu;
}

int Pixels::CountNear(const RECT& box, uint32_t rgb, int tolerance) const {
    int n = 0;
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x)
            if (At(x, y) != 0xFFFFFFFFu && Near(At(x, y), rgb, tolerance)) ++n;
    return n;
}

int Pixels::CountDifferent(const Pixels& other, const RECT& box, int tolerance) const {
    int n = 0;
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x)
            if (!Near(At(x, y), other.At(x, y), tolerance)) ++n;
    return n;
}

bool Pixels::SavePng(const std::wstring& path) const {
    if (bgra_.empty()) return false;
    std::vector<uint32_t> opaque(bgra_);
    for (uint32_t& p : opaque) p |= 0xFF000000u;
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (Gdiplus::DllExports::GdipCreateBitmapFromScan0(width_, height_, width_ * 4, PixelFormat32bppARGB,
                                                       reinterpret_cast<BYTE*>(opaque.data()),
                                                       &bitmap) != Gdiplus::Ok)
        return false;
    // The PNG encoder's class id.
    const CLSID png = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
    const bool ok = Gdiplus::DllExports::GdipSaveImageToFile(bitmap, path.c_str(), &png, nullptr) == Gdiplus::Ok;
    Gdiplus::DllExports::GdipDisposeImage(bitmap);
    return ok;
}

RECT WindowRectOf(HWND window) {
    RECT r = {};
    ::GetWindowRect(window, &r);
    return r;
}

Pixels CaptureWindow(HWND window) {
    Pixels pixels;
    pixels.CaptureScreen(WindowRectOf(window));  // a failed capture reads as no colour at all
    return pixels;
}

std::wstring ScreenshotDir() {
    std::wstring dir = si_test::BuildDir() + L"\\screenshots";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    dir += L"\\ui";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

HWND DialogWindow() { return ProgressWindowHandle(); }

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (done()) return true;
        if (::GetTickCount() - start > timeoutMs) return false;
        ::Sleep(20);
    }
}

namespace {
void SendOne(INPUT input) {
    ::SendInput(1, &input, sizeof(INPUT));
    ::Sleep(30);
}
}  // namespace

void MoveMouseTo(int x, int y) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    const int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
    // Absolute coordinates in 0..65535 over the primary screen, at the pixel's centre.
    input.mi.dx = static_cast<LONG>((x * 65536LL + 32768) / w);
    input.mi.dy = static_cast<LONG>((y * 65536LL + 32768) / h);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendOne(input);
}

void MouseButton(bool down) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    SendOne(input);
}

void Key(WORD vk, bool down) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, 0));
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    SendOne(input);
}

void Tap(WORD vk) {
    Key(vk, true);
    Key(vk, false);
}

// ---- DialogHost ----

namespace {

std::function<DWORD()> gWorkerBody;  // set before the dialog starts its worker
std::atomic<int>* gUnpackCalls = nullptr;

DWORD WINAPI HostedWorker(LPVOID) { return gWorkerBody ? gWorkerBody() : 0; }
void CountUnpack(UnPackFromRes&) {
    if (gUnpackCalls) ++*gUnpackCalls;
}

LRESULT CALLBACK BackdropProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) {
        RECT client;
        ::GetClientRect(hwnd, &client);
        si::unique_gdiobj brush(::CreateSolidBrush(RGB(255, 0, 255)));
        ::FillRect(reinterpret_cast<HDC>(wParam), &client, static_cast<HBRUSH>(brush.get()));
        return 1;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND CreateBackdrop() {
    static ATOM atom = 0;
    if (!atom) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &BackdropProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"SiUiTestBackdrop";
        atom = ::RegisterClassW(&wc);
    }
    HWND backdrop = ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"SiUiTestBackdrop", L"", WS_POPUP, 0, 0,
                                      ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ::ShowWindow(backdrop, SW_SHOWNOACTIVATE);
    ::UpdateWindow(backdrop);
    return backdrop;
}

}  // namespace

DialogHost::DialogHost(std::function<DWORD()> worker, bool startWorker)
    : endEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), startWorker_(startWorker) {
    gWorkerBody = std::move(worker);
    gUnpackCalls = &unpackCalls_;
    thread_ = std::thread([this] { Run(); });
}

void DialogHost::Run() {
    HWND backdrop = CreateBackdrop();
    {
        InstallDialogHooks hooks{&CountUnpack, &HostedWorker};
        if (!startWorker_) hooks.createWorker = [](LPTHREAD_START_ROUTINE) -> HANDLE { return nullptr; };
        CSetupInstallDlg dialog(hooks);
        result_ = dialog.DoModal();
    }
    endTick_ = ::GetTickCount();
    ended_ = true;
    ::SetEvent(endEvent_);
    ::DestroyWindow(backdrop);
}

HWND DialogHost::WaitForWindow(DWORD timeoutMs) {
    HWND window = nullptr;
    WaitUntil(
        [&] {
            window = DialogWindow();
            return window && ::IsWindowVisible(window);
        },
        timeoutMs);
    return window && ::IsWindowVisible(window) ? window : nullptr;
}

bool DialogHost::WaitForEnd(DWORD timeoutMs) { return ::WaitForSingleObject(endEvent_, timeoutMs) == WAIT_OBJECT_0; }

DialogHost::~DialogHost() {
    if (!ended_) {
        if (HWND window = DialogWindow()) ::PostMessageW(window, WM_CLOSE, 0, 0);
    }
    if (thread_.joinable()) thread_.join();
    ::CloseHandle(endEvent_);
    gUnpackCalls = nullptr;
}

std::function<DWORD()> BusyWorker::Body() {
    return [this]() -> DWORD {
        running_ = true;
        int percent = 0;
        while (!stop_) {
            UpdateProgress(L"Installing adapter driver\u2026", percent, false);
            percent = (percent + 1) % 100;
            ++reports_;
            ::Sleep(10);
        }
        lastSend_ = SendToProgressWindow(WM_SETUP_END);
        finished_ = true;
        running_ = false;
        return 0;
    };
}

}  // namespace ui_test
