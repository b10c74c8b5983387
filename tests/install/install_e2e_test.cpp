// The whole installer under Wine: the real SetupInstall.exe (and variants of
// it with another setup archive) installing the sample payload, whose
// stand-in programs record how they were started.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/win.h"
#include "install/copy_files.h"
#include "state/globals.h"
#include "tests/install/install_test_support.h"
#include "tests/support/e2e.h"
#include "tests/support/test_support.h"

using install_test::LogLines;
using si_standin::StandinStart;
using si_test::DirExists;
using si_test::FileExists;
using si_test::InstallOutcome;
using si_test::kUninstallKey;
using si_test::ListTree;
using si_test::N;
using si_test::Names;
using si_test::ProgramFiles;
using si_test::UninstallValues;

namespace {

const wchar_t kSetupFailed[] =
    L"Failed to initialize. Uninstall the software and try again after restarting the computer.";

std::wstring CurrentDir() {
    wchar_t path[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, path);
    return path;
}

// An installer built with a variant of the sample payload; empty: the shipped one.
std::wstring Installer(const std::wstring& variant) {
    return variant.empty() ? si_test::InstallerPath() : si_test::ModuleDir() + L"\\variants\\" + variant + L"\\SetupInstall.exe";
}

std::wstring StagedPayload(const std::wstring& variant) { return install_test::StageOf(variant) + L"\\SetupFiles"; }

class InstallE2E : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }

    void Clean() {
        si_test::RemoveTree(ProgramFiles() + L"\\KALVERON");
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKey);
    }

    // Runs the installer to its end, pressing OK on every error box.
    InstallOutcome Install(const std::wstring& variant, const std::wstring& windowsVersion,
                           std::vector<std::pair<std::wstring, std::wstring>> env = {},
                           const std::wstring& languageId = L"") {
        si_test::InstallerRun run;
        run.exePath = Installer(variant);
        run.windowsVersion = windowsVersion;
        run.languageId = languageId;
        run.env = env;
        return si_test::RunToTheEnd(run, record_);
    }

    // The driver tool of `supplier` for this Windows: the x86 build on x86 Windows.
    static std::wstring Tool(int supplier) {
        return std::wstring(supplier == 1 ? L"Corvane" : L"Tessil") + (si_test::OnX86Windows() ? L"" : L"64") + L".exe";
    }

    // What a complete install leaves in the target folder.
    std::vector<std::wstring> InstalledLayout(const std::wstring& variant, const std::wstring& driverFolder, int supplier) {
        std::vector<std::wstring> layout = install_test::UninstallerLayout(kUninstallLanguageCount);
        layout.insert(layout.end(), {L"DriverFiles", L"AutoInstSvc", L"DriverFiles\\difxapi.dll"});
        const auto package = ListTree(StagedPayload(variant) + L"\\Driver\\RTL8811CU\\Driver\\" + driverFolder);
        EXPECT_FALSE(package.empty());
        if (supplier == 1) {
            layout.insert(layout.end(), {L"DriverFiles\\" + Tool(1), L"DriverFiles\\Driver",
                                         L"DriverFiles\\Driver\\" + driverFolder, L"AutoInstSvc\\Vostrel.exe"});
            for (const auto& file : package) layout.push_back(L"DriverFiles\\Driver\\" + driverFolder + L"\\" + file);
        } else {
            layout.insert(layout.end(), {L"DriverFiles\\" + Tool(2), L"AutoInstSvc\\Tessilsvc.exe"});
            for (const auto& file : package) layout.push_back(L"DriverFiles\\" + file);
        }
        std::sort(layout.begin(), layout.end());
        return layout;
    }

    // Everything a successful run leaves behind, and what it removes.
    // On 64-bit Windows the shipped build installs below "Program Files (x86)"
    // and its entry is in the 32-bit registry view only.
    void ExpectInstalled(const InstallOutcome& outcome, const std::wstring& variant, const std::wstring& driverFolder,
                         int supplier, const std::wstring& displayName = L"KALVERON Wireless USB Adapter") {
        EXPECT_TRUE(outcome.boxes.empty());
        EXPECT_EQ(InstalledLayout(variant, driverFolder, supplier), ListTree(target_));
        if (si_test::UnderWow64()) {
            EXPECT_NE(target_.find(L"\\Program Files (x86)\\"), std::wstring::npos) << N(target_);
            EXPECT_TRUE(si_test::ReadRegistryValues(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_WOW64_64KEY).empty());
        }
        EXPECT_EQ((std::vector<std::pair<std::wstring, std::wstring>>{
                      {L"DisplayIcon", L""},
                      {L"DisplayName", displayName},
                      {L"DisplayVersion", L"1.0.0.5"},
                      {L"InstallLocation", target_},
                      {L"Publisher", L"KALVERON"},
                      {L"URLInfoAbout", L"https://www.kalveron.com"},
                      {L"UninstallString", target_ + L"\\Uninstall.exe"}}),
                  UninstallValues());
        // The unpack folder goes after the exit; the log folder stays.
        EXPECT_TRUE(si_test::RemovedAtExit(outcome.result.unpackDir, outcome.result.processId));
        EXPECT_TRUE(FileExists(outcome.result.appData + L"\\InstallLog\\Install.log"));
        const auto log = LogLines(outcome.result.log);
        EXPECT_NE(std::find(log.begin(), log.end(), "{ThreadSetupInstall}ThreadSetupInstall start"), log.end());
        EXPECT_NE(std::find(log.begin(), log.end(), "ReadConfigFromIni>>gTargetDir is " + N(target_)), log.end());
        EXPECT_EQ(std::vector<std::string>{si_test::OnX86Windows() ? "ReadConfigFromIni>>OS architecture is x86"
                                                                    : "ReadConfigFromIni>>OS architecture is x64"},
                  LogLines(outcome.result.log, "ReadConfigFromIni>>OS architecture"));
        EXPECT_EQ(std::find(log.begin(), log.end(), "ThreadSetupDriAndUI>> createShoutCut Fail!"), log.end());
    }

    // The driver tool's start: hidden, with its command line and current directory.
    void ExpectTool(const StandinStart& start, int supplier, const std::wstring& argument, const std::wstring& inf) {
        const std::wstring driverFiles = target_ + L"\\DriverFiles";
        EXPECT_EQ(SW_HIDE, start.showWindow);
        if (supplier == 1) {
            EXPECT_EQ(L"\"" + driverFiles + L"\\" + Tool(1) + L"\" -i ", start.commandLine);
            EXPECT_EQ(driverFiles, start.currentDir);
        } else {
            EXPECT_EQ(L"\"" + driverFiles + L"\\" + Tool(2) + L"\" " + argument + L" \"" + driverFiles + L"\\" + inf + L"\" ",
                      start.commandLine);
            EXPECT_EQ(CurrentDir(), start.currentDir);  // the installer's, which is this test's
        }
    }

    void ExpectService(const StandinStart& start, int supplier) {
        const std::wstring service = target_ + L"\\AutoInstSvc\\";
        EXPECT_EQ(SW_HIDE, start.showWindow);
        EXPECT_EQ(supplier == 1 ? L"\"" + service + L"Vostrel.exe\" -i" : L"\"" + service + L"Tessilsvc.exe\" /install",
                  start.commandLine);
        EXPECT_EQ(CurrentDir(), start.currentDir);  // no folder is given to the shell
    }

    si_test::TempDir temp_{L"e2e"};
    const std::wstring record_ = temp_ / L"record.txt";
    const std::wstring target_ = ProgramFiles() + L"\\KALVERON\\AX7R_1.0";
};

