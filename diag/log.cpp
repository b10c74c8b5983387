#include "diag/log.h"

#include <cwchar>
#include <string>

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

std::string LogEntryBytes(const wchar_t* entry) {
    // Each line feed becomes CR LF, as text mode wrote it before.
    std::wstring text;
    for (const wchar_t* p = entry; *p; ++p) {
        if (*p == L'\n') text += L'\r';
        text += *p;
    }
    std::string bytes;
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                        nullptr, nullptr);
    if (n <= 0) return bytes;
    bytes.resize(static_cast<size_t>(n));
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], n, nullptr, nullptr);
    return bytes;
}

void AppendLogEntry(const wchar_t* path, const wchar_t* entry) {
    if (!path || !path[0]) return;
    const std::string bytes = LogEntryBytes(entry);
    if (bytes.empty()) return;
    // The log folder is the user's: a link in its place (a junction at
    // InstallLog) would make this elevated process create the log wherever
    // it points. The folder itself is opened, checked, and held without
    // delete sharing, so that it cannot be swapped, while the file is opened.
    const wchar_t* slash = wcsrchr(path, L'\\');
    if (!slash) return;
    const std::wstring folderPath(path, static_cast<size_t>(slash - path));
    unique_file folder(::CreateFileW(folderPath.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION folderInfo = {};
    if (!folder || !::GetFileInformationByHandle(folder.get(), &folderInfo) ||
        !(folderInfo.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (folderInfo.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || IsReparsePoint(folderPath.c_str()))
        return;
    // Appended, never truncated. A link or a second name in the log's place
    // would let this elevated process write into another file, so such a
    // file is left alone.
    unique_file file(::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!file || !::GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || info.nNumberOfLinks > 1)
        return;
    DWORD written = 0;
    ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
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
