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

// Sends `message` (wParam 0, lParam 0) to the progress window and returns its
// result. The worker reaches the window only through this call: once the user
// has ended the window (Escape, Enter, Alt+F4) nothing is sent and 0 comes back.
LRESULT SendToProgressWindow(UINT message);
