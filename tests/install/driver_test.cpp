// The driver installation for real: the driver package and tool copied, the
// tool of each supplier started hidden with its arguments.
#include <algorithm>

#include "state/globals.h"
#include "framework/win.h"
#include "install/config.h"
#include "install/driver.h"
#include "tests/install/install_test_support.h"

using install_test::kWin10X64;
using install_test::LogLines;
using install_test::StepsTest;
using si_standin::ScopedEnv;
using si_test::N;

namespace {

std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end());
    return names;
}

const std::vector<std::wstring> kDriverPackage = {L"LIM_AX7R_1.txt", L"PBR_AX7R_1.txt", L"netrtwlanu.cat",
                                                  L"netrtwlanu.inf", L"rtlCoInst.dat",  L"rtlCoInst.dll",
                                                  L"rtwlanu.sys"};

TEST_F(StepsTest, CorvaneInstallsTheDriverBelowDriverFilesAndRunsHiddenThere) {
    Configure(L"");
    ScopedEnv failingTool(L"SETUPINSTALL_STANDIN_EXIT_CORVANE64", L"3");  // its exit code is not looked at
    gOsInfo = kWin10X64;
    si::unique_handle thread(::CreateThread(nullptr, 0, &ThreadSetupDriver, nullptr, 0, nullptr));
    ASSERT_TRUE(thread);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.get(), 60000));
    DWORD exitCode = 0;
    ::GetExitCodeThread(thread.get(), &exitCode);
    EXPECT_EQ(1u, exitCode);

    std::vector<std::wstring> layout{L"Corvane64.exe", L"difxapi.dll", L"Driver", L"Driver\\Win10X64"};
    for (const auto& name : kDriverPackage) layout.push_back(L"Driver\\Win10X64\\" + name);
    EXPECT_EQ(Sorted(layout), si_test::ListTree(target_ + L"\\DriverFiles"));

    const auto starts = Starts();
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(L"Corvane64.exe", starts[0].FileName());
    EXPECT_EQ(L"\"" + target_ + L"\\DriverFiles\\Corvane64.exe\" -i ", starts[0].commandLine);
    EXPECT_EQ(target_ + L"\\DriverFiles", starts[0].currentDir);
    EXPECT_EQ(SW_HIDE, starts[0].showWindow);

    const std::string driverFiles = N(target_) + "\\DriverFiles";
    EXPECT_EQ((std::vector<std::string>{
                  "ThreadSetupDriver>> begin!",
                  "ThreadSetupDriver>> szSrcDriverDir is " + N(install_test::StageOf(L"")) +
                      "\\SetupFiles\\Driver\\RTL8811CU\\Driver\\Win10X64!",
                  "ThreadSetupDriver>> strDriverDir is " + driverFiles + "!",
                  "ThreadSetupDriver>> strDriverDir is " + driverFiles + "\\Driver\\Win10X64!",
                  "ThreadSetupDriver>> end!"}),
              LogLines(log_.Text(), "ThreadSetupDriver>>"));
}

TEST_F(StepsTest, TessilGetsTheInfPathAndTheInstallersCurrentDirectory) {
    Configure(L"supplier2");
    EXPECT_EQ(1u, si::SetupDriverWith(kWin10X64, &install_test::RecordBox));

    std::vector<std::wstring> layout = kDriverPackage;
    layout.push_back(L"Tessil64.exe");
    layout.push_back(L"difxapi.dll");
    EXPECT_EQ(Sorted(layout), si_test::ListTree(target_ + L"\\DriverFiles"));

    wchar_t currentDir[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, currentDir);
    const auto starts = Starts();
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(L"\"" + target_ + L"\\DriverFiles\\Tessil64.exe\" Install \"" + target_ +
                  L"\\DriverFiles\\netrtwlanu.inf\" ",
              starts[0].commandLine);
    EXPECT_EQ(currentDir, starts[0].currentDir);
    EXPECT_EQ(SW_HIDE, starts[0].showWindow);
}

