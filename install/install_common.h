// Helpers shared by the install steps: the installer's error box and the
// seams its steps take for boxes and strings.
#pragma once

#include <windows.h>

#include <string>

#include "diag/paths.h"
#include "framework/app.h"

namespace si {

using MessageBoxFn = int(WINAPI*)(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);
using StringLoader = std::wstring (*)(UINT id);

// The installer's error box: no owner, caption "Error!!!", one OK button,
// system modal. Returns when the user has dismissed it.
void ShowErrorBox(MessageBoxFn messageBox, const wchar_t* text);

}  // namespace si
