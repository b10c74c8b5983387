#include <gtest/gtest.h>

#include <string>

#include "state/globals.h"
#include "app/setup_app.h"
#include "framework/win.h"
#include "install/cleanup.h"
#include "tests/support/e2e.h"
#include "tests/support/test_support.h"

namespace {

using si_test::gBoxes;
using si_test::RecordBox;

bool NotAdmin() { return false; }
bool Admin() { return true; }

// Each gate test runs in a process of its own (one test per process), so the
// mutex this process creates goes with it.
TEST(StartupGates, NonAdministratorIsRefusedWithItsMessage) {
    gBoxes.clear();
    CSetupInstallApp app(StartupGates{&NotAdmin, &RecordBox});
    EXPECT_FALSE(app.InitInstance());
    ASSERT_EQ(gBoxes.size(), 1u);
    EXPECT_EQ(gBoxes[0].text, L"Please run the program as Administrator.");
    EXPECT_EQ(gBoxes[0].caption, L"Error!!!");
    EXPECT_EQ(gBoxes[0].type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(gUnPackDirPath[0], L'\0');  // nothing prepared
}

TEST(StartupGates, RunningCopyIsRefusedBeforeAnythingElse) {
    gBoxes.clear();
    HANDLE other = ::CreateMutexW(nullptr, TRUE, L"LUMIRAX-DRV-SETUP");
    ASSERT_NE(other, nullptr);
    CSetupInstallApp app(StartupGates{&Admin, &RecordBox});
    EXPECT_FALSE(app.InitInstance());
    ASSERT_EQ(gBoxes.size(), 1u);
    EXPECT_EQ(gBoxes[0].text, L"The installation is running.");
    // Its exit removes nothing: the unpack folder was never named.
    EXPECT_EQ(gUnPackDirPath[0], L'\0');
    app.ExitInstance();
    ::CloseHandle(other);
}

TEST(RemovalCommand, QuotesTheFolderAndRefusesWhatDoesNotFit) {
    wchar_t out[MAX_PATH];
    ASSERT_TRUE(si::BuildRemovalCommand(L"C:\\windows\\system32\\cmd.exe", L"C:\\Users\\A B\\KalveronTemp", out, MAX_PATH));
    EXPECT_STREQ(out, L"C:\\windows\\system32\\cmd.exe /c rd /s /q \"C:\\Users\\A B\\KalveronTemp\"");
    const std::wstring longFolder = L"C:\\" + std::wstring(220, L'f');
    EXPECT_FALSE(si::BuildRemovalCommand(L"C:\\windows\\system32\\cmd.exe", longFolder.c_str(), out, MAX_PATH));
    EXPECT_STREQ(out, L"");
}

class ExitRemoval : public testing::Test {
protected:
    void SetUp() override {
        parent_ = dir_ / L"with blank";
        ::CreateDirectoryW(parent_.c_str(), nullptr);
        target_ = parent_ + L"\\KalveronTemp";
        ::CreateDirectoryW(target_.c_str(), nullptr);
        ::CreateDirectoryW((target_ + L"\\Lang").c_str(), nullptr);
        si_test::WriteFileBytes(target_ + L"\\Lang\\x.dll", "x");
        si_test::WriteFileBytes(parent_ + L"\\sibling.txt", "stay");
        si::CopyText(gUnPackDirPath, MAX_PATH, target_.c_str());
    }
    void TearDown() override {
        gUnPackDirPath[0] = L'\0';
        ::SetPriorityClass(::GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
        ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_NORMAL);
    }
    si_test::TempDir dir_;
    std::wstring parent_, target_;
};

TEST_F(ExitRemoval, ExitRemovesExactlyTheUnpackFolderInTheBackground) {
    CSetupInstallApp app(StartupGates{&Admin, &RecordBox});
    app.ExitInstance();
    EXPECT_TRUE(si_test::WaitUntilGone(target_, 20000));
    EXPECT_TRUE(si_test::FileExists(parent_ + L"\\sibling.txt"));
}

TEST_F(ExitRemoval, WithoutComspecOrWithAForeignFolderNothingIsRemoved) {
    wchar_t saved[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"COMSPEC", saved, MAX_PATH);
    ::SetEnvironmentVariableW(L"COMSPEC", nullptr);
    EXPECT_FALSE(delTempDirOnExit());
    ::SetEnvironmentVariableW(L"COMSPEC", saved);

    // A folder whose name carries neither fragment is never handed over.
    const std::wstring foreign = dir_ / L"Other";
    ::CreateDirectoryW(foreign.c_str(), nullptr);
    si::CopyText(gUnPackDirPath, MAX_PATH, foreign.c_str());
    CSetupInstallApp app(StartupGates{&Admin, &RecordBox});
    app.ExitInstance();
    EXPECT_TRUE(si_test::WaitForChildren(::GetCurrentProcessId(), 10000));  // a removal, had one been started
    EXPECT_TRUE(si_test::DirExists(foreign));
    EXPECT_TRUE(si_test::DirExists(target_));
}

}  // namespace
