// Start-up of the real SetupInstall.exe under Wine: the gates, the folders,
// the language pack, and a damaged executable.
#include <gtest/gtest.h>

#include <string>

#include "framework/win.h"
#include "state/globals.h"
#include "tests/support/e2e.h"
#include "tests/support/test_support.h"

namespace {

using si_test::InstallerRun;

// Presses the box's OK button.
void Dismiss(HWND box) { ::PostMessageW(box, WM_COMMAND, IDOK, 0); }

TEST(Startup, SecondCopyIsRefusedAndItsExitRemovesNothing) {
    const std::wstring unpack = si_test::AppDataDir() + L"\\KalveronTemp";
    si_test::RemoveTree(unpack);
    ASSERT_TRUE(::CreateDirectoryW(unpack.c_str(), nullptr));
    ASSERT_TRUE(si_test::WriteFileBytes(unpack + L"\\marker.txt", "from an earlier run"));

    // The first copy stops at the Vista gate with the mutex held.
    InstallerRun first;
    first.windowsVersion = L"vista";
    first.clean = false;
    DWORD firstId = 0;
    si::unique_handle firstProcess(si_test::StartInstaller(first, &firstId));
    ASSERT_TRUE(firstProcess);
    HWND firstBox = nullptr;
    EXPECT_EQ(si_test::FindMessageBoxText(firstId, 30000, &firstBox),
              L"This operating system is not supported. Please change the operating system and try again.");
    wchar_t caption[64] = {};
    ::GetWindowTextW(firstBox, caption, 64);
    EXPECT_STREQ(caption, L"Error!!!");

    InstallerRun second;
    second.windowsVersion = L"win10";
    second.languageId = L"0411";  // the gate texts are English whatever the language
    second.clean = false;
    DWORD secondId = 0;
    si::unique_handle secondProcess(si_test::StartInstaller(second, &secondId));
    ASSERT_TRUE(secondProcess);
    HWND secondBox = nullptr;
    EXPECT_EQ(si_test::FindMessageBoxText(secondId, 30000, &secondBox), L"The installation is running.");
    Dismiss(secondBox);
    ASSERT_EQ(::WaitForSingleObject(secondProcess.get(), 20000), WAIT_OBJECT_0);
    DWORD code = 99;
    ::GetExitCodeProcess(secondProcess.get(), &code);
    EXPECT_EQ(code, 0u);

    Dismiss(firstBox);
    ASSERT_EQ(::WaitForSingleObject(firstProcess.get(), 20000), WAIT_OBJECT_0);
    // Neither exit knew the unpack folder: what an earlier run left stays
    // (a removal, had one been started, would have ended by now).
    EXPECT_TRUE(si_test::WaitForChildren(::GetProcessId(firstProcess.get()), 10000));
    EXPECT_TRUE(si_test::WaitForChildren(secondId, 10000));
    EXPECT_TRUE(si_test::FileExists(unpack + L"\\marker.txt"));
    si_test::SetSystemLanguage(L"0409");
    si_test::RemoveTree(unpack);
}

TEST(Startup, PreparesItsFoldersAndUnpacksTheLanguagePack) {
    const std::wstring appData = si_test::AppDataDir();
    const std::wstring unpack = appData + L"\\KalveronTemp";
    const std::wstring english = unpack + L"\\Lang\\English(United_States)\\SetupInstallLan.dll";
    InstallerRun run;
    run.env = {{L"COMSPEC", L""}};  // keep the unpack folder for inspection
    run.timeoutMs = 60000;
    bool sawLanguagePack = false;
    run.during = [&](HANDLE process) {
        // Once the window is up, start-up and the dialog's set-up have both run.
        EXPECT_NE(si_test::FindInstallerWindow(::GetProcessId(process), 60000), nullptr);
        sawLanguagePack = si_test::FileExists(english) && si_test::FileExists(unpack + L"\\Lang7z") &&
                          si_test::FileExists(unpack + L"\\7zDec.dll");
        ::TerminateProcess(process, 0);  // the rest of the run is not this test's
    };
    auto result = si_test::RunInstaller(run);
    ASSERT_TRUE(result.started);
    EXPECT_TRUE(sawLanguagePack);
    EXPECT_TRUE(si_test::DirExists(appData + L"\\InstallLog"));
    const std::string log = result.log;
    const std::string unpackNarrow = si_test::Narrow(unpack);
    EXPECT_NE(log.find("gUnPackDirPath = " + unpackNarrow), std::string::npos) << log;
    EXPECT_NE(log.find("{OnInitDialog} UnPackDirPath is " + unpackNarrow), std::string::npos);
    EXPECT_NE(log.find("{OnInitDialog} gLogDir is " + si_test::Narrow(appData) + "\\InstallLog"), std::string::npos);
    EXPECT_NE(log.find("{OnInitDialog} gLogPath is " + si_test::Narrow(appData) + "\\InstallLog\\Install.log"),
              std::string::npos);
    // Start-up's own folder lines come before the log path exists and are
    // lost; these are the dialog's repeat of them.
    si_test::RemoveTree(unpack);
}

// The detection runs before the log path exists, so the installer's own log
// never holds it: a probe program with the installer's manifest runs the same
// detection under each Windows setting and reports the codes and lines.
TEST(Startup, EveryWindowsSettingIsClassifiedThroughTheRealCalls) {
    struct Row {
        const wchar_t* version;
        int osType;
        const char* lastLine;
    } rows[] = {
        {L"winxp64", 5, "---VER_PLATFORM_WIN32_WINDOWS---OS_TYPE_XP_64---MajorVersion:5-MinorVersion:2"},
        {L"vista", 7, "---VER_PLATFORM_WIN32_WINDOWS---OS_TYPE_VISTA---MajorVersion:6-MinorVersion:0"},
        {L"win7", 8, "---VER_PLATFORM_WIN32_WINDOWS---OS_TYPE_WIN7---MajorVersion:6-MinorVersion:1"},
        {L"win8", 9, "---VER_PLATFORM_WIN32_WINDOWS---OS_TYPE_WIN8---MajorVersion:6-MinorVersion:2"},
        {L"win81", 10, "---VER_PLATFORM_WIN32_WINDOWS---OS_TYPE_WIN8_1---MajorVersion:6-MinorVersion:3"},
        // The manifest caps the classic query at 6.3; the kernel's own query finds 10.
        {L"win10", 11, "---VER_PLATFORM_WIN32_WINDOWS---OS_TYPE_WIN10---MajorVersion:6-MinorVersion:3"},
    };
    si_test::TempDir dir(L"osprobe");
    const std::wstring probe = si_test::ModuleDir() + L"\\os_probe.exe";
    for (const Row& row : rows) {
        SCOPED_TRACE(si_test::Narrow(row.version));
        si_test::SetWindowsVersion(L"os_probe.exe", row.version);
        const std::wstring log = dir / (std::wstring(row.version) + L".log");
        DWORD code = 0;
        ASSERT_TRUE(si_test::RunProcess(L"\"" + probe + L"\" \"" + log + L"\"", 30000, &code));
        EXPECT_EQ(code, static_cast<DWORD>(row.osType * 16 + 2));
        const std::string text = si_test::FileText(log);
        EXPECT_NE(text.find("OS-TYPE is:2-OS_ARCHITECTURE_X64_AMD64"), std::string::npos) << text;
        ASSERT_NE(text.rfind("---"), std::string::npos);
        EXPECT_NE(text.find(row.lastLine), std::string::npos) << text;
        if (row.osType == 11) {
            EXPECT_NE(text.find("---OS_TYPE_WIN8_1---MajorVersion:6-MinorVersion:3"), std::string::npos);
        }
    }
}

// A gdiplus.dll that records its load, planted beside a copy of the probe,
// Wine told to prefer it: loaded without any restriction (the plant works),
// never with the installer's, with SetDefaultDllDirectories (new) or without.
TEST(Startup, DllSearchNeverReachesTheProgramsOwnFolder) {
    si_test::TempDir dir(L"plantprobe");
    const std::wstring probe = dir / L"os_probe.exe", marker = dir / L"gdiplus.dll.loaded";
    ASSERT_TRUE(::CopyFileW((si_test::ModuleDir() + L"\\os_probe.exe").c_str(), probe.c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW((si_test::ModuleDir() + L"\\planted.dll").c_str(), (dir / L"gdiplus.dll").c_str(), FALSE));
    si_test::PreferNativeDlls(L"os_probe.exe", {L"gdiplus"});
    for (const auto& row : {std::make_pair(L"none", 1u), std::make_pair(L"old", 0u), std::make_pair(L"new", 0u)}) {
        SCOPED_TRACE(si_test::Narrow(row.first));
        ::DeleteFileW(marker.c_str());
        DWORD code = 99;
        ASSERT_TRUE(si_test::RunProcess(L"\"" + probe + L"\" /dllsearch " + row.first, 30000, &code));
        EXPECT_EQ(row.second, code);
        EXPECT_EQ(row.second == 1, si_test::FileExists(marker));
    }
    si_test::PreferNativeDlls(L"os_probe.exe", {});
}

TEST(Startup, MissingPayloadResourceEndsQuietlyWithExitCodeZero) {
    si_test::TempDir dir(L"damaged");
    const std::wstring exe = dir / L"SetupInstall.exe";
    ASSERT_TRUE(::CopyFileW(si_test::InstallerPath().c_str(), exe.c_str(), FALSE));
    // Rename the resource type in the resource directory (a counted UTF-16
    // string there, unlike the literal in the code): the payload entries are
    // then gone while everything else still loads.
    std::string bytes;
    ASSERT_TRUE(si_test::ReadFileBytes(exe, &bytes));
    const std::wstring counted = std::wstring(1, wchar_t(10)) + L"SETUPFILES";
    const std::string pattern(reinterpret_cast<const char*>(counted.data()), counted.size() * sizeof(wchar_t));
    const size_t at = bytes.find(pattern);
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(bytes.find(pattern, at + 1), std::string::npos);
    bytes[at + pattern.size() - 2] = 'X';
    ASSERT_TRUE(si_test::WriteFileBytes(exe, bytes));

    InstallerRun run;
    run.exePath = exe;
    run.timeoutMs = 30000;
    std::wstring boxText = L"none";
    run.during = [&](HANDLE process) {
        DWORD id = ::GetProcessId(process);
        boxText = si_test::FindMessageBoxText(id, 3000);
    };
    auto result = si_test::RunInstaller(run);
    if (!result.finished) si_test::SaveScreenshot(si_test::ArtefactDir() + L"\\damaged-exe-hang.png");
    ASSERT_TRUE(result.finished) << result.log;
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(result.log.find("{ThreadSetupInstall}"), std::string::npos);
    EXPECT_EQ(boxText, L"");
    EXPECT_NE(result.log.find("UnPackFromRes::UnPackFromList ->Get Source " + si_test::Narrow(result.unpackDir) +
                              "\\Lang7z fail!"),
              std::string::npos)
        << result.log;
    EXPECT_NE(result.log.find("unPack.UnPack"), std::string::npos);
    // No exit operation ran: the folder it had made stays.
    EXPECT_TRUE(si_test::DirExists(result.unpackDir));
    si_test::RemoveTree(result.unpackDir);
}

}  // namespace
