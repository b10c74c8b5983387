// The install steps for real under Wine: the staged sample payload (and its
// supplier 2 variant) as the unpack folder, a temporary Program Files, the
// stand-in programs recording how they were started, HKLM for the uninstall entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "state/globals.h"
#include "framework/win.h"
#include "install/cleanup.h"
#include "install/config.h"
#include "install/copy_files.h"
#include "install/driver.h"
#include "install/fileops.h"
#include "install/service.h"
#include "install/uninstall_reg.h"
#include "payload/standin/record.h"
#include "resources/resource_ids.h"
#include "tests/install/install_test_support.h"
#include "tests/support/test_support.h"

using install_test::LogLines;
using si_standin::ScopedEnv;
using si_standin::StandinStart;
using si_test::DirExists;
using si_test::FileExists;
using si_test::ListTree;

namespace {

std::string N(const std::wstring& text) { return si_test::Narrow(text); }

std::wstring StageOf(const std::wstring& variant) {
    const std::wstring payload = si_test::BuildDir() + L"\\payload";
    return variant.empty() ? payload + L"\\stage" : payload + L"\\variants\\" + variant + L"\\stage";
}

class StepsTest : public ::testing::Test {
protected:
    void SetUp() override {
        install_test::ResetInstallState();
        ::CreateDirectoryW((temp_ / L"Program Files").c_str(), nullptr);
        install_test::SetPath(gProgramFilesDir, temp_ / L"Program Files");
        target_ = temp_ / L"Program Files\\KALVERON\\AX7R_1.0";
        record_ = temp_ / L"record.txt";
    }

    // The staged payload as the unpack folder, configured for `os`.
    void Configure(const std::wstring& variant, OsInfo os) {
        install_test::SetPath(gUnPackDirPath, StageOf(variant));
        ASSERT_TRUE(FileExists(std::wstring(gUnPackDirPath) + L"\\SetupFiles\\ConfigFile\\FilesModifyConfig.ini"));
        ASSERT_EQ(1, si::ReadConfigFromIniWith(os, &install_test::RecordBox));
        ASSERT_EQ(target_, gTargetDir);
        log_.Clear();
    }

    std::vector<StandinStart> Starts() {
        std::vector<StandinStart> starts;
        EXPECT_TRUE(si_standin::ReadStandinRecord(record_, &starts));
        return starts;
    }

