// The skin image and the layout and colour strings of the progress window,
// read from the current resource module.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ui/gdip.h"

// A new, independent 32bppPARGB copy of the PNG resource `id` of `type` in
// `module`: it keeps no tie to the resource, the memory block or the stream it
// was decoded from. A resource that cannot be found or loaded, or no memory
// for it, shows "Image Resource Error:<id>" and ends the process with exit
// code 1. Bytes that cannot be decoded give an empty image (null).
si::gdip_image LoadPngResource(HMODULE module, const wchar_t* type, UINT id);

// The rectangle string `id` ("x,y,w,h"), or `fallback` when it is missing or unusable.
RECT LoadRectFromString(UINT id, const RECT& fallback);
// The colour string `id` ("A,R,G,B") as ARGB; opaque black when missing or malformed.
uint32_t LoadColorFromString(UINT id);