TEST_F(StepsTest, TessilOnWindowsXpWithoutWhqlDriverIsABetaInstall) {
    Configure(L"supplier2_whql0", OsInfo{OS_ARCHITECTURE_X64_AMD64, OS_TYPE_XP});
    ASSERT_FALSE(gDriverWHQL);
    EXPECT_EQ(1u, si::SetupDriverWith(OsInfo{OS_ARCHITECTURE_X64_AMD64, OS_TYPE_XP}, &install_test::RecordBox));
    const auto starts = Starts();
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(L"\"" + target_ + L"\\DriverFiles\\Tessil64.exe\" BetaInstall \"" + target_ +
                  L"\\DriverFiles\\netrtwlanu_XP.inf\" ",
              starts[0].commandLine);
    EXPECT_STREQ(L"Install", si::TessilToolArgument(OsInfo{0, OS_TYPE_XP}, true));
    EXPECT_STREQ(L"Install", si::TessilToolArgument(OsInfo{0, OS_TYPE_WIN7}, false));
}

TEST_F(StepsTest, DriverStepFailures) {
    // No .inf file for supplier 2: a missing driver folder copies nothing.
    Configure(L"supplier2");
    install_test::SetPath(gDriverSourceDir, L"SetupFiles\\Driver\\Missing");
    EXPECT_EQ(0u, si::SetupDriverWith(kWin10X64, &install_test::RecordBox));
    EXPECT_EQ(1u, LogLines(log_.Text(), "ThreadSetupDriver>> get  inf filename fail").size());
    EXPECT_TRUE(Starts().empty());

    // A tool that cannot start.
    log_.Clear();
    Configure(L"");
    install_test::SetPath(gDriverToolPath, target_ + L"\\DriverFiles\\Missing.exe");
    EXPECT_EQ(0u, si::SetupDriverWith(kWin10X64, &install_test::RecordBox));
    EXPECT_EQ("runExe>> CreateProcess Failed,Error Number is 2, return 0!", LogLines(log_.Text()).back());

    // Driver files that cannot be copied (the destination is a file).
    log_.Clear();
    si_test::RemoveTree(target_ + L"\\DriverFiles");
    si_test::WriteFileBytes(target_ + L"\\DriverFiles", "in the way");
    EXPECT_EQ(0u, si::SetupDriverWith(kWin10X64, &install_test::RecordBox));
    EXPECT_EQ(1u, LogLines(log_.Text(), "ThreadSetupDriver>> copy DriverFiles Fail(").size());
    ::DeleteFileW((target_ + L"\\DriverFiles").c_str());

    // An unknown supplier: the vendor box.
    gChipSupplier = 3;
    EXPECT_EQ(0u, si::SetupDriverWith(kWin10X64, &install_test::RecordBox));
    ASSERT_EQ(1u, install_test::gBoxes.size());
    EXPECT_EQ(L"Invalid chip vendor value.", install_test::gBoxes[0].text);
    EXPECT_EQ(L"Error!!!", install_test::gBoxes[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_SYSTEMMODAL), install_test::gBoxes[0].type);
}

TEST_F(StepsTest, RunExeWaitsForTheProgramHidden) {
    const std::wstring standin = si_test::BuildDir() + L"\\payload\\standins\\standin.exe";
    ASSERT_TRUE(si_test::FileExists(standin));
    ScopedEnv sleep(L"SETUPINSTALL_STANDIN_SLEEP_MS", L"300");
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(1u, runExe((L"\"" + standin + L"\" one two").c_str(), temp_.path().c_str()));
    EXPECT_GE(::GetTickCount() - start, 250u);  // it waited for the program to end
    const auto starts = Starts();
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(L"\"" + standin + L"\" one two", starts[0].commandLine);
    EXPECT_EQ(temp_.path(), starts[0].currentDir);
    EXPECT_EQ(SW_HIDE, starts[0].showWindow);
    EXPECT_EQ("ThreadSetupDriver>> end!", LogLines(log_.Text()).back());
}

}  // namespace