    si_test::TempDir temp_{L"steps"};
    std::wstring target_, record_;
    si_test::LogCapture log_;
    ScopedEnv recordEnv_{L"SETUPINSTALL_STANDIN_RECORD", temp_ / L"record.txt"};
};

// --- Payload copy ----------------------------------------------------------

std::vector<std::wstring> UninstallerLayout(size_t languages) {
    std::vector<std::wstring> layout{L"Uninstall.exe", L"UnLang"};
    for (size_t i = 0; i < languages; ++i) {
        layout.push_back(std::wstring(L"UnLang\\") + kUninstallLanguages[i]);
        layout.push_back(std::wstring(L"UnLang\\") + kUninstallLanguages[i] + L"\\UninstallLan.dll");
    }
    std::sort(layout.begin(), layout.end());
    return layout;
}

TEST_F(StepsTest, CopyFilesPutsTheUninstallerAndItsLanguagesIntoTheTarget) {
    Configure(L"", OsInfo{OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10});
    ASSERT_TRUE(copyFiles());
    EXPECT_EQ(UninstallerLayout(kUninstallLanguageCount), ListTree(target_));

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
    std::string installed, shipped;
    si_test::ReadFileBytes(target_ + L"\\Uninstall.exe", &installed);
    si_test::ReadFileBytes(StageOf(L"") + L"\\SetupFiles\\Uninst\\Uninstall.exe", &shipped);
    EXPECT_EQ(shipped, installed);
    si_test::ReadFileBytes(target_ + L"\\UnLang\\Thai(Thailand)\\UninstallLan.dll", &installed);
    EXPECT_NE("old", installed);
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
    install_test::SetPath(gUnPackDirPath, unpack);
    install_test::SetPath(gUninstSourceDir, L"SetupFiles\\Uninst");
    install_test::SetPath(gTargetDir, target_);

    EXPECT_FALSE(copyFiles());
    std::vector<std::wstring> layout = UninstallerLayout(8);  // Chinese(Traditional) .. Japanese(Japan)
    layout.push_back(L"UnLang\\Korean(Korea)");
    std::sort(layout.begin(), layout.end());
    EXPECT_EQ(layout, ListTree(target_));
    const auto lines = LogLines(log_.Text(), "copyFiles>>");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("copyFiles>>copy Config fail", lines.back());
    EXPECT_EQ("copyFiles>>szDesUninsLangTmp = " + N(target_) + "\\UnLang\\Korean(Korea)", lines[lines.size() - 2]);
}

TEST_F(StepsTest, CopyFilesFailsOverAnUninstallerThatCannotBeReplaced) {
    Configure(L"", OsInfo{OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10});
    ASSERT_TRUE(createMultiDir(target_.c_str()));
    si_test::WriteFileBytes(target_ + L"\\Uninstall.exe", "old");
    // Read-only stops the copy on Windows; Wine running as root overwrites a
    // read-only file, so the file is also kept open without write sharing.
    ::SetFileAttributesW((target_ + L"\\Uninstall.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    si::unique_file inUse(::CreateFileW((target_ + L"\\Uninstall.exe").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(copyFiles());
    inUse.reset();
    EXPECT_EQ(std::vector<std::wstring>{L"Uninstall.exe"}, ListTree(target_));  // no language copied
    EXPECT_EQ("copyFiles>>copy Config fail", LogLines(log_.Text()).back());
    ::SetFileAttributesW((target_ + L"\\Uninstall.exe").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(StepsTest, CopyFilesRefusesATargetThatDoesNotFit) {
    Configure(L"", OsInfo{OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10});
    install_test::SetPath(gTargetDir, temp_.path() + L"\\" + std::wstring(MAX_PATH - 12 - temp_.path().size(), L't'));
    EXPECT_FALSE(copyFiles());
    EXPECT_EQ((std::vector<std::string>{"copyFiles>> path too long: " + N(gTargetDir) + "\\Uninstall.exe",
                                        "copyFiles>>copy Config fail"}),
              LogLines(log_.Text()));
    EXPECT_FALSE(DirExists(gTargetDir));
}

// --- Driver installation ---------------------------------------------------

std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end());
    return names;
}

const std::vector<std::wstring> kDriverPackage = {L"LIM_AX7R_1.txt", L"PBR_AX7R_1.txt", L"netrtwlanu.cat",
                                                  L"netrtwlanu.inf", L"rtlCoInst.dat",  L"rtlCoInst.dll",
                                                  L"rtwlanu.sys"};

TEST_F(StepsTest, CorvaneInstallsTheDriverBelowDriverFilesAndRunsHiddenThere) {
    Configure(L"", OsInfo{OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10});
    ScopedEnv failingTool(L"SETUPINSTALL_STANDIN_EXIT_CORVANE64", L"3");  // its exit code is not looked at
    gOsInfo = OsInfo{OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10};
    si::unique_handle thread(::CreateThread(nullptr, 0, &ThreadSetupDriver, nullptr, 0, nullptr));
    ASSERT_TRUE(thread);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.get(), 60000));
    DWORD exitCode = 0;
    ::GetExitCodeThread(thread.get(), &exitCode);
    EXPECT_EQ(1u, exitCode);

    std::vector<std::wstring> layout{L"Corvane64.exe", L"difxapi.dll", L"Driver", L"Driver\\Win10X64"};
    for (const auto& name : kDriverPackage) layout.push_back(L"Driver\\Win10X64\\" + name);
    EXPECT_EQ(Sorted(layout), ListTree(target_ + L"\\DriverFiles"));

    const auto starts = Starts();
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(L"Corvane64.exe", starts[0].FileName());
    EXPECT_EQ(L"\"" + target_ + L"\\DriverFiles\\Corvane64.exe\" -i ", starts[0].commandLine);
    EXPECT_EQ(target_ + L"\\DriverFiles", starts[0].currentDir);
    EXPECT_EQ(SW_HIDE, starts[0].showWindow);

    const std::string driverFiles = N(target_) + "\\DriverFiles";
    EXPECT_EQ((std::vector<std::string>{
                  "ThreadSetupDriver>> begin!",
                  "ThreadSetupDriver>> szSrcDriverDir is " + N(StageOf(L"")) +
                      "\\SetupFiles\\Driver\\RTL8811CU\\Driver\\Win10X64!",
                  "ThreadSetupDriver>> strDriverDir is " + driverFiles + "!",
                  "ThreadSetupDriver>> strDriverDir is " + driverFiles + "\\Driver\\Win10X64!",
                  "ThreadSetupDriver>> end!"}),
              LogLines(log_.Text(), "ThreadSetupDriver>>"));
}

TEST_F(StepsTest, TessilGetsTheInfPathAndTheInstallersCurrentDirectory) {
    Configure(L"supplier2", OsInfo{OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10});
    EXPECT_EQ(1u, si::SetupDriverWith(OsInfo{OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10}, &install_test::RecordBox));

    std::vector<std::wstring> layout = kDriverPackage;
    layout.push_back(L"Tessil64.exe");
    layout.push_back(L"difxapi.dll");
    EXPECT_EQ(Sorted(layout), ListTree(target_ + L"\\DriverFiles"));

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
    Configure(L"supplier2", OsInfo{OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10});
    install_test::SetPath(gDriverSourceDir, L"SetupFiles\\Driver\\Missing");
    EXPECT_EQ(0u, si::SetupDriverWith(OsInfo{OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10}, &install_test::RecordBox));
    EXPECT_EQ(1u, LogLines(log_.Text(), "ThreadSetupDriver>> get  inf filename fail").size());
    EXPECT_TRUE(Starts().empty());

    // A tool that cannot start.
    log_.Clear();
    Configure(L"", OsInfo{OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10});
    install_test::SetPath(gDriverToolPath, target_ + L"\\DriverFiles\\Missing.exe");
    EXPECT_EQ(0u, si::SetupDriverWith(OsInfo{OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10}, &install_test::RecordBox));
    EXPECT_EQ("runExe>> CreateProcess Failed,Error Number is 2, return 0!", LogLines(log_.Text()).back());

    // Driver files that cannot be copied (the destination is a file).
    log_.Clear();
    si_test::RemoveTree(target_ + L"\\DriverFiles");
    si_test::WriteFileBytes(target_ + L"\\DriverFiles", "in the way");
    EXPECT_EQ(0u, si::SetupDriverWith(OsInfo{OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10}, &install_test::RecordBox));
    EXPECT_EQ(1u, LogLines(log_.Text(), "ThreadSetupDriver>> copy DriverFiles Fail(").size());
    ::DeleteFileW((target_ + L"\\DriverFiles").c_str());

    // An unknown supplier: the vendor box.
    gChipSupplier = 3;
    EXPECT_EQ(0u, si::SetupDriverWith(OsInfo{OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10}, &install_test::RecordBox));
    ASSERT_EQ(1u, install_test::gBoxes.size());
    EXPECT_EQ(L"Invalid chip vendor value.", install_test::gBoxes[0].text);
    EXPECT_EQ(L"Error!!!", install_test::gBoxes[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_SYSTEMMODAL), install_test::gBoxes[0].type);
}

TEST_F(StepsTest, RunExeWaitsForTheProgramHidden) {
    const std::wstring standin = si_test::BuildDir() + L"\\payload\\standins\\standin.exe";
    ASSERT_TRUE(FileExists(standin));
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

// --- Auto-install service ----------------------------------------------------

TEST_F(StepsTest, VostrelIsCopiedAndRunHiddenWithItsArgument) {
    Configure(L"", OsInfo{OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10});
    ScopedEnv sleep(L"SETUPINSTALL_STANDIN_SLEEP_MS_VOSTREL", L"300");
    const DWORD start = ::GetTickCount();
    EXPECT_TRUE(si::InstallAutoServiceWith(&install_test::RecordBox));
    EXPECT_GE(::GetTickCount() - start, 250u);  // it waited for the program to end
    EXPECT_EQ(std::vector<std::wstring>{L"Vostrel.exe"}, ListTree(target_ + L"\\AutoInstSvc"));
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
    Configure(L"", OsInfo{OS_ARCHITECTURE_X64_AMD64, OS_TYPE_WIN10});
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

// --- Uninstall registration ----------------------------------------------------

// A key of this test's own under the uninstall list, removed afterwards.
class RegistrationTest : public StepsTest {
protected:
    void SetUp() override {
        StepsTest::SetUp();
        gKeyName = L"SetupInstallTest_" + std::to_wstring(::GetCurrentProcessId());
        install_test::SetPath(gTargetDir, target_);
        createMultiDir(target_.c_str());
        log_.Clear();
    }
    void TearDown() override {
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, KeyPath().c_str());
        StepsTest::TearDown();
    }
    static std::wstring KeyPath() { return std::wstring(si::kUninstallParentKey) + L"\\" + gKeyName; }
    static std::wstring Load(UINT id) { return id == IDS_UNINSTALL_KEY ? gKeyName : install_test::Text(id); }
    static std::wstring LoadWithoutKey(UINT id) { return id == IDS_UNINSTALL_KEY ? std::wstring() : Load(id); }

    // Every value of the key in the order the registry lists them: name, type, data.
    struct Value {
        std::wstring name;
        DWORD type;
        std::wstring data;
        DWORD bytes;
        bool operator==(const Value& o) const {
            return name == o.name && type == o.type && data == o.data && bytes == o.bytes;
        }
    };
    static std::vector<Value> Values() {
        std::vector<Value> values;
        si::unique_hkey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath().c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
            return values;
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD nameLength = 256, type = 0, bytes = 2048;
            BYTE data[2048] = {};
            if (::RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, data, &bytes) != ERROR_SUCCESS) break;
            values.push_back(Value{name, type, reinterpret_cast<const wchar_t*>(data), bytes});
        }
        return values;
    }
    static Value Sz(const wchar_t* name, const std::wstring& text) {
        return Value{name, REG_SZ, text, static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))};
    }
    static bool KeyExists() {
        si::unique_hkey key;
        return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath().c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
    }

    static std::wstring gKeyName;
};
std::wstring RegistrationTest::gKeyName;

