// Start and shutdown of GDI+ for the process.
#pragma once

#include <windows.h>

namespace si {
// GdiplusStartup, version 1, no debug callback; true when it succeeded.
bool StartGdiplus(ULONG_PTR* token);
void StopGdiplus(ULONG_PTR token);
}  // namespace si
