// The stand-in programs of the sample payload: what they record, how their
// exit code and wait are chosen, and the version and language resources the
// installer reads or copies.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/win.h"
#include "payload/standin/record.h"
#include "tests/support/test_support.h"

namespace {

using si_standin::ReadStandinRecord;
using si_standin::ScopedEnv;
using si_standin::StandinStart;
using si_test::TempDir;

std::wstring StandinDir() { return si_test::BuildDir() + L"\\payload\\standins"; }
std::wstring StagedSetupFiles() { return si_test::BuildDir() + L"\\payload\\stage\\SetupFiles"; }

// A copy of the stand-in under `name` in `dir`.
std::wstring StandinAs(const TempDir& dir, const std::wstring& name) {
    std::wstring path = dir / name;
    EXPECT_TRUE(::CopyFileW((StandinDir() + L"\\standin.exe").c_str(), path.c_str(), FALSE)) << si_test::Narrow(path);
    return path;
}

// Starts a program with or without a show-window value; no handle inherited.
si::unique_handle Start(const std::wstring& commandLine, const std::wstring& currentDir = std::wstring(),
                        int show = -1) {
    PROCESS_INFORMATION process = {};
    if (!si_test::StartProcess(commandLine, 0, nullptr, currentDir, &process, show)) {
        ADD_FAILURE() << "CreateProcessW failed: " << ::GetLastError();
        return si::unique_handle();
    }
    ::CloseHandle(process.hThread);
    return si::unique_handle(process.hProcess);
}

DWORD WaitExit(const si::unique_handle& process) {
    if (!process) return 0xDEADBEEF;
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.get(), 30000));
    DWORD code = 0xDEADBEEF;
    ::GetExitCodeProcess(process.get(), &code);
    return code;
}

std::vector<StandinStart> Record(const std::wstring& path) {
    std::vector<StandinStart> starts;
    EXPECT_TRUE(ReadStandinRecord(path, &starts));
    return starts;
}

// A test's own record file, exit code and wait: none inherited from outside.
class StandinTest : public ::testing::Test {
protected:
    TempDir dir_{L"standin"};
    std::wstring record_ = dir_ / L"record.txt";
    ScopedEnv recordVar_{si_standin::kRecordVar, record_};
    ScopedEnv exitVar_{si_standin::kExitVar, L"", true};
    ScopedEnv sleepVar_{si_standin::kSleepVar, L"", true};
};

TEST_F(StandinTest, RecordsCommandLineCurrentDirAndShowWindowExactly) {
    TempDir work(L"cur dir ü");
    std::wstring tool = StandinAs(work, L"Corvane64.exe");
    // Quotes, blanks (also two in a row and one at the end), a tab, a percent
    // sign and characters beyond ASCII, as the installer's command lines may hold.
    std::wstring command = L"\"" + tool + L"\" Install \"C:\\Program Files\\K X\\net.inf\"  \t%TEMP% 日本 ";

    EXPECT_EQ(0u, WaitExit(Start(command, work.path(), SW_HIDE)));
    EXPECT_EQ(0u, WaitExit(Start(command, work.path())));
    EXPECT_EQ(0u, WaitExit(Start(command, work.path(), SW_SHOWMINNOACTIVE)));

    std::vector<StandinStart> starts = Record(record_);
    ASSERT_EQ(3u, starts.size());
    const int shows[] = {SW_HIDE, -1, SW_SHOWMINNOACTIVE};
    for (size_t i = 0; i < starts.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(0, lstrcmpiW(tool.c_str(), starts[i].module.c_str())) << si_test::Narrow(starts[i].module);
        EXPECT_EQ(L"Corvane64.exe", starts[i].FileName());
        EXPECT_EQ(command, starts[i].commandLine) << si_test::Narrow(starts[i].commandLine);
        EXPECT_EQ(0, lstrcmpiW(work.path().c_str(), starts[i].currentDir.c_str()))
            << si_test::Narrow(starts[i].currentDir);
        EXPECT_EQ(shows[i], starts[i].showWindow);
    }

    // The raw line: four tab-separated fields, control characters and % escaped.
    std::string bytes;
    ASSERT_TRUE(si_test::ReadFileBytes(record_, &bytes));
    std::string first = bytes.substr(0, bytes.find('\n'));
    EXPECT_NE(std::string::npos, first.find("%09%25TEMP%25 \xE6\x97\xA5\xE6\x9C\xAC \t")) << first;
    EXPECT_EQ("\t0", first.substr(first.size() - 2));
}

TEST_F(StandinTest, ShellExecuteHiddenStartRecordsShowWindowZero) {
    // The auto-install service is started this way: default verb, one argument, hidden.
    std::wstring service = StandinAs(dir_, L"Vostrel.exe");
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = service.c_str();
    info.lpParameters = L"-i";
    info.nShow = SW_HIDE;
    ASSERT_TRUE(::ShellExecuteExW(&info));
    si::unique_handle process(info.hProcess);
    EXPECT_EQ(0u, WaitExit(process));

    std::vector<StandinStart> starts = Record(record_);
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(L"Vostrel.exe", starts[0].FileName());
    EXPECT_EQ(0, starts[0].showWindow);
    EXPECT_NE(std::wstring::npos, starts[0].commandLine.find(L"-i"));
}

