#include "diag/paths.h"

#include "diag/log.h"
#include "framework/win.h"

namespace si {

bool FitsPath(const wchar_t* tag, const std::wstring& path) {
    if (path.size() < MAX_PATH) return true;
    WriteLog(L"%s>> path too long: %s\n", tag, path.c_str());
    return false;
}

bool JoinPath(const wchar_t* tag, wchar_t (&out)[MAX_PATH], std::initializer_list<const wchar_t*> parts) {
    std::wstring joined;
    bool first = true;
    for (const wchar_t* part : parts) {
        if (!first) joined += L'\\';
        joined += part ? part : L"";
        first = false;
    }
    out[0] = L'\0';
    if (!FitsPath(tag, joined)) return false;
    return CopyText(out, MAX_PATH, joined.c_str());
}

}  // namespace si