TEST_F(RegistrationTest, SevenTextValuesWithTheUninstallersFileVersion) {
    ASSERT_TRUE(::CopyFileW((StageOf(L"") + L"\\SetupFiles\\Uninst\\Uninstall.exe").c_str(),
                            (target_ + L"\\Uninstall.exe").c_str(), FALSE));
    ASSERT_TRUE(si::CreateShoutCutWith(&Load));
    EXPECT_EQ((std::vector<Value>{Sz(L"DisplayIcon", L""), Sz(L"DisplayName", L"KALVERON Wireless USB Adapter"),
                                  Sz(L"DisplayVersion", L"1.0.0.5"), Sz(L"InstallLocation", target_),
                                  Sz(L"Publisher", L"KALVERON"), Sz(L"UninstallString", target_ + L"\\Uninstall.exe"),
                                  Sz(L"URLInfoAbout", install_test::Text(IDS_WEB_ADDRESS))}),
              Values());
    EXPECT_TRUE(LogLines(log_.Text()).empty());

    // Again over the same key: values overwritten in place, others left alone.
    si::unique_hkey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath().c_str(), 0, KEY_ALL_ACCESS, key.put()));
    const wchar_t extra[] = L"kept";
    ::RegSetValueExW(key.get(), L"Extra", 0, REG_SZ, reinterpret_cast<const BYTE*>(extra), sizeof(extra));
    ::RegSetValueExW(key.get(), L"DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(extra), sizeof(extra));
    key.reset();
    ::DeleteFileW((target_ + L"\\Uninstall.exe").c_str());  // no uninstaller: version 0.0.0.0
    ASSERT_TRUE(si::CreateShoutCutWith(&Load));
    const auto values = Values();
    ASSERT_EQ(8u, values.size());
    auto find = [&](const wchar_t* name) {
        for (const Value& v : values)
            if (v.name == name) return v;
        return Value{};
    };
    EXPECT_EQ(Sz(L"DisplayName", L"KALVERON Wireless USB Adapter"), find(L"DisplayName"));
    EXPECT_EQ(Sz(L"DisplayVersion", L"0.0.0.0"), find(L"DisplayVersion"));
    EXPECT_EQ(Sz(L"Extra", L"kept"), find(L"Extra"));
}

