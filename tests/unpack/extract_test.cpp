#include <gtest/gtest.h>

#include <string>

#include "framework/app.h"
#include "state/globals.h"
#include "framework/win.h"
#include "tests/support/test_support.h"
#include "unpack/extract.h"

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

TEST_F(Extraction, LanguagePackResultOnlySaysTheDecoderRan) {
    PlaceArchive(L"\\lang\\Lang7z", L"Lang7z");
    EXPECT_EQ(ExtractLangFiles(), 1);
    EXPECT_TRUE(si_test::FileExists(dir_ / L"Lang\\English(United_States)\\SetupInstallLan.dll"));
    EXPECT_TRUE(si_test::FileExists(dir_ / L"Lang\\Vietnamese(Vietnam)\\SetupInstallLan.dll"));
    // A damaged pack is not detected here: the library load fails next.
    si_test::RemoveTree(dir_ / L"Lang");
    PlaceArchive(L"\\lang\\Lang7z", L"Lang7z", 100);
    EXPECT_EQ(ExtractLangFiles(), 1);
    EXPECT_FALSE(si_test::FileExists(dir_ / L"Lang\\English(United_States)\\SetupInstallLan.dll"));
}

TEST(LoadStringOrExit, ReturnsPresentStrings) {
    EXPECT_EQ(si::LoadStringOrExit(103), L"SetupFiles7z");
    EXPECT_EQ(si::LoadStringOrExit(116), L"Lang7z");
}

}  // namespace
