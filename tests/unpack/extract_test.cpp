#include <gtest/gtest.h>

#include <string>

#include "framework/app.h"
#include "state/globals.h"
#include "framework/win.h"
#include "tests/support/test_support.h"
#include "unpack/extract.h"
#include "unpack/unpack_folder.h"

namespace {

// An unpack folder holding the built decoder and one archive under `name`.
class Extraction : public testing::Test {
protected:
    void SetUp() override {
        si::CopyText(gUnPackDirPath, MAX_PATH, dir_.path().c_str());
        ASSERT_TRUE(::CopyFileW((si_test::BuildDir() + L"\\bin\\7zDec.dll").c_str(), (dir_ / L"7zDec.dll").c_str(),
                                FALSE));
    }
    void PlaceArchive(const wchar_t* built, const wchar_t* name, size_t keepBytes = std::string::npos) {
        std::string bytes;
        ASSERT_TRUE(si_test::ReadFileBytes(si_test::BuildDir() + built, &bytes));
        ASSERT_TRUE(si_test::WriteFileBytes(dir_ / name, bytes.substr(0, keepBytes)));
    }
    si_test::TempDir dir_;
};

TEST_F(Extraction, SetupArchiveLandsUnderTheUnpackFolder) {
    PlaceArchive(L"\\payload\\SetupFiles7z", L"SetupFiles7z");
    EXPECT_EQ(ExtractSetupFiles(nullptr), 1);
    EXPECT_TRUE(si_test::FileExists(dir_ / L"SetupFiles\\ConfigFile\\FilesModifyConfig.ini"));
    EXPECT_TRUE(si_test::FileExists(dir_ / L"SetupFiles\\Uninst\\UnLang\\Thai(Thailand)\\UninstallLan.dll"));
}

TEST_F(Extraction, DamagedSetupArchiveFailsTheStep) {
    PlaceArchive(L"\\payload\\SetupFiles7z", L"SetupFiles7z", 4000);
    EXPECT_EQ(ExtractSetupFiles(nullptr), 0);
    ::DeleteFileW((dir_ / L"SetupFiles7z").c_str());
    EXPECT_EQ(ExtractSetupFiles(nullptr), 0);  // missing altogether
}

TEST_F(Extraction, LanguagePackCountsOnlyWhenExtractedWhole) {
    PlaceArchive(L"\\lang\\Lang7z", L"Lang7z");
    EXPECT_EQ(ExtractLangFiles(), 1);
    EXPECT_TRUE(si_test::FileExists(dir_ / L"Lang\\English(United_States)\\SetupInstallLan.dll"));
    EXPECT_TRUE(si_test::FileExists(dir_ / L"Lang\\Vietnamese(Vietnam)\\SetupInstallLan.dll"));
    si_test::RemoveTree(dir_ / L"Lang");
    PlaceArchive(L"\\lang\\Lang7z", L"Lang7z", 100);
    EXPECT_EQ(ExtractLangFiles(), 0);
}

// Inside a claimed unpack folder only what this run wrote is used: a decoder
// found there counts as planted until written, and each extracted entry
// counts as this run's own.
TEST_F(Extraction, OnlyWhatThisRunWroteIsItsOwn) {
    PlaceArchive(L"\\payload\\SetupFiles7z", L"SetupFiles7z");
    si::CopyText(gUnPackDirPath, MAX_PATH, (dir_ / L"KalveronTemp").c_str());
    ASSERT_EQ(si::FolderClaim::Created, si::ClaimUnpackFolder(gUnPackDirPath));
    auto release = si::scope_exit([] { si::ReleaseUnpackFolder(); });
    const std::wstring decoder = std::wstring(gUnPackDirPath) + L"\\7zDec.dll";
    ASSERT_TRUE(::CopyFileW((dir_ / L"7zDec.dll").c_str(), decoder.c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW((dir_ / L"SetupFiles7z").c_str(), (std::wstring(gUnPackDirPath) + L"\\SetupFiles7z").c_str(), FALSE));
    EXPECT_TRUE(si::IsForeignToUnpackFolder(decoder.c_str()));
    si::NoteWrittenByThisRun(decoder.c_str());  // as the unpacker's own write does
    EXPECT_EQ(ExtractSetupFiles(nullptr), 1);
    const std::wstring ini = std::wstring(gUnPackDirPath) + L"\\SetupFiles\\ConfigFile\\FilesModifyConfig.ini";
    EXPECT_FALSE(si::IsForeignToUnpackFolder(ini.c_str()));
    EXPECT_TRUE(si::IsForeignToUnpackFolder((std::wstring(gUnPackDirPath) + L"\\SetupFiles\\planted.dll").c_str()));
    EXPECT_FALSE(si::IsForeignToUnpackFolder((dir_ / L"elsewhere.dll").c_str()));
}

// The archive path in the ANSI code page, UTF-8 (65001) included, which
// Windows refuses best-fit flags and default-character queries for; a letter
// the code page lacks is refused, never replaced.
TEST(AnsiPath, ConvertsWhatRoundTripsInEveryCodePage) {
    const wchar_t* japanese = L"C:\\users\\\u7530\u4E2D\\KalveronTemp\\Lang7z";
    const wchar_t* accented = L"C:\\users\\J\u00FCrgen\\KalveronTemp\\Lang7z";
    char narrow[MAX_PATH] = {};
    EXPECT_TRUE(si::ToAnsiPath(japanese, narrow, MAX_PATH, CP_UTF8));
    EXPECT_EQ("C:\\users\\\xE7\x94\xB0\xE4\xB8\xAD\\KalveronTemp\\Lang7z", std::string(narrow));
    EXPECT_TRUE(si::ToAnsiPath(accented, narrow, MAX_PATH, 1252));
    EXPECT_FALSE(si::ToAnsiPath(japanese, narrow, MAX_PATH, 1252));
    EXPECT_FALSE(si::ToAnsiPath(L"C:\\users\\\u0141ukasz", narrow, MAX_PATH, 1252));  // best fit would give "L"
    EXPECT_FALSE(si::ToAnsiPath(japanese, narrow, 8, CP_UTF8));                        // does not fit
}

TEST(LoadStringOrExit, ReturnsPresentStrings) {
    EXPECT_EQ(si::LoadStringOrExit(103), L"SetupFiles7z");
    EXPECT_EQ(si::LoadStringOrExit(116), L"Lang7z");
}

}  // namespace
