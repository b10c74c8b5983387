// Bounded path composition whose refusals are logged: a path that would not
// fit MAX_PATH is never cut into another path.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

namespace si {

// Joins `parts` with backslashes into `out` ("%s\%s", "%s\%s\%s"). A result
// that does not fit MAX_PATH is refused, never cut: `out` is left empty, the
// line "<tag>>> path too long: <joined path>\n" is logged and false returned.
bool JoinPath(const wchar_t* tag, wchar_t (&out)[MAX_PATH], std::initializer_list<const wchar_t*> parts);

// True when `path` fits MAX_PATH with its terminator; otherwise logs the same
// line as JoinPath and returns false.
bool FitsPath(const wchar_t* tag, const std::wstring& path);

}  // namespace si
