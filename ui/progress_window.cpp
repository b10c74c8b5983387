#include "ui/progress_window.h"

#include <windowsx.h>

#include "framework/app.h"
#include "framework/win.h"
#include "resources/resource_ids.h"
#include "ui/layout.h"
#include "ui/paint.h"
#include "ui/skin.h"

namespace gp = si::gp;

si::ProgressWindow* gMainDlg = nullptr;

namespace {

// The one lock between the install worker and the window thread. It guards
// gMainDlg and the window's two progress fields (m_percent, m_statusText):
// the worker writes them under it, painting copies them under it, and the
// window withdraws gMainDlg under it before it goes, so the worker never
// reaches a destroyed window. Nothing is sent or waited for while it is held.
// Initialised before any thread starts and never deleted: the worker may
// still report while the process is ending.
struct ProgressSection {
    ProgressSection() { ::InitializeCriticalSection(&section); }
    CRITICAL_SECTION section;
};
ProgressSection gProgressSection;

class ProgressLock {
public:
    ProgressLock() { ::EnterCriticalSection(&gProgressSection.section); }
    ~ProgressLock() { ::LeaveCriticalSection(&gProgressSection.section); }
    ProgressLock(const ProgressLock&) = delete;
    ProgressLock& operator=(const ProgressLock&) = delete;
};

Gdiplus::GpRectF LayoutRect(const RECT& r) {
    return Gdiplus::GpRectF(static_cast<float>(r.left), static_cast<float>(r.top), static_cast<float>(r.right - r.left),
                            static_cast<float>(r.bottom - r.top));
}

void DrawImageAt(Gdiplus::GpGraphics* graphics, Gdiplus::GpImage* image, const RECT& r) {
    if (graphics && image)
        gp::GdipDrawImageRectI(graphics, image, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void DrawTextLine(Gdiplus::GpGraphics* graphics, const std::wstring& text, int style, const RECT& r,
                  Gdiplus::GpStringFormat* format, Gdiplus::GpBrush* brush) {
    const si::gdip_font font = CreateTextFont(style, 14.0f);
    if (!font || !format || !brush) return;  // the text is left out of this paint
    const Gdiplus::GpRectF layout = LayoutRect(r);
    gp::GdipDrawString(graphics, text.c_str(), static_cast<INT>(text.size()), font.get(), &layout, format, brush);
}

}  // namespace

void UpdateProgress(const std::wstring& /*statusText: not shown*/, int percent, bool finished) {
    const std::wstring status = si::LoadActiveString(finished ? IDS_STATUS_INITIALIZED : IDS_STATUS_INITIALIZING);
    HWND window = nullptr;
    {
        ProgressLock lock;
        si::ProgressWindow* progress = gMainDlg;
        if (!progress) return;
        progress->m_statusText = status;
        if (si::IsProgressPercent(percent)) progress->m_percent = percent;
        window = progress->m_hWnd;
    }
    // The repaint happens later on the window thread. A window that went
    // meanwhile makes this fail harmlessly.
    if (window) ::InvalidateRect(window, nullptr, TRUE);
}

HWND ProgressWindowHandle() {
    ProgressLock lock;
    return gMainDlg ? gMainDlg->Window() : nullptr;
}

LRESULT SendToProgressWindow(UINT message) {
    // Sent outside the lock: the handler runs on the window thread, which
    // takes the lock itself. The window can only handle it while it (and so
    // its owner) still exists.
    HWND window = ProgressWindowHandle();
    return window ? ::SendMessageW(window, message, 0, 0) : 0;
}

namespace si {

ProgressWindow::~ProgressWindow() { Withdraw(); }

void ProgressWindow::Publish() {
    ProgressLock lock;
    gMainDlg = this;
}

void ProgressWindow::Withdraw() {
    ProgressLock lock;
    if (gMainDlg == this) gMainDlg = nullptr;
}

ProgressWindow::ProgressState ProgressWindow::CopyProgress() const {
    ProgressLock lock;
    return ProgressState{m_percent, m_statusText};
}

void ProgressWindow::SetStatusText(const std::wstring& text) {
    ProgressLock lock;
    m_statusText = text;
}

void ProgressWindow::OnCreate(HWND window) {
    m_hWnd = window;
    // Kept loaded until the process ends.
    m_hUser32 = ::LoadLibraryW(L"User32.DLL");
    if (!m_hUser32) ::ExitProcess(0);
    m_pfnUpdateLayeredWindow = reinterpret_cast<UpdateLayeredWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(m_hUser32, "UpdateLayeredWindow")));
    m_blend.BlendOp = AC_SRC_OVER;
    m_blend.BlendFlags = 0;
    m_blend.AlphaFormat = AC_SRC_ALPHA;
    m_blend.SourceConstantAlpha = 255;  // each update lowers it to 254
}

void ProgressWindow::LoadSkinAndLayout(HMODULE skinModule) {
    m_skinImage = LoadPngResource(skinModule, L"PNG", IDR_SKIN_PNG);
    UINT width = 0, height = 0;
    if (m_skinImage) {
        if (si::gp::GdipGetImageWidth(m_skinImage.get(), &width) != Gdiplus::Ok) width = 0;
        if (si::gp::GdipGetImageHeight(m_skinImage.get(), &height) != Gdiplus::Ok) height = 0;
    }
    m_windowRect = RECT{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};

    m_textColor = LoadColorFromString(IDS_COLOR_TEXT);
    m_barTrackColor = LoadColorFromString(IDS_COLOR_BAR_TRACK);
    m_barFillColor = LoadColorFromString(IDS_COLOR_BAR_FILL);

    m_barRect = LoadRectFromString(IDS_RECT_BAR, m_barRect);
    m_statusRect = LoadRectFromString(IDS_RECT_STATUS, m_statusRect);
    m_percentRect = LoadRectFromString(IDS_RECT_PERCENT, m_percentRect);
}

void ProgressWindow::EnsureLayeredStyle() {
    const LONG style = ::GetWindowLongW(m_hWnd, GWL_EXSTYLE);
    if (!(style & WS_EX_LAYERED)) ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, style | WS_EX_LAYERED);
}