// Complete installs, one row per Windows, supplier and driver signing: the
// twin and the shipped build on 64-bit Windows, and (rows named X86, the shipped build in a 32-bit prefix only)
// x86 Windows with the x86 tool and driver folders.
struct InstallCase {
    const char* name;
    const wchar_t* variant;        // empty: the shipped installer
    const wchar_t* windowsVersion;
    const wchar_t* driverFolder;
    int supplier;
    bool serviceFirst;             // XP without a WHQL-signed driver
    const char* osWord;            // of "ReadConfigFromIni>>OS type is ..."
    const wchar_t* languageId = L"";  // system language; empty: English
    const wchar_t* displayName = L"KALVERON Wireless USB Adapter";
};

const InstallCase kInstallCases[] = {
    {"Windows10", L"", L"win10", L"Win10X64", 1, false, "win10"},
    {"Windows81", L"", L"win81", L"Win7X64", 1, false, "win8.1"},
    {"Windows7", L"", L"win7", L"Win7X64", 1, false, "win7"},
    // XP x64 with the sample's WHQL-signed driver: still the driver first.
    {"WindowsXpX64", L"", L"winxp64", L"WinX64", 1, false, "xp"},
    {"WindowsXpWithoutWhqlDriverInstallsTheServiceFirst", L"whql0", L"winxp64", L"WinX64", 1, true, "xp"},
    {"SupplierTwoOnWindows10", L"supplier2", L"win10", L"Win10X64", 2, false, "win10"},
    {"WindowsXpX86", L"", L"winxp", L"WinXP", 1, false, "xp"},
    {"Windows7X86", L"", L"win7", L"Win7X86", 1, false, "win7"},
    // The German library names the entry; nothing else changes.
    {"Windows10X86InGerman", L"", L"win10", L"Win10X86", 1, false, "win10", L"0407", L"KALVERON WLAN-USB-Adapter"},
    {"WindowsXpX86WithoutWhqlDriverInstallsTheServiceFirst", L"whql0", L"winxp", L"WinXP", 1, true, "xp"},
    {"SupplierTwoOnWindows7X86", L"supplier2", L"win7", L"Win7X86", 2, false, "win7"},
};

