// The pure rules of the progress window: layout and colour strings, the
// rounded bar, the percentage test and the drag test.
#pragma once

#include <windows.h>

#include <cstdint>

namespace si {

// "x,y,w,h" (read with "%d,%d,%d,%d") into left, top, right = x + w,
// bottom = y + h. Each value must lie in 1..10000; otherwise, or with fewer
// than four numbers, `fallback` comes back.
RECT ParseRectText(const wchar_t* text, const RECT& fallback);

// "A,R,G,B" into 0xAARRGGBB, each number cut to its low 8 bits; opaque black
// (0xFF000000) when fewer than four numbers are read.
uint32_t ParseColorText(const wchar_t* text);
constexpr uint32_t kOpaqueBlack = 0xFF000000u;

// Corner radii of a rounded bar of w by h with divisor d: half the width and
// half the height, unless they differ by more than 10, then both the smaller.
struct BarRadii {
    float rx;
    float ry;
};
BarRadii ComputeBarRadii(float w, float h, float d);

// The filled width of a bar `barWidth` pixels wide at `percent`: the integer
// product, times 0.01 in double precision, as a float.
float BarFillWidth(int barWidth, int percent);

// A percentage the window takes: 0 to 100, tested unsigned so that negative
// values fail.
inline bool IsProgressPercent(int percent) { return static_cast<unsigned>(percent) <= 100u; }

// A mouse move starts a window drag when the left button alone is down (no
// other button, no Shift, no Ctrl) and the point lies in `windowRect`, its
// right and bottom edges included.
bool IsDragStart(WPARAM keys, POINT point, const RECT& windowRect);

}  // namespace si
