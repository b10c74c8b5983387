// Helpers shared by the install steps: the installer's error box, strings of
// the active resource module and bounded path composition.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

namespace si {

using MessageBoxFn = int(WINAPI*)(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);
using StringLoader = std::wstring (*)(UINT id);

// The installer's error box: no owner, caption "Error!!!", one OK button,
// system modal. Returns when the user has dismissed it.
void ShowErrorBox(MessageBoxFn messageBox, const wchar_t* text);

// String `id` of the active resource module (the language library once it is
// loaded); empty when the entry is missing.
std::wstring LoadActiveString(UINT id);

// Joins `parts` with backslashes into `out` ("%s\%s", "%s\%s\%s"). A result
// that does not fit MAX_PATH is refused, never cut: `out` is left empty, the
// line "<tag>>> path too long: <joined path>\n" is logged and false returned.
bool JoinPath(const wchar_t* tag, wchar_t (&out)[MAX_PATH], std::initializer_list<const wchar_t*> parts);

// True when `path` fits MAX_PATH with its terminator; otherwise logs the same
// line as JoinPath and returns false.
bool FitsPath(const wchar_t* tag, const std::wstring& path);

}  // namespace si
