#include "diag/trace.h"

#include "framework/win.h"

namespace si {

void TraceError(DWORD code, const char* file, int line, const wchar_t* tag) noexcept {
    const DWORD lastError = ::GetLastError();
    wchar_t text[256] = {};
    Format(text, sizeof(text) / sizeof(text[0]), L"SetupInstall: %s failed, error %lu (%hs:%d)\n", tag ? tag : L"",
           static_cast<unsigned long>(code), file ? file : "", line);
    ::OutputDebugStringW(text);
    ::SetLastError(lastError);
}

}  // namespace si
