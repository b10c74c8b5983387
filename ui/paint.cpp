#include "ui/paint.h"

#include <string>

#include "app/main_dlg.h"
#include "framework/win.h"
#include "ui/layout.h"
#include "ui/surface.h"

namespace gp = si::gp;

Gdiplus::GpStatus FillRoundBar(Gdiplus::GpGraphics* graphics, float x, float y, float w, float h, float d,
                               uint32_t color) {
    if (!graphics || !(d > 0.0f)) return Gdiplus::InvalidParameter;
    if (!(w > 0.0f) || !(h > 0.0f)) return Gdiplus::Ok;  // no area: nothing shows
    const si::BarRadii r = si::ComputeBarRadii(w, h, d);
    gp::GdipSetSmoothingMode(graphics, Gdiplus::SmoothingModeHighQuality);

    Gdiplus::GpPath* rawPath = nullptr;
    Gdiplus::GpStatus status = gp::GdipCreatePath(Gdiplus::FillModeAlternate, &rawPath);
    if (status != Gdiplus::Ok) return status;
    si::gdip_path path(rawPath);
    // Clockwise from the top edge; each arc is a quarter of the ellipse in its box.
    const float dx = 2 * r.rx, dy = 2 * r.ry;
    const Gdiplus::GpStatus steps[] = {
        gp::GdipAddPathLine(rawPath, x + r.rx, y, x + w - r.rx, y),
        gp::GdipAddPathArc(rawPath, x + w - dx, y, dx, dy, 270.0f, 90.0f),
        gp::GdipAddPathLine(rawPath, x + w, y + r.ry, x + w, y + h - r.ry),
        gp::GdipAddPathArc(rawPath, x + w - dx, y + h - dy, dx, dy, 0.0f, 90.0f),
        gp::GdipAddPathLine(rawPath, x + w - r.rx, y + h, x + r.rx, y + h),
        gp::GdipAddPathArc(rawPath, x, y + h - dy, dx, dy, 90.0f, 90.0f),
        gp::GdipAddPathLine(rawPath, x, y + h - r.ry, x, y + r.ry),
        gp::GdipAddPathArc(rawPath, x, y, dx, dy, 180.0f, 90.0f),
    };
    for (Gdiplus::GpStatus step : steps)
        if (step != Gdiplus::Ok) status = step;

    Gdiplus::GpSolidFill* rawBrush = nullptr;
    const Gdiplus::GpStatus made = gp::GdipCreateSolidFill(color, &rawBrush);
    if (made != Gdiplus::Ok) return made;
    si::gdip_brush brush(rawBrush);
    const Gdiplus::GpStatus filled = gp::GdipFillPath(graphics, rawBrush, rawPath);
    return filled != Gdiplus::Ok ? filled : status;
}

namespace {

si::gdip_font FontFrom(Gdiplus::GpFontFamily* family, int style, float size) {
    Gdiplus::GpFont* font = nullptr;
    if (!family || gp::GdipCreateFont(family, size, style, Gdiplus::UnitPixel, &font) != Gdiplus::Ok) return nullptr;
    return si::gdip_font(font);
}

// The generic sans-serif family, or null: without any installed font it does
// not exist at all.
si::gdip_font_family GenericSansSerif() {
    Gdiplus::GpFontFamily* family = nullptr;
    if (gp::GdipGetGenericFontFamilySansSerif(&family) != Gdiplus::Ok) return nullptr;
    return si::gdip_font_family(family);
}

}  // namespace

si::gdip_font CreateTextFont(int style, float size) {
    Gdiplus::GpFontFamily* raw = nullptr;
    si::gdip_font_family family;
    if (gp::GdipCreateFontFamilyFromName(L"Consolas", nullptr, &raw) == Gdiplus::Ok)
        family.reset(raw);
    else
        family = GenericSansSerif();
    if (si::gdip_font font = FontFrom(family.get(), style, size)) return font;
    const si::gdip_font_family fallback = GenericSansSerif();
    return FontFrom(fallback.get(), style, size);
}

namespace {

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

void CSetupInstallDlg::EnsureLayeredStyle() {
    const LONG style = ::GetWindowLongW(m_hWnd, GWL_EXSTYLE);
    if (!(style & WS_EX_LAYERED)) ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, style | WS_EX_LAYERED);
}

BOOL CSetupInstallDlg::PushLayered(HDC source) {
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

BOOL CSetupInstallDlg::DrawSkinLayered() {
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

void CSetupInstallDlg::PaintProgress() {
    PAINTSTRUCT paint = {};
    HDC paintDc = ::BeginPaint(m_hWnd, &paint);
    EnsureLayeredStyle();

    // A fresh surface for every paint; the previous one goes with its bitmap.
    const ProgressState state = CopyProgress();
    if (m_memDC.Create(paintDc, m_windowRect.right - m_windowRect.left, m_windowRect.bottom - m_windowRect.top)) {
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
        PAINTSTRUCT iconPaint = {};
        HDC iconDc = ::BeginPaint(m_hWnd, &iconPaint);
        ::SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(iconDc), 0);
        const int iconWidth = ::GetSystemMetrics(SM_CXICON), iconHeight = ::GetSystemMetrics(SM_CYICON);
        RECT client = {};
        ::GetClientRect(m_hWnd, &client);
        ::DrawIcon(iconDc, (client.right - client.left - iconWidth + 1) / 2,
                   (client.bottom - client.top - iconHeight + 1) / 2, m_hIcon);
        ::EndPaint(m_hWnd, &iconPaint);
    } else {
        Default(WM_PAINT, 0, 0);
    }
    ::EndPaint(m_hWnd, &paint);
}