BOOL ProgressWindow::PushLayered(HDC source) {
    // Without UpdateLayeredWindow (it exists on every supported system) the
    // window keeps its previous picture.
    if (!m_pfnUpdateLayeredWindow || !source) return FALSE;
    m_blend.SourceConstantAlpha = 254;
    si::unique_window_dc windowDc(m_hWnd);
    RECT placed = {};
    ::GetWindowRect(m_hWnd, &placed);  // an update never moves the window
    POINT destination = {placed.left, placed.top};
    SIZE size = {m_windowRect.right - m_windowRect.left, m_windowRect.bottom - m_windowRect.top};
    POINT origin = {0, 0};
    return m_pfnUpdateLayeredWindow(m_hWnd, windowDc.get(), &destination, &size, source, &origin, 0, &m_blend,
                                    ULW_ALPHA);
}

void ProgressWindow::ApplyRoundedShape() {
    if (HRGN region = ::CreateRoundRectRgn(m_windowRect.left, m_windowRect.top, m_windowRect.right,
                                           m_windowRect.bottom, 5, 5)) {
        // On success the window owns the region.
        if (!::SetWindowRgn(m_hWnd, region, FALSE)) ::DeleteObject(region);
    }
}

BOOL ProgressWindow::DrawSkinLayered() {
    si::DibSurface surface;
    if (!surface.Create(nullptr, m_windowRect.right - m_windowRect.left, m_windowRect.bottom - m_windowRect.top))
        return FALSE;
    {
        si::SurfaceGraphics graphics(surface);
        DrawImageAt(graphics.get(), m_skinImage.get(), m_windowRect);
    }
    EnsureLayeredStyle();
    return PushLayered(surface.dc());
}

void ProgressWindow::PaintProgress(HICON icon, const std::function<void()>& defaultPaint) {
    const si::unique_hdc_paint paint(m_hWnd);
    EnsureLayeredStyle();

    // A fresh surface for every paint; the previous one goes with its bitmap.
    const ProgressState state = CopyProgress();
    if (m_memDC.Create(paint.get(), m_windowRect.right - m_windowRect.left, m_windowRect.bottom - m_windowRect.top)) {
        si::SurfaceGraphics graphics(m_memDC);
        if (Gdiplus::GpGraphics* g = graphics.get()) {
            DrawImageAt(g, m_skinImage.get(), m_windowRect);

            const float barX = static_cast<float>(m_barRect.left), barY = static_cast<float>(m_barRect.top);
            const int barWidth = m_barRect.right - m_barRect.left;
            const float barHeight = static_cast<float>(m_barRect.bottom - m_barRect.top);
            FillRoundBar(g, barX, barY, static_cast<float>(barWidth), barHeight, 1.0f, m_barTrackColor);
            FillRoundBar(g, barX, barY, si::BarFillWidth(barWidth, state.percent), barHeight, 1.0f,
                         m_barFillColor);

            Gdiplus::GpSolidFill* rawBrush = nullptr;
            gp::GdipCreateSolidFill(m_textColor, &rawBrush);
            const si::gdip_brush brush(rawBrush);
            Gdiplus::GpStringFormat* rawFormat = nullptr;
            gp::GdipCreateStringFormat(0, LANG_NEUTRAL, &rawFormat);
            const si::gdip_string_format format(rawFormat);

            DrawTextLine(g, state.statusText, Gdiplus::FontStyleBold, m_statusRect, rawFormat, rawBrush);
            wchar_t percentText[16] = {};
            si::Format(percentText, sizeof(percentText) / sizeof(percentText[0]), L"%d%%", state.percent);
            if (rawFormat) gp::GdipSetStringFormatAlign(rawFormat, Gdiplus::StringAlignmentNear);
            DrawTextLine(g, percentText, Gdiplus::FontStyleRegular, m_percentRect, rawFormat, rawBrush);
        }
        graphics.Close();  // every pixel is in the DIB before it is shown
        PushLayered(m_memDC.dc());
    }

    if (::IsIconic(m_hWnd)) {
        // The dialog's icon, centred, the usual way for a minimised dialog.
        const si::unique_hdc_paint iconPaint(m_hWnd);
        ::SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(iconPaint.get()), 0);
        const int iconWidth = ::GetSystemMetrics(SM_CXICON), iconHeight = ::GetSystemMetrics(SM_CYICON);
        RECT client = {};
        ::GetClientRect(m_hWnd, &client);
        ::DrawIcon(iconPaint.get(), (client.right - client.left - iconWidth + 1) / 2,
                   (client.bottom - client.top - iconHeight + 1) / 2, icon);
    } else {
        defaultPaint();
    }
}

void ProgressWindow::OnMouseMove(WPARAM keys, LPARAM lParam) {
    const POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (si::IsDragStart(keys, point, m_windowRect)) {
        // The system moves the window with the mouse, as if by its caption,
        // until the button is released.
        ::ReleaseCapture();
        ::SendMessageW(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
    }
}

}  // namespace si
