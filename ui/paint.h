// Drawing helpers of the progress window.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ui/gdip.h"

// Fills the rounded rectangle x, y, w, h (pixels) with `color` (ARGB): corner
// radii w/d/2 and h/d/2, or both the smaller one when they differ by more than
// 10 (a long thin bar becomes a pill). A shape without area draws nothing.
Gdiplus::GpStatus FillRoundBar(Gdiplus::GpGraphics* graphics, float x, float y, float w, float h, float d,
                               uint32_t color);

// A font of "Consolas" at `size` pixels in `style` (0 regular, 1 bold); the
// generic sans-serif family when "Consolas" is missing or the font cannot be
// made from it. Null when neither family exists: the text is then left out.
si::gdip_font CreateTextFont(int style, float size);
