#include "framework/win.h"

#include <cwchar>

namespace si {

bool FormatV(wchar_t* buffer, size_t capacity, const wchar_t* format, va_list args) noexcept {
    if (!buffer || capacity == 0) return false;
    // _vsnwprintf leaves the buffer unterminated and returns -1 when the text
    // does not fit; it exists in every msvcrt back to Windows XP.
    int n = _vsnwprintf(buffer, capacity, format, args);
    buffer[capacity - 1] = L'\0';
    return n >= 0 && static_cast<size_t>(n) < capacity;
}

bool Format(wchar_t* buffer, size_t capacity, const wchar_t* format, ...) noexcept {
    va_list args;
    va_start(args, format);
    bool ok = FormatV(buffer, capacity, format, args);
    va_end(args);
    return ok;
}

bool FormatPath(wchar_t* buffer, size_t capacity, const wchar_t* format, ...) noexcept {
    va_list args;
    va_start(args, format);
    bool ok = FormatV(buffer, capacity, format, args);
    va_end(args);
    if (!ok && buffer && capacity) buffer[0] = L'\0';
    return ok;
}

int ScanInts(const wchar_t* text, wchar_t separator, int* values, int count) noexcept {
    int read = 0;
    for (const wchar_t* p = text; p && read < count; ++read) {
        if (read > 0 && *p++ != separator) break;
        wchar_t* end = nullptr;
        const long value = wcstol(p, &end, 10);  // skips blanks, takes a sign
        if (end == p) break;
        values[read] = static_cast<int>(value);
        p = end;
    }
    return read;
}

bool SystemFilePath(const wchar_t* name, wchar_t* buffer, size_t capacity) noexcept {
    wchar_t system[MAX_PATH] = {};
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        if (buffer && capacity) buffer[0] = L'\0';
        return false;
    }
    return FormatPath(buffer, capacity, L"%s\\%s", system, name);
}

bool CopyText(wchar_t* buffer, size_t capacity, const wchar_t* text) noexcept {
    if (!buffer || capacity == 0) return false;
    size_t i = 0;
    if (text) {
        for (; i + 1 < capacity && text[i]; ++i) buffer[i] = text[i];
    }
    buffer[i] = L'\0';
    return !text || text[i] == L'\0';
}

HiddenStart StartHiddenProcess(const wchar_t* commandLine, DWORD creationFlags, const wchar_t* currentDir,
                               unique_process_information& process, const wchar_t* application) noexcept {
    wchar_t command[MAX_PATH] = {};
    if (!CopyText(command, MAX_PATH, commandLine)) return HiddenStart::TooLong;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    if (!::CreateProcessW(application, command, nullptr, nullptr, FALSE, creationFlags, nullptr, currentDir, &startup,
                          process.put()))
        return HiddenStart::Failed;
    return HiddenStart::Started;
}

std::wstring LoadStringResource(HMODULE module, UINT id) {
    // With a zero buffer size LoadStringW hands out a pointer into the
    // resource itself, so a string of any length comes back whole.
    const wchar_t* text = nullptr;
    int n = ::LoadStringW(module, id, reinterpret_cast<wchar_t*>(&text), 0);
    if (n <= 0 || !text) return std::wstring();
    return std::wstring(text, static_cast<size_t>(n));
}

}  // namespace si
