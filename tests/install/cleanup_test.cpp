// The temporary file cleanup for real: the unpack folder removed as far as it can be.
#include "state/globals.h"
#include "framework/win.h"
#include "install/cleanup.h"
#include "install/fileops.h"
#include "tests/install/install_test_support.h"

using install_test::LogLines;
using install_test::StepsTest;
using si_test::N;

namespace {

TEST_F(StepsTest, DelTempFileRemovesTheUnpackFolder) {
    const std::wstring unpack = temp_ / L"KalveronTemp";
    ASSERT_TRUE(createMultiDir((unpack + L"\\SetupFiles\\Uninst").c_str()));
    si_test::WriteFileBytes(unpack + L"\\SetupFiles7z", "7z");
    si_test::WriteFileBytes(unpack + L"\\SetupFiles\\Uninst\\Uninstall.exe", "exe");
    install_test::SetPath(gUnPackDirPath, unpack);
    log_.Clear();
    EXPECT_TRUE(delTempFile());
    EXPECT_FALSE(si_test::DirExists(unpack));
    EXPECT_EQ((std::vector<std::string>{"delTempFile>> bagin !, delete folder is " + N(unpack),
                                        "LXDeleteFolder>> begin! lpFolderPath is " + N(unpack) + " ",
                                        "LXDeleteFolder>> end! return TRUE ", "delTempFile>> end !"}),
              LogLines(log_.Text()));

    // A file in use stays, and the step says so.
    ASSERT_TRUE(createMultiDir((unpack + L"\\Lang").c_str()));
    si_test::WriteFileBytes(unpack + L"\\Lang\\SetupInstallLan.dll", "dll");
    si::unique_file inUse(::CreateFileW((unpack + L"\\Lang\\SetupInstallLan.dll").c_str(), GENERIC_READ,
                                        FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    log_.Clear();
    EXPECT_FALSE(delTempFile());
    EXPECT_TRUE(si_test::FileExists(unpack + L"\\Lang\\SetupInstallLan.dll"));
    EXPECT_EQ("delTempFile>> LXDeleteFolder fail !", LogLines(log_.Text()).back());
}

}  // namespace
