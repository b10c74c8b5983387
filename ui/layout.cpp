#include "ui/layout.h"

#include "framework/win.h"

#include <cmath>
#include <cwchar>

namespace si {

namespace {
constexpr int kMaxLayoutValue = 10000;
bool InLayoutRange(int v) { return v >= 1 && v <= kMaxLayoutValue; }
}  // namespace

RECT ParseRectText(const wchar_t* text, const RECT& fallback) {
    if (!text || !*text) return fallback;
    int v[4] = {};
    if (ScanInts(text, L',', v, 4) < 4) return fallback;
    const int x = v[0], y = v[1], w = v[2], h = v[3];
    if (!InLayoutRange(x) || !InLayoutRange(y) || !InLayoutRange(w) || !InLayoutRange(h)) return fallback;
    return RECT{x, y, x + w, y + h};
}

uint32_t ParseColorText(const wchar_t* text) {
    if (!text || !*text) return kOpaqueBlack;
    int v[4] = {};
    if (ScanInts(text, L',', v, 4) < 4) return kOpaqueBlack;
    const int a = v[0], r = v[1], g = v[2], b = v[3];
    auto low8 = [](int v) { return static_cast<uint32_t>(v) & 0xFFu; };
    return (low8(a) << 24) | (low8(r) << 16) | (low8(g) << 8) | low8(b);
}

BarRadii ComputeBarRadii(float w, float h, float d) {
    BarRadii radii{w / d * 0.5f, h / d * 0.5f};
    if (std::fabs(radii.rx - radii.ry) > 10.0f) {
        const float smaller = radii.rx < radii.ry ? radii.rx : radii.ry;
        radii.rx = radii.ry = smaller;
    }
    return radii;
}

float BarFillWidth(int barWidth, int percent) {
    return static_cast<float>(static_cast<double>(barWidth * percent) * 0.01);
}

bool IsDragStart(WPARAM keys, POINT point, const RECT& windowRect) {
    return keys == MK_LBUTTON && point.x >= windowRect.left && point.x <= windowRect.right &&
           point.y >= windowRect.top && point.y <= windowRect.bottom;
}

}  // namespace si