class InstallRow : public InstallE2E, public ::testing::WithParamInterface<InstallCase> {};

TEST_P(InstallRow, Completes) {
    const InstallCase& c = GetParam();
    if ((std::string(c.name).find("X86") != std::string::npos) != si_test::OnX86Windows())
        GTEST_SKIP() << "for " << (si_test::OnX86Windows() ? "64-bit" : "x86") << " Windows";
    const InstallOutcome outcome = Install(c.variant, c.windowsVersion, {}, c.languageId);
    ExpectInstalled(outcome, c.variant, c.driverFolder, c.supplier, c.displayName);
    const std::wstring service = c.supplier == 1 ? L"Vostrel.exe" : L"Tessilsvc.exe";
    std::vector<std::wstring> order{Tool(c.supplier), service};
    if (c.serviceFirst) std::swap(order[0], order[1]);
    ASSERT_EQ(order, Names(outcome.starts));
    std::wstring inf;
    for (const auto& file : ListTree(StagedPayload(c.variant) + L"\\Driver\\RTL8811CU\\Driver\\" + c.driverFolder))
        if (file.size() > 4 && file.compare(file.size() - 4, 4, L".inf") == 0) inf = file;
    ExpectTool(outcome.starts[c.serviceFirst ? 1 : 0], c.supplier, c.serviceFirst ? L"BetaInstall" : L"Install", inf);
    ExpectService(outcome.starts[c.serviceFirst ? 0 : 1], c.supplier);
    EXPECT_EQ(std::vector<std::string>{std::string("ReadConfigFromIni>>OS type is ") + c.osWord},
              LogLines(outcome.result.log, "ReadConfigFromIni>>OS type"));
    // The language library in use keeps the unpack folder during the run: the
    // step fails, the run goes on to its end, and the exit removes the folder.
    const auto log = LogLines(outcome.result.log);
    const auto failed = std::find(log.begin(), log.end(), "ThreadSetupDriAndUI>> delTempFile Fail!");
    ASSERT_NE(failed, log.end()) << outcome.result.log;
    EXPECT_EQ("delTempFile>> LXDeleteFolder fail !", *(failed - 1));
    EXPECT_NE(std::find(failed, log.end(), "{EventSetupEnd}EventSetupEnd start "), log.end());
}

INSTANTIATE_TEST_SUITE_P(Installs, InstallRow, ::testing::ValuesIn(kInstallCases),
                         [](const ::testing::TestParamInfo<InstallCase>& info) { return info.param.name; });

