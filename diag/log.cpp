#include "diag/log.h"

#include <cstdio>
#include <cwchar>

#include "framework/win.h"

wchar_t gLogPath[MAX_PATH] = {};
int gLogEnabled = 0;

namespace si {

bool FormatLogEntry(wchar_t* entry, size_t capacity, const SYSTEMTIME& time, DWORD threadId,
                    const wchar_t* format, va_list args) {
    if (!Format(entry, capacity, L"\n%d:%02d:%02d.%03d [0x%08X]: ", time.wHour, time.wMinute,
                time.wSecond, time.wMilliseconds, static_cast<unsigned>(threadId)))
        return false;
    size_t used = wcslen(entry);
    // A message that does not fit is cut at the entry's end.
    FormatV(entry + used, capacity - used, format, args);
    return true;
}

void AppendLogEntry(const wchar_t* path, const wchar_t* entry) {
    if (!path || !path[0]) return;
    FILE* f = _wfopen(path, L"a+");
    if (!f) return;
    // The entry is written as data, never used as a format again.
    fputws(entry, f);
    fflush(f);
    fclose(f);
}

}  // namespace si

void WriteLog(const wchar_t* format, ...) {
    wchar_t entry[kLogEntryChars] = {};
    SYSTEMTIME now;
    GetLocalTime(&now);
    va_list args;
    va_start(args, format);
    bool ok = si::FormatLogEntry(entry, kLogEntryChars, now, GetCurrentThreadId(), format, args);
    va_end(args);
    if (!ok || !gLogEnabled) return;
    si::AppendLogEntry(gLogPath, entry);
}