TEST_F(StandinTest, ExitCodeFromEnvironmentWithPerProgramOverride) {
    std::wstring corvane64 = StandinAs(dir_, L"Corvane64.exe");
    std::wstring tessil = StandinAs(dir_, L"Tessil.exe");
    std::wstring uninstall = StandinAs(dir_, L"Uninstall.exe");
    // No setting: 0.
    EXPECT_EQ(0u, WaitExit(Start(L"\"" + corvane64 + L"\" -i ")));
    {
        ScopedEnv common(si_standin::kExitVar, L"3");
        ScopedEnv one(std::wstring(si_standin::kExitVar) + L"_CORVANE64", L"0x10");
        EXPECT_EQ(16u, WaitExit(Start(L"\"" + corvane64 + L"\" -i ")));
        EXPECT_EQ(3u, WaitExit(Start(L"\"" + tessil + L"\" Install x.inf ")));
    }
    {
        // Negative codes pass through as the 32-bit value; text that is not a
        // whole number is ignored in favour of the common setting.
        ScopedEnv common(si_standin::kExitVar, L"-2");
        ScopedEnv bad(std::wstring(si_standin::kExitVar) + L"_UNINSTALL", L"7x");
        EXPECT_EQ(0xFFFFFFFEu, WaitExit(Start(L"\"" + corvane64 + L"\"")));
        EXPECT_EQ(0xFFFFFFFEu, WaitExit(Start(L"\"" + uninstall + L"\"")));
    }
    EXPECT_EQ(5u, Record(record_).size());
}

TEST_F(StandinTest, WaitsAsToldPerProgram) {
    std::wstring slow = StandinAs(dir_, L"Vostrel.exe");
    std::wstring quick = StandinAs(dir_, L"Corvane.exe");
    ScopedEnv wait(std::wstring(si_standin::kSleepVar) + L"_VOSTREL", L"60000");

    EXPECT_EQ(0u, WaitExit(Start(L"\"" + quick + L"\"")));

    si::unique_handle slowProcess = Start(L"\"" + slow + L"\"");
    ASSERT_TRUE(slowProcess);
    // The start is recorded before the wait; then the program is still running.
    std::vector<StandinStart> starts;
    for (int i = 0; i < 1000 && starts.size() < 2; ++i) {
        ::Sleep(10);
        ReadStandinRecord(record_, &starts);
    }
    ASSERT_EQ(2u, starts.size());
    EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(slowProcess.get(), 200));
    ::TerminateProcess(slowProcess.get(), 1);
    ::WaitForSingleObject(slowProcess.get(), 5000);
}

TEST_F(StandinTest, NoRecordFileWithoutTheVariable) {
    ScopedEnv none(si_standin::kRecordVar, L"", true);
    ScopedEnv exitCode(si_standin::kExitVar, L"4");
    std::wstring tool = StandinAs(dir_, L"Tessil64.exe");
    EXPECT_EQ(4u, WaitExit(Start(L"\"" + tool + L"\"")));
    EXPECT_FALSE(si_test::FileExists(record_));
}

TEST_F(StandinTest, ConcurrentStartsGiveWholeLines) {
    std::wstring a = StandinAs(dir_, L"Corvane.exe");
    std::wstring b = StandinAs(dir_, L"Tessilsvc.exe");
    // Long command lines make interleaved writes visible if they happen.
    const std::wstring padding(3000, L'x');
    const int kStarts = 8;
    std::vector<si::unique_handle> processes;
    for (int i = 0; i < kStarts; ++i) {
        std::wstring command = L"\"" + (i % 2 ? b : a) + L"\" " + std::to_wstring(i) + L" " + padding;
        processes.push_back(Start(command));
    }
    for (const si::unique_handle& process : processes) EXPECT_EQ(0u, WaitExit(process));

    std::vector<StandinStart> starts = Record(record_);
    ASSERT_EQ(static_cast<size_t>(kStarts), starts.size());
    std::vector<bool> seen(kStarts, false);
    for (const StandinStart& start : starts) {
        const std::wstring& line = start.commandLine;
        size_t quote = line.find(L"\" ", 1);
        ASSERT_NE(std::wstring::npos, quote);
        int index = _wtoi(line.c_str() + quote + 2);
        ASSERT_GE(index, 0);
        ASSERT_LT(index, kStarts);
        EXPECT_FALSE(seen[index]);
        seen[index] = true;
        EXPECT_EQ(index % 2 ? L"Tessilsvc.exe" : L"Corvane.exe", start.FileName());
        EXPECT_EQ(padding, line.substr(line.size() - padding.size()));
    }
    EXPECT_EQ(static_cast<size_t>(kStarts / 2), si_standin::StartsOf(starts, L"CORVANE.EXE").size());
}

