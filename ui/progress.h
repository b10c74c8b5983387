// The install worker's only way to change the progress window.
#pragma once

#include <windows.h>

#include <string>

// Private messages the worker sends the progress window, wParam and lParam 0.
constexpr UINT WM_SETUP_END = WM_USER + 1001;    // 2025: the whole sequence succeeded
constexpr UINT WM_SETUP_ERROR = WM_USER + 1003;  // 2027: a step failed, the box was dismissed

// Called on the worker thread. `percent` outside 0..100 keeps the bar where it
// is; `finished` switches the status line to "completed". Does nothing while
// there is no progress window.
void UpdateProgress(const std::wstring& statusText, int percent, bool finished);
