#include "tests/install/install_test_support.h"

#include <algorithm>

#include "state/globals.h"
#include "framework/app.h"
#include "framework/win.h"
#include "install/config.h"
#include "install/copy_files.h"
#include "install/sequence.h"
#include "install/service.h"

namespace install_test {

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

std::vector<std::wstring> UninstallerLayout(size_t languages) {
    std::vector<std::wstring> layout{L"Uninstall.exe", L"UnLang"};
    for (size_t i = 0; i < languages; ++i) {
        layout.push_back(std::wstring(L"UnLang\\") + kUninstallLanguages[i]);
        layout.push_back(std::wstring(L"UnLang\\") + kUninstallLanguages[i] + L"\\UninstallLan.dll");
    }
    std::sort(layout.begin(), layout.end());
    return layout;
}

std::wstring StageOf(const std::wstring& variant) {
    const std::wstring payload = si_test::BuildDir() + L"\\payload";
    return variant.empty() ? payload + L"\\stage" : payload + L"\\variants\\" + variant + L"\\stage";
}

void StepsTest::SetUp() {
    ResetInstallState();
    ::CreateDirectoryW((temp_ / L"Program Files").c_str(), nullptr);
    SetPath(gProgramFilesDir, temp_ / L"Program Files");
}

void StepsTest::Configure(const std::wstring& variant, OsInfo os) {
    SetPath(gUnPackDirPath, StageOf(variant));
    ASSERT_TRUE(si_test::FileExists(std::wstring(gUnPackDirPath) + L"\\SetupFiles\\ConfigFile\\FilesModifyConfig.ini"));
    ASSERT_EQ(1, si::ReadConfigFromIniWith(os, &RecordBox));
    ASSERT_EQ(target_, gTargetDir);
    log_.Clear();
}

}  // namespace install_test