TEST(StandinRecordTest, ReaderRefusesWhatIsNotWholeLines) {
    TempDir dir(L"record");
    std::vector<StandinStart> starts;
    // A missing file: no start.
    EXPECT_TRUE(ReadStandinRecord(dir / L"none.txt", &starts));
    EXPECT_TRUE(starts.empty());

    const std::wstring path = dir / L"r.txt";
    ASSERT_TRUE(si_test::WriteFileBytes(path, "C:\\a.exe\t\"C:\\a.exe\" %09x\tC:\\\t-1\nD:\\b.exe\tb\tD:\\w\t0\n"));
    ASSERT_TRUE(ReadStandinRecord(path, &starts));
    ASSERT_EQ(2u, starts.size());
    EXPECT_EQ(L"\"C:\\a.exe\" \tx", starts[0].commandLine);
    EXPECT_EQ(-1, starts[0].showWindow);
    EXPECT_EQ(L"b.exe", starts[1].FileName());
    EXPECT_EQ(1u, si_standin::StartsOf(starts, L"A.EXE").size());

    const char* broken[] = {
        "C:\\a.exe\tx\tC:\\\t0",       // cut short: no line end
        "C:\\a.exe\tx\tC:\\\n",        // three fields
        "C:\\a.exe\tx\tC:\\\t0\t1\n",  // five fields
        "C:\\a.exe\tx%2\tC:\\\t0\n",   // broken escape
        "C:\\a.exe\tx\tC:\\\tzero\n",  // not a number
        "C:\\a.exe\t\xC3\tC:\\\t0\n",  // not UTF-8
    };
    for (const char* text : broken) {
        ASSERT_TRUE(si_test::WriteFileBytes(path, text));
        EXPECT_FALSE(ReadStandinRecord(path, &starts)) << text;
    }
}

TEST(StandinFilesTest, UninstallerFileVersionIsReadable) {
    const std::wstring path = StagedSetupFiles() + L"\\Uninst\\Uninstall.exe";
    DWORD handle = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_NE(0u, size) << si_test::Narrow(path);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(0, 1)), fixed->dwFileVersionMS);  // 1.0
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(5, 0)), fixed->dwFileVersionLS);  // .0.5
    // The product version differs, so a reader that takes the wrong one is seen.
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(9, 0)), fixed->dwProductVersionLS);

    wchar_t* text = nullptr;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\StringFileInfo\\040904b0\\FileVersion",
                                 reinterpret_cast<void**>(&text), &length));
    EXPECT_STREQ(L"1.0.0.5", text);
}

TEST(StandinFilesTest, StagedProgramsAndLibraries) {
    const std::wstring root = StagedSetupFiles();
    // Every program the sample carries is the stand-in and records itself.
    for (const wchar_t* program : {L"DriverTool\\x86\\Corvane.exe", L"DriverTool\\x64\\Corvane64.exe",
                                   L"AutoInstSvc\\Vostrel.exe", L"Uninst\\Uninstall.exe"}) {
        SCOPED_TRACE(si_test::Narrow(program));
        TempDir dir(L"staged");
        ScopedEnv record(si_standin::kRecordVar, dir / L"record.txt");
        ScopedEnv exitCode(si_standin::kExitVar, L"9");
        const std::wstring path = root + L"\\" + program;
        EXPECT_EQ(9u, WaitExit(Start(L"\"" + path + L"\" -i ")));
        std::vector<StandinStart> starts = Record(dir / L"record.txt");
        ASSERT_EQ(1u, starts.size());
        EXPECT_EQ(0, lstrcmpiW(path.c_str(), starts[0].module.c_str()));
    }

    // difxapi.dll loads, as the real tools load it.
    for (const wchar_t* dll : {L"DriverTool\\x86\\difxapi.dll", L"DriverTool\\x64\\difxapi.dll"}) {
        si::unique_hmodule module(::LoadLibraryW((root + L"\\" + dll).c_str()));
        EXPECT_TRUE(module) << si_test::Narrow(dll) << " " << ::GetLastError();
    }

    // Each UninstallLan.dll names the folder it was built for.
    const wchar_t* languages[] = {
        L"Chinese(Traditional)", L"Dutch(Netherlands)", L"English(United_States)", L"French(France)",
        L"German(Germany)", L"Indonesian(Indonesia)", L"Italian(Standard)", L"Japanese(Japan)",
        L"Korean(Korea)", L"Polish(Poland)", L"Portuguese(Brazil)", L"Russian(Russia)", L"Spanish(Latin)",
        L"Spanish(Spain)", L"Thai(Thailand)", L"Ukrainian(Ukraine)", L"Vietnamese(Vietnam)"};
    for (const wchar_t* language : languages) {
        const std::wstring path = root + L"\\Uninst\\UnLang\\" + language + L"\\UninstallLan.dll";
        si::unique_hmodule module(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(module) << si_test::Narrow(path);
        EXPECT_EQ(language, si::LoadStringResource(module.get(), 1));
    }
}

}  // namespace
