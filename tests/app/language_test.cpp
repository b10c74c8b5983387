#include <gtest/gtest.h>

#include <set>
#include <string>

#include "state/globals.h"
#include "app/language.h"
#include "framework/win.h"
#include "tests/support/e2e.h"
#include "tests/support/test_support.h"

namespace {

std::wstring FolderFor(unsigned int id) {
    int row = FindLanguageIndex(id);
    return row < 0 ? L"" : kLanguageTable[row].folderName;
}

TEST(LanguageTable, ThirtyFiveRowsSeventeenFoldersAndAnEndRow) {
    std::set<std::wstring> folders;
    for (int i = 0; i < 35; ++i) {
        EXPECT_EQ(kLanguageTable[i].index, i);
        EXPECT_EQ(kLanguageTable[i].spare, -1);
        folders.insert(kLanguageTable[i].folderName);
    }
    EXPECT_EQ(folders.size(), 17u);
    EXPECT_EQ(kLanguageTable[35].index, -1);
    EXPECT_EQ(kLanguageTable[35].languageId, 0xFFFFFFFFu);
    EXPECT_STREQ(kLanguageTable[kDefaultLanguageRow].folderName, L"English(United_States)");
}

TEST(LanguageTable, OnlyExactIdsMatch) {
    EXPECT_EQ(FindLanguageIndex(0x0409), 2);
    EXPECT_EQ(FolderFor(0x0407), L"German(Germany)");
    EXPECT_EQ(FolderFor(0x0411), L"Japanese(Japan)");
    EXPECT_EQ(FolderFor(0x041E), L"Thai(Thailand)");
    EXPECT_EQ(FolderFor(0x0C0A), L"Spanish(Spain)");
    for (unsigned int latin : {0x080Au, 0x100Au, 0x2C0Au, 0x500Au, 0x580Au})
        EXPECT_EQ(FolderFor(latin), L"Spanish(Latin)") << std::hex << latin;
    // No fall-back to the primary language: these get English later.
    for (unsigned int other : {0x0807u, 0x0C0Cu, 0x0816u, 0x040Au, 0x0804u, 0x540Au, 0u, 0xFFFFFFFFu})
        EXPECT_EQ(FindLanguageIndex(other), -1) << std::hex << other;
}

TEST(LanguageId, RegistryTextIsParsedAsHexadecimal) {
    EXPECT_EQ(ParseLanguageId(L"0409"), 0x0409u);
    EXPECT_EQ(ParseLanguageId(L"0c0a"), 0x0C0Au);
    EXPECT_EQ(ParseLanguageId(L"041Ex9"), 0x041Eu);
    EXPECT_EQ(ParseLanguageId(L""), 0u);
    EXPECT_EQ(ParseLanguageId(nullptr), 0u);
}

class LanguageLoad : public testing::Test {
protected:
    void SetUp() override { si::CopyText(gUnPackDirPath, MAX_PATH, dir_.path().c_str()); }
    void TearDown() override { si_test::SetSystemLanguage(L"0409"); }
    // A library at Lang\<folder>\SetupInstallLan.dll: a copy of any real DLL will do.
    void Place(const wchar_t* folder) {
        ::CreateDirectoryW((dir_ / L"Lang").c_str(), nullptr);
        const std::wstring sub = dir_ / (std::wstring(L"Lang\\") + folder);
        ::CreateDirectoryW(sub.c_str(), nullptr);
        wchar_t system[MAX_PATH];
        ::GetSystemDirectoryW(system, MAX_PATH);
        ASSERT_TRUE(::CopyFileW((std::wstring(system) + L"\\version.dll").c_str(),
                                (sub + L"\\SetupInstallLan.dll").c_str(), FALSE));
    }
    static std::wstring LoadedFolder(HMODULE module) {
        wchar_t path[MAX_PATH] = {};
        ::GetModuleFileNameW(module, path, MAX_PATH);
        std::wstring p = path;
        p = p.substr(0, p.find_last_of(L'\\'));
        return p.substr(p.find_last_of(L'\\') + 1);
    }
    si_test::TempDir dir_;
    si_test::LogCapture log_;
};

TEST_F(LanguageLoad, SystemLanguageChoosesTheLibraryAndUnknownOnesFallBackToEnglish) {
    Place(L"German(Germany)");
    Place(L"English(United_States)");

    si_test::SetSystemLanguage(L"0407");
    EXPECT_EQ(ReadSystemLanguageId(), 0x0407u);
    HMODULE german = LoadLanguageLibrary();
    ASSERT_NE(german, nullptr);
    EXPECT_EQ(LoadedFolder(german), L"German(Germany)");
    EXPECT_EQ(log_.Text().find("Have not find"), std::string::npos);

    si_test::SetSystemLanguage(L"0804");
    HMODULE english = LoadLanguageLibrary();
    ASSERT_NE(english, nullptr);
    EXPECT_EQ(LoadedFolder(english), L"English(United_States)");
    EXPECT_NE(log_.Text().find("Have not find langId:2052, use default lan(English)\r\n"), std::string::npos);

    si_test::SetSystemLanguage(L"not hex");  // unreadable text gives 0: English
    EXPECT_EQ(ReadSystemLanguageId(), 0u);
    EXPECT_NE(LoadLanguageLibrary(), nullptr);
    EXPECT_NE(log_.Text().find("Have not find langId:0,"), std::string::npos);
}

TEST_F(LanguageLoad, MissingLibraryGivesNull) {
    EXPECT_EQ(LoadLanguageLibraryFor(0x0411), nullptr);
    // A folder too long for the path buffer is refused, never cut.
    si::CopyText(gUnPackDirPath, MAX_PATH, (dir_.path() + L"\\" + std::wstring(230, L'x')).c_str());
    EXPECT_EQ(LoadLanguageLibraryFor(0x0409), nullptr);
}

}  // namespace
