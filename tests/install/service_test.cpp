// The auto-install service for real: the program of each supplier copied and
// started hidden with its argument.
#include "state/globals.h"
#include "install/config.h"
#include "install/service.h"
#include "tests/install/install_test_support.h"

using install_test::LogLines;
using install_test::StepsTest;

namespace {

TEST_F(StepsTest, VostrelIsCopiedAndRunHiddenWithItsArgument) {
    Configure(L"");
    si_standin::ScopedEnv sleep(L"SETUPINSTALL_STANDIN_SLEEP_MS_VOSTREL", L"300");
    const DWORD start = ::GetTickCount();
    EXPECT_TRUE(si::InstallAutoServiceWith(&install_test::RecordBox));
    EXPECT_GE(::GetTickCount() - start, 250u);  // it waited for the program to end
    EXPECT_EQ(std::vector<std::wstring>{L"Vostrel.exe"}, si_test::ListTree(target_ + L"\\AutoInstSvc"));
    EXPECT_EQ(target_ + L"\\AutoInstSvc\\Vostrel.exe", gAutoSvcPath);
    const auto starts = Starts();
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(L"Vostrel.exe", starts[0].FileName());
    EXPECT_EQ(L"\"" + target_ + L"\\AutoInstSvc\\Vostrel.exe\" -i", starts[0].commandLine);
    EXPECT_EQ(SW_HIDE, starts[0].showWindow);
    EXPECT_EQ(std::vector<std::string>{"installAutoService>> begin!"}, LogLines(log_.Text(), "installAutoService"));
}

TEST_F(StepsTest, TessilsvcIsRunWithInstall) {
    Configure(L"supplier2", OsInfo{OS_ARCHITECTURE_X86, OS_TYPE_WIN7});
    EXPECT_TRUE(installAutoService());
    const auto starts = Starts();
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(L"\"" + target_ + L"\\AutoInstSvc\\Tessilsvc.exe\" /install", starts[0].commandLine);
    EXPECT_EQ(SW_HIDE, starts[0].showWindow);
}

TEST_F(StepsTest, AServiceProgramThatCannotBeLaunchedFailsTheStep) {
    Configure(L"");
    install_test::SetPath(gSvcSourceDir, L"SetupFiles\\NoService");
    EXPECT_FALSE(si::InstallAutoServiceWith(&install_test::RecordBox));
    EXPECT_TRUE(install_test::gBoxes.empty());  // no shell error box either
    EXPECT_TRUE(Starts().empty());
    EXPECT_EQ("installAutoService>> ShellExecuteEx Fail(2)!", LogLines(log_.Text()).back());

    gChipSupplier = 0;
    EXPECT_FALSE(si::InstallAutoServiceWith(&install_test::RecordBox));
    ASSERT_EQ(1u, install_test::gBoxes.size());
    EXPECT_EQ(L"Invalid chip vendor value.", install_test::gBoxes[0].text);
}

}  // namespace
