// The progress window: the skin image and its layout and colours, the
// layered surface it is painted on, and the progress fields the install
// worker hands over. The window itself (a dialog) owns one of these and
// forwards its messages; nothing here knows what that window is.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "ui/gdip.h"
#include "ui/surface.h"

// Called on the worker thread. `percent` outside 0..100 keeps the bar where it
// is; `finished` switches the status line to "completed". Does nothing while
// there is no progress window.
void UpdateProgress(const std::wstring& statusText, int percent, bool finished);

namespace si {

class ProgressWindow {
public:
    ProgressWindow() = default;
    // Withdraws itself first: the worker never reaches a destroyed object.
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    // WM_CREATE of `window`: looks UpdateLayeredWindow up (a User32 that
    // cannot be loaded ends the process with exit code 0) and sets the blend.
    void OnCreate(HWND window);
    // The skin image of `skinModule` and the layout and colour strings of
    // the current resource module; the window rectangle becomes the image's size.
    void LoadSkinAndLayout(HMODULE skinModule);
    // The rounded shape (corner ellipse 5 by 5), owned by the window.
    void ApplyRoundedShape();
    // The skin alone, as the first layered update.
    BOOL DrawSkinLayered();
    // WM_PAINT: skin, bar, status line and percentage into a fresh surface,
    // then the layered update. `icon` is drawn when the window is minimised;
    // otherwise `defaultPaint` runs, inside the same paint.
    void PaintProgress(HICON icon, const std::function<void()>& defaultPaint);
    // WM_MOUSEMOVE: the left button alone down inside the window starts a
    // drag, as if by the caption.
    void OnMouseMove(WPARAM keys, LPARAM lParam);

    // What painting shows, copied under the progress lock.
    struct ProgressState {
        int percent;
        std::wstring statusText;
    };
    ProgressState CopyProgress() const;
    void SetStatusText(const std::wstring& text);

    // The worker reaches this window (gMainDlg) from Publish until Withdraw.
    void Publish();
    void Withdraw();

    HWND Window() const { return m_hWnd; }
    // The skin image's size (the window's size once the skin is loaded).
    const RECT& WindowRect() const { return m_windowRect; }

private:
    friend void ::UpdateProgress(const std::wstring& statusText, int percent, bool finished);
    using UpdateLayeredWindowFn = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF,
                                                BLENDFUNCTION*, DWORD);

    void EnsureLayeredStyle();
    BOOL PushLayered(HDC source);

    HWND m_hWnd = nullptr;
    BLENDFUNCTION m_blend = {};
    si::gdip_image m_skinImage;
    RECT m_windowRect = {};
    HMODULE m_hUser32 = nullptr;  // loaded at creation, kept until the process ends
    // m_percent and m_statusText are written by the worker and read by
    // painting: both only under the progress lock.
    int m_percent = 0;
    std::wstring m_statusText;
    uint32_t m_textColor = 0xFF000000u;
    uint32_t m_barTrackColor = 0xFF000000u;
    uint32_t m_barFillColor = 0xFF000000u;
    RECT m_barRect = {};
    RECT m_statusRect = {};
    RECT m_percentRect = {};
    UpdateLayeredWindowFn m_pfnUpdateLayeredWindow = nullptr;
    si::DibSurface m_memDC;  // the last paint's surface
};

}  // namespace si

// The progress window the worker reaches; null while there is none. Guarded
// by the progress lock, as are the window's two progress fields.
extern si::ProgressWindow* gMainDlg;

// Sends `message` (wParam 0, lParam 0) to the progress window and returns its
// result. The worker reaches the window only through this call: once the user
// has ended the window (Escape, Enter, Alt+F4) nothing is sent and 0 comes back.
LRESULT SendToProgressWindow(UINT message);

// The progress window's handle as the worker reaches it; null when there is none.
HWND ProgressWindowHandle();