TEST_F(RegistrationTest, AMissingKeyNameWritesNothing) {
    EXPECT_FALSE(si::CreateShoutCutWith(&LoadWithoutKey));
    EXPECT_FALSE(KeyExists());
    si::unique_hkey parent;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, si::kUninstallParentKey, 0, KEY_READ, parent.put()));
    EXPECT_NE(ERROR_SUCCESS, ::RegQueryValueExW(parent.get(), L"DisplayName", nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ((std::vector<std::string>{"createShoutCut>> key name (117) missing",
                                        "createShoutCut>>CreateUnInstallShortcut fail "}),
              LogLines(log_.Text()));
}

TEST_F(RegistrationTest, AnUninstallerPathThatDoesNotFitWritesNothing) {
    install_test::SetPath(gTargetDir, temp_.path() + L"\\" + std::wstring(MAX_PATH - 12 - temp_.path().size(), L't'));
    EXPECT_FALSE(si::CreateShoutCutWith(&Load));
    EXPECT_FALSE(KeyExists());
    EXPECT_EQ((std::vector<std::string>{"createShoutCut>> path too long: " + N(gTargetDir) + "\\Uninstall.exe",
                                        "createShoutCut>>CreateUnInstallShortcut fail "}),
              LogLines(log_.Text()));
}

TEST_F(RegistrationTest, AParentKeyThatCannotBeOpenedFails) {
    UninstallEntry entry;
    entry.keyName = gKeyName;
    EXPECT_FALSE(si::CreateUnInstallShortcutAt(HKEY_LOCAL_MACHINE, L"SOFTWARE\\SetupInstallNoSuchKey", entry));
    EXPECT_FALSE(KeyExists());
}

TEST_F(RegistrationTest, FileVersionNotProductVersion) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_EQ(L"1.0.0.3", GetFileVersionString(self));  // product version 2.3.4.5
    EXPECT_EQ(L"0.0.0.0", GetFileVersionString((temp_ / L"missing.exe").c_str()));
    EXPECT_EQ(L"0.0.0.0", GetFileVersionString(L""));
    si_test::WriteFileBytes(temp_ / L"plain.exe", "no version here");
    EXPECT_EQ(L"0.0.0.0", GetFileVersionString((temp_ / L"plain.exe").c_str()));
}

// --- Cleanup -------------------------------------------------------------------

TEST_F(StepsTest, DelTempFileRemovesTheUnpackFolder) {
    const std::wstring unpack = temp_ / L"KalveronTemp";
    ASSERT_TRUE(createMultiDir((unpack + L"\\SetupFiles\\Uninst").c_str()));
    si_test::WriteFileBytes(unpack + L"\\SetupFiles7z", "7z");
    si_test::WriteFileBytes(unpack + L"\\SetupFiles\\Uninst\\Uninstall.exe", "exe");
    install_test::SetPath(gUnPackDirPath, unpack);
    log_.Clear();
    EXPECT_TRUE(delTempFile());
    EXPECT_FALSE(DirExists(unpack));
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
    EXPECT_TRUE(FileExists(unpack + L"\\Lang\\SetupInstallLan.dll"));
    EXPECT_EQ("delTempFile>> LXDeleteFolder fail !", LogLines(log_.Text()).back());
}

}  // namespace
