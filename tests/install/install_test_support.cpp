#include "tests/install/install_test_support.h"

#include "state/globals.h"
#include "framework/app.h"
#include "framework/win.h"
#include "install/config.h"
#include "install/sequence.h"
#include "install/service.h"

namespace install_test {

std::vector<Box> gBoxes;

int WINAPI RecordBox(HWND, const wchar_t* text, const wchar_t* caption, UINT type) {
    gBoxes.push_back(Box{text ? text : L"", caption ? caption : L"", type});
    return IDOK;
}

void SetPath(wchar_t (&target)[MAX_PATH], const std::wstring& value) { si::CopyText(target, MAX_PATH, value.c_str()); }

void ResetInstallState() {
    AfxSetResourceHandle(::GetModuleHandleW(nullptr));
    for (wchar_t* value : {gConfigFilePath, gTargetDir, gSvcSourceDir, gUninstSourceDir, gDriverToolSourceDir,
                           gDriverToolPath, gDriverSourceDir, gAutoSvcPath})
        value[0] = L'\0';
    gChipSupplier = 0;
    gDriverWHQL = FALSE;
    gDriverThread = nullptr;
    gBoxes.clear();
}

std::wstring Text(UINT id) { return si::LoadStringResource(::GetModuleHandleW(nullptr), id); }

std::vector<std::string> LogLines(const std::string& log, const std::string& needle) {
    // Every entry starts on a line of its own with "H:MM:SS.mmm [0xTHREAD]: ";
    // the messages of the install steps are one line each.
    std::vector<std::string> lines;
    for (size_t pos = 0; (pos = log.find("]: ", pos)) != std::string::npos;) {
        pos += 3;
        const size_t end = log.find_first_of("\r\n", pos);
        std::string entry = log.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (needle.empty() || entry.find(needle) != std::string::npos) lines.push_back(entry);
    }
    return lines;
}

}  // namespace install_test
