// What the parts of the installer say to each other and to the user in
// fixed, untranslated words: the install worker's two window messages and
// the texts of the boxes that appear before (or without) a language library.
#pragma once

#include <windows.h>

// Private messages the worker sends the progress window, wParam and lParam 0.
constexpr UINT WM_SETUP_END = WM_USER + 1001;    // 2025: the whole sequence succeeded
constexpr UINT WM_SETUP_ERROR = WM_USER + 1003;  // 2027: a step failed, the box was dismissed

// The caption of the installer's error boxes.
constexpr wchar_t kErrorCaption[] = L"Error!!!";
// The box shown when the language or decoder library cannot be used.
constexpr wchar_t kLoadLibraryError[] = L"Load library error,Setup is not complete!";
