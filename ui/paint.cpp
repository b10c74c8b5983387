#include "ui/paint.h"

#include <string>

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
