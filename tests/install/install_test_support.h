// Shared set-up of the install tests: the test program is the resource module
// (it carries the string tables), the configuration values are cleared, and
// message boxes are recorded instead of shown.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace install_test {

struct Box {
    std::wstring text;
    std::wstring caption;
    UINT type;
};

// Boxes shown through RecordBox since the last ResetInstallState.
extern std::vector<Box> gBoxes;
int WINAPI RecordBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);

// Makes this program the resource module and clears every configuration
// value, the recorded boxes and gDriverThread.
void ResetInstallState();

// A string of this program's table.
std::wstring Text(UINT id);

// The log lines (without their time prefix) that contain `needle`, in order.
std::vector<std::string> LogLines(const std::string& log, const std::string& needle = std::string());

// Sets a process-wide MAX_PATH path.
void SetPath(wchar_t (&target)[MAX_PATH], const std::wstring& value);

}  // namespace install_test