// The tool's exit code is not looked at: the driver step counts as done.
TEST_F(InstallE2E, AToolThatExitsWithAnErrorStillCompletes) {
    const InstallOutcome outcome = Install(L"", L"win10", {{L"SETUPINSTALL_STANDIN_EXIT_CORVANE64", L"3"}});
    ExpectInstalled(outcome, L"", L"Win10X64", 1);
    EXPECT_EQ((std::vector<std::wstring>{L"Corvane64.exe", L"Vostrel.exe"}), Names(outcome.starts));
}

// --- Failures: the error box, then the window closes; what was installed stays.

void ExpectFailed(const InstallOutcome& outcome, const char* logLine) {
    ASSERT_EQ(1u, outcome.boxes.size());
    EXPECT_EQ(kSetupFailed, outcome.boxes[0].text);
    const auto log = LogLines(outcome.result.log);
    EXPECT_NE(std::find(log.begin(), log.end(), logLine), log.end()) << outcome.result.log;
    EXPECT_EQ(std::find(log.begin(), log.end(), "{EventSetupEnd}EventSetupEnd start "), log.end());
    EXPECT_TRUE(si_test::RemovedAtExit(outcome.result.unpackDir, outcome.result.processId));
}

TEST_F(InstallE2E, AToolThatCannotStartFailsAfterTheDriverFilesWereCopied) {
    const InstallOutcome outcome = Install(L"no_tool", L"win10");
    ExpectFailed(outcome, "runExe>> CreateProcess Failed,Error Number is 2, return 0!");
    EXPECT_TRUE(outcome.starts.empty());
    EXPECT_TRUE(FileExists(target_ + L"\\Uninstall.exe"));
    EXPECT_TRUE(FileExists(target_ + L"\\DriverFiles\\difxapi.dll"));
    EXPECT_TRUE(FileExists(target_ + L"\\DriverFiles\\Driver\\Win10X64\\netrtwlanu.inf"));
    EXPECT_FALSE(DirExists(target_ + L"\\AutoInstSvc"));  // the driver came first
    EXPECT_TRUE(UninstallValues().empty());
}

TEST_F(InstallE2E, AnUninstallerThatCannotBeReplacedFailsBeforeAnythingElse) {
    ::CreateDirectoryW((ProgramFiles() + L"\\KALVERON").c_str(), nullptr);
    ::CreateDirectoryW(target_.c_str(), nullptr);
    const std::wstring uninstaller = target_ + L"\\Uninstall.exe";
    ASSERT_TRUE(si_test::WriteFileBytes(uninstaller, "installed before"));
    ASSERT_TRUE(::SetFileAttributesW(uninstaller.c_str(), FILE_ATTRIBUTE_READONLY));
    // Wine running as root overwrites read-only files: keep it open as well.
    si::unique_file inUse(::CreateFileW(uninstaller.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                        nullptr));
    ASSERT_TRUE(inUse);
    const InstallOutcome outcome = Install(L"", L"win10");
    inUse.reset();
    ExpectFailed(outcome, "copyFiles>>copy Config fail");
    EXPECT_TRUE(outcome.starts.empty());
    EXPECT_EQ(std::vector<std::wstring>{L"Uninstall.exe"}, ListTree(target_));
    EXPECT_EQ("installed before", si_test::FileText(uninstaller));
    EXPECT_TRUE(UninstallValues().empty());
    ::SetFileAttributesW(uninstaller.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(InstallE2E, AMissingLanguageFolderFailsTheCopyAtThatLanguage) {
    const InstallOutcome outcome = Install(L"missing_lang", L"win10");
    ExpectFailed(outcome, "copyFiles>>copy Config fail");
    EXPECT_TRUE(outcome.starts.empty());
    std::vector<std::wstring> layout = install_test::UninstallerLayout(8);  // Chinese(Traditional) .. Japanese(Japan)
    layout.push_back(L"UnLang\\Korean(Korea)");
    std::sort(layout.begin(), layout.end());
    EXPECT_EQ(layout, ListTree(target_));
    EXPECT_TRUE(UninstallValues().empty());
}

}  // namespace
