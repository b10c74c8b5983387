// The install log: one time-stamped line per call, appended to gLogPath while
// gLogEnabled is on.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <string>

extern wchar_t gLogPath[MAX_PATH];
extern int gLogEnabled;

// Capacity of one entry, terminator included.
constexpr size_t kLogEntryChars = 1024;

// printf-style wide format. Messages longer than the entry are cut.
void WriteLog(const wchar_t* format, ...);

namespace si {
// Builds one entry (prefix and message) into `entry`; false when the prefix
// cannot be formatted. Split out so the layout can be checked without a clock.
bool FormatLogEntry(wchar_t* entry, size_t capacity, const SYSTEMTIME& time, DWORD threadId,
                    const wchar_t* format, va_list args);
// A finished entry as the file holds it: UTF-8, every line feed as CR LF.
std::string LogEntryBytes(const wchar_t* entry);
// Appends a finished entry to `path`. No-op for an empty path.
void AppendLogEntry(const wchar_t* path, const wchar_t* entry);
}  // namespace si
