#include "ui/gdiplus_session.h"

#include <gdiplus.h>

namespace si {

bool StartGdiplus(ULONG_PTR* token) {
    Gdiplus::GdiplusStartupInput input;  // version 1, no callback, background thread on
    return Gdiplus::GdiplusStartup(token, &input, nullptr) == Gdiplus::Ok;
}

void StopGdiplus(ULONG_PTR token) { Gdiplus::GdiplusShutdown(token); }

}  // namespace si
