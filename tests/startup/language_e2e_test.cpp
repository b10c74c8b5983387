// The system language decides the language library, and so every text the
// window shows: its title is string 114 of the chosen library.
#include <gtest/gtest.h>

#include <string>

#include "framework/win.h"
#include "tests/support/e2e.h"
#include "tests/support/test_support.h"

namespace {

std::wstring TitleOf(const wchar_t* folder) {
    const std::wstring path = si_test::BuildDir() + L"\\Lang\\" + folder + L"\\SetupInstallLan.dll";
    si::unique_hmodule library(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    return library ? si::LoadStringResource(library.get(), 114) : std::wstring();
}

std::wstring WindowTitleFor(const wchar_t* languageId) {
    si_test::InstallerRun run;
    run.languageId = languageId;
    std::wstring title;
    run.during = [&](HANDLE process) {
        if (HWND window = si_test::FindInstallerWindow(::GetProcessId(process), 60000)) {
            wchar_t text[256] = {};
            ::GetWindowTextW(window, text, 256);
            title = text;
        }
        ::TerminateProcess(process, 0);  // only the window's language matters here
    };
    si_test::RunInstaller(run);
    si_test::RemoveTree(si_test::AppDataDir() + L"\\KalveronTemp");
    return title;
}

TEST(Language, SystemLanguageChoosesTheWindowsLanguage) {
    struct Row {
        const wchar_t* id;
        const wchar_t* folder;
    } rows[] = {
        {L"0407", L"German(Germany)"},
        {L"0411", L"Japanese(Japan)"},
        {L"041E", L"Thai(Thailand)"},
        {L"0816", L"English(United_States)"},  // Portuguese (Portugal): not in the table
        {L"0409", L"English(United_States)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(si_test::Narrow(row.id));
        const std::wstring expected = TitleOf(row.folder);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(WindowTitleFor(row.id), expected);
    }
    EXPECT_NE(TitleOf(L"German(Germany)"), TitleOf(L"English(United_States)"));
    si_test::SetSystemLanguage(L"0409");
}

}  // namespace
