// The payload copy for real: the uninstaller and its language folders.
#include <algorithm>

#include "state/globals.h"
#include "framework/win.h"
#include "install/config.h"
#include "install/copy_files.h"
#include "install/fileops.h"
#include "tests/install/install_test_support.h"

using install_test::LogLines;
using install_test::SetPath;
using install_test::StepsTest;
using si_test::N;

namespace {

TEST_F(StepsTest, CopyFilesPutsTheUninstallerAndItsLanguagesIntoTheTarget) {
    Configure(L"");
    ASSERT_TRUE(copyFiles());
    EXPECT_EQ(install_test::UninstallerLayout(kUninstallLanguageCount), si_test::ListTree(target_));

    const auto lines = LogLines(log_.Text());
    ASSERT_GE(lines.size(), 2u + 17u);
    EXPECT_EQ("copyFiles>>gTargetDir = " + N(target_), lines.front());
    // The CreateDirectory lines of createMultiDir, ending with the target itself.
    size_t i = 1;
    while (i < lines.size() && lines[i].rfind("CreateDirectory = ", 0) == 0) ++i;
    EXPECT_EQ("CreateDirectory = " + N(target_) + " ", lines[i - 1]);
    std::vector<std::string> rest(lines.begin() + static_cast<long>(i), lines.end());
    std::vector<std::string> expected{"copyFiles>>szDesUninsLang = " + N(target_) + "\\UnLang"};
    for (const wchar_t* language : kUninstallLanguages)
        expected.push_back("copyFiles>>szDesUninsLangTmp = " + N(target_) + "\\UnLang\\" + N(language));
    EXPECT_EQ(expected, rest);

    // A second run overwrites everything and succeeds.
    si_test::WriteFileBytes(target_ + L"\\Uninstall.exe", "old");
    si_test::WriteFileBytes(target_ + L"\\UnLang\\Thai(Thailand)\\UninstallLan.dll", "old");
    ASSERT_TRUE(copyFiles());
    EXPECT_EQ(si_test::FileText(install_test::StageOf(L"") + L"\\SetupFiles\\Uninst\\Uninstall.exe"),
              si_test::FileText(target_ + L"\\Uninstall.exe"));
    EXPECT_NE("old", si_test::FileText(target_ + L"\\UnLang\\Thai(Thailand)\\UninstallLan.dll"));
}

TEST_F(StepsTest, CopyFilesStopsAtAMissingLanguage) {
    // The language folders up to Korean(Korea), which is missing.
    const std::wstring unpack = temp_ / L"unpack";
    const std::wstring uninst = unpack + L"\\SetupFiles\\Uninst";
    ASSERT_TRUE(createMultiDir((uninst + L"\\UnLang").c_str()));
    si_test::WriteFileBytes(uninst + L"\\Uninstall.exe", "exe");
    for (const wchar_t* language : kUninstallLanguages) {
        if (std::wstring(language) == L"Korean(Korea)") continue;
        ::CreateDirectoryW((uninst + L"\\UnLang\\" + language).c_str(), nullptr);
        si_test::WriteFileBytes(uninst + L"\\UnLang\\" + language + L"\\UninstallLan.dll", "dll");
    }
    SetPath(gUnPackDirPath, unpack);
    SetPath(gUninstSourceDir, L"SetupFiles\\Uninst");
    SetPath(gTargetDir, target_);

    EXPECT_FALSE(copyFiles());
    std::vector<std::wstring> layout = install_test::UninstallerLayout(8);  // Chinese(Traditional) .. Japanese(Japan)
    layout.push_back(L"UnLang\\Korean(Korea)");
    std::sort(layout.begin(), layout.end());
    EXPECT_EQ(layout, si_test::ListTree(target_));
    const auto lines = LogLines(log_.Text(), "copyFiles>>");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("copyFiles>>copy Config fail", lines.back());
    EXPECT_EQ("copyFiles>>szDesUninsLangTmp = " + N(target_) + "\\UnLang\\Korean(Korea)", lines[lines.size() - 2]);
}

TEST_F(StepsTest, CopyFilesFailsOverAnUninstallerThatCannotBeReplaced) {
    Configure(L"");
    ASSERT_TRUE(createMultiDir(target_.c_str()));
    si_test::WriteFileBytes(target_ + L"\\Uninstall.exe", "old");
    // Read-only stops the copy on Windows; Wine running as root overwrites a
    // read-only file, so the file is also kept open without write sharing.
    ::SetFileAttributesW((target_ + L"\\Uninstall.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    si::unique_file inUse(::CreateFileW((target_ + L"\\Uninstall.exe").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(copyFiles());
    inUse.reset();
    EXPECT_EQ(std::vector<std::wstring>{L"Uninstall.exe"}, si_test::ListTree(target_));  // no language copied
    EXPECT_EQ("copyFiles>>copy Config fail", LogLines(log_.Text()).back());
    ::SetFileAttributesW((target_ + L"\\Uninstall.exe").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(StepsTest, CopyFilesRefusesATargetThatDoesNotFit) {
    Configure(L"");
    SetPath(gTargetDir, temp_.path() + L"\\" + std::wstring(MAX_PATH - 12 - temp_.path().size(), L't'));
    EXPECT_FALSE(copyFiles());
    EXPECT_EQ((std::vector<std::string>{"copyFiles>> path too long: " + N(gTargetDir) + "\\Uninstall.exe",
                                        "copyFiles>>copy Config fail"}),
              LogLines(log_.Text()));
    EXPECT_FALSE(si_test::DirExists(gTargetDir));
}

}  // namespace
