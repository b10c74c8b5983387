// The progress window of the real SetupInstall.exe, end to end under Wine:
// a whole run read back from the screen, and a run the user ends with Escape
// in the middle of the installation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <vector>

#include "tests/support/e2e.h"
#include "tests/support/test_support.h"
#include "tests/ui/ui_test_support.h"

namespace {

using ui_test::CaptureWindow;
using ui_test::Pixels;

constexpr int kBarLeft = 28, kBarWidth = 368, kBarMiddle = 260;
const RECT kStatusTail = {160, 228, 328, 248};  // "Initializing…" ends before it
const RECT kStatus = {28, 228, 328, 248};
const double kBoxEdgeShare = 0.35;
const uint32_t kText = ui_test::OnScreen(0xFE4C4C4Cu);
const uint32_t kFill = ui_test::OnScreen(0xFEDE4944u);

bool Gone(HWND window) { return !::IsWindow(window) || !::IsWindowVisible(window); }

// How far the bar is filled, in pixels from its left end (0 when unknown).
int FilledWidth(const Pixels& p) {
    int width = 0;
    for (int x = kBarLeft; x < kBarLeft + kBarWidth; ++x)
        if (ui_test::Near(p.At(x, kBarMiddle), kFill, 16)) width = x - kBarLeft + 1;
    return width;
}

void Save(const Pixels& p, const wchar_t* name) { p.SavePng(ui_test::ScreenshotDir() + L"\\" + name + L".png"); }

TEST(InstallerWindow, WholeRunEndsThreeSecondsAfterCompletion) {
    si_test::InstallerRun run;
    HWND window = nullptr;
    RECT placed = {};
    LONG exStyle = 0;
    int widest = 0;
    DWORD completedAt = 0, goneAt = 0;
    run.during = [&](HANDLE process) {
        window = si_test::FindInstallerWindow(::GetProcessId(process), 30000);
        if (!window) return;
        ::GetWindowRect(window, &placed);
        exStyle = ::GetWindowLongW(window, GWL_EXSTYLE);
        bool savedHalf = false;
        while (!Gone(window)) {
            const Pixels p = CaptureWindow(window);
            const int filled = FilledWidth(p);
            if (filled > widest) widest = filled;
            if (!savedHalf && filled > kBarWidth / 2) {
                Save(p, L"e2e_running");
                si_test::SaveScreenshot(ui_test::ScreenshotDir() + L"\\e2e_centred_screen.png");
                savedHalf = true;
            }
            if (!completedAt && ui_test::Near(p.At(kBarLeft + kBarWidth - 6, kBarMiddle), kFill, 16) &&
                p.CountNear(kStatusTail, kText, 40) > 20) {
                completedAt = ::GetTickCount();
                Save(p, L"e2e_completed");
            }
            ::Sleep(50);
        }
        goneAt = ::GetTickCount();
    };
    const si_test::InstallerResult result = si_test::RunInstaller(run);
    ASSERT_TRUE(result.finished) << result.log;
    ASSERT_NE(window, nullptr) << result.log;
    EXPECT_EQ(placed.right - placed.left, 424);
    EXPECT_EQ(placed.bottom - placed.top, 300);
    // Centred by the dialog layer: the window's box is in the middle of the
    // virtual screen (one monitor, no taskbar: the work area is the screen).
    EXPECT_NEAR(placed.left + placed.right, ::GetSystemMetrics(SM_CXVIRTUALSCREEN), 1);
    EXPECT_NEAR(placed.top + placed.bottom, ::GetSystemMetrics(SM_CYVIRTUALSCREEN), 1);
    EXPECT_TRUE(exStyle & WS_EX_LAYERED);
    EXPECT_GE(widest, kBarWidth - 8);
    ASSERT_NE(completedAt, 0u) << "\"Initialization completed.\" with a full bar never showed";
    // The worker lingers 2 s after its last report, the window 1 s after WM_SETUP_END.
    const DWORD lingered = goneAt - completedAt;
    std::printf("window closed %lu ms after the completed state showed\n", static_cast<unsigned long>(lingered));
    EXPECT_GE(lingered, 2700u);
    EXPECT_LE(lingered, 4500u);
    EXPECT_NE(result.log.find("{EventSetupEnd}EventSetupEnd start \r\n"), std::string::npos) << result.log;
    EXPECT_NE(result.log.find("{EventSetupEnd}EventSetupEnd end  \r\n"), std::string::npos) << result.log;
    // The exit code is the word parameter of the last message the modal loop
    // retrieved: the Cancel command that the close request queued.
    EXPECT_EQ(result.exitCode, static_cast<DWORD>(IDCANCEL));
}

// Escape in the middle of a step: the window goes at once, the worker is not
// waited for, and the exit's removal still takes the unpack folder away.
struct EscapeMoment {
    const char* name;
    bool driver;  // in the driver step (a tool that runs 8 s), else in the extraction
};
void PrintTo(const EscapeMoment& moment, std::ostream* out) { *out << moment.name; }
class EscapeInTheMiddle : public testing::TestWithParam<EscapeMoment> {};

TEST_P(EscapeInTheMiddle, EndsTheRunAtOnceAndLeavesNoUnpackFolder) {
    si_test::InstallerRun run;
    if (GetParam().driver) run.env.emplace_back(L"SETUPINSTALL_STANDIN_SLEEP_MS_CORVANE64", L"8000");
    const std::wstring tool = si_test::ProgramFiles() + L"\\KALVERON\\AX7R_1.0\\DriverFiles\\Corvane64.exe";
    ::DeleteFileW(tool.c_str());
    DWORD pressedAt = 0, goneAt = 0, endedAt = 0;
    bool focused = false;
    run.during = [&](HANDLE process) {
        HWND window = si_test::FindInstallerWindow(::GetProcessId(process), 30000);
        if (!window) return;
        const std::wstring unpacked = si_test::AppDataDir() + L"\\KalveronTemp\\SetupFiles";
        const std::wstring& mark = GetParam().driver ? tool : unpacked;
        if (!ui_test::WaitUntil([&] { return si_test::FileExists(mark) || si_test::DirExists(mark); }, 60000)) return;
        if (GetParam().driver) ::Sleep(1000);  // the tool has started and runs on
        ::SetForegroundWindow(window);
        focused = ui_test::WaitUntil([&] { return ::GetForegroundWindow() == window; }, 2000);
        pressedAt = ::GetTickCount();
        ui_test::Tap(VK_ESCAPE);
        ui_test::WaitUntil([&] { return Gone(window); }, 5000);
        goneAt = ::GetTickCount();
        ::WaitForSingleObject(process, 10000);
        endedAt = ::GetTickCount();
    };
    const si_test::InstallerResult result = si_test::RunInstaller(run);
    ASSERT_TRUE(focused);
    ASSERT_NE(pressedAt, 0u) << result.log;
    EXPECT_LT(goneAt - pressedAt, 1000u);
    ASSERT_TRUE(result.finished) << result.log;
    std::string left;
    for (const std::wstring& entry : si_test::ListTree(result.unpackDir)) left += " " + si_test::Narrow(entry);
    const bool removed = si_test::WaitUntilGone(result.unpackDir, 10000);
    std::printf("%s: process ended %lu ms after Escape (exit code %lu); left in the unpack folder then:%s; %s "
                "%lu ms after the end; configuration %s (the extraction had ended), driver tool %s\n",
                GetParam().name, static_cast<unsigned long>(endedAt - pressedAt),
                static_cast<unsigned long>(result.exitCode), left.c_str(), removed ? "gone" : "STILL THERE",
                static_cast<unsigned long>(::GetTickCount() - endedAt),
                result.log.find("ReadConfigFromIni>>gTargetDir") != std::string::npos ? "read" : "not read",
                si_test::FileExists(tool) ? "copied" : "not copied");
    EXPECT_TRUE(si_test::RemovedAtExit(result.unpackDir, result.processId));
    // Ended by the user, not by the sequence: no end message was handled, and
    // nothing crashed on the way out (the worker was still installing).
    EXPECT_EQ(result.log.find("{EventSetupEnd}"), std::string::npos) << result.log;
    EXPECT_NE(result.log.find("{ThreadSetupInstall}ThreadSetupInstall start"), std::string::npos) << result.log;
    EXPECT_LT(result.exitCode, 0x100u);  // a message's word parameter, not an exception code
}
INSTANTIATE_TEST_SUITE_P(InstallerWindow, EscapeInTheMiddle,
                         testing::Values(EscapeMoment{"extraction", false}, EscapeMoment{"driver", true}),
                         [](const testing::TestParamInfo<EscapeMoment>& info) { return std::string(info.param.name); });

// Every language's window at about half way, in our own screenshots. Under
// Wine "Consolas" does not exist and GDI+ has no glyph fallback, so each run
// maps the family to a Debian font that covers the language. The test takes
// the CJK and Thai libraries; scripts/gallery.sh sets SETUPINSTALL_GALLERY and
// takes all 17 for its contact sheet.
struct ScreenLanguage {
    const wchar_t* id;  // the system language value
    const char* folder;
    const wchar_t* font;
    bool checked;  // a script that falls back to boxes without its font
};
const ScreenLanguage kScreenLanguages[] = {
    {L"0404", "Chinese(Traditional)", L"Noto Sans CJK TC", true},
    {L"0413", "Dutch(Netherlands)", L"DejaVu Sans", false},
    {L"0409", "English(United_States)", L"DejaVu Sans", false}, {L"040C", "French(France)", L"DejaVu Sans", false},
    {L"0407", "German(Germany)", L"DejaVu Sans", false},      {L"0421", "Indonesian(Indonesia)", L"DejaVu Sans", false},
    {L"0410", "Italian(Standard)", L"DejaVu Sans", false},     {L"0411", "Japanese(Japan)", L"Noto Sans CJK JP", true},
    {L"0412", "Korean(Korea)", L"Noto Sans CJK KR", true},     {L"0415", "Polish(Poland)", L"DejaVu Sans", false},
    {L"0416", "Portuguese(Brazil)", L"DejaVu Sans", false},    {L"0419", "Russian(Russia)", L"DejaVu Sans", false},
    {L"080A", "Spanish(Latin)", L"DejaVu Sans", false},        {L"0C0A", "Spanish(Spain)", L"DejaVu Sans", false},
    {L"041E", "Thai(Thailand)", L"Loma", true},                {L"0422", "Ukrainian(Ukraine)", L"DejaVu Sans", false},
    {L"042A", "Vietnamese(Vietnam)", L"DejaVu Sans", false}};

void PrintTo(const ScreenLanguage& language, std::ostream* out) { *out << language.folder; }

std::vector<ScreenLanguage> ScreenshotLanguages() {
    std::vector<ScreenLanguage> chosen;
    for (const ScreenLanguage& l : kScreenLanguages)
        if (l.checked || std::getenv("SETUPINSTALL_GALLERY")) chosen.push_back(l);
    return chosen;
}

class LanguageWindow : public testing::TestWithParam<ScreenLanguage> {};

TEST_P(LanguageWindow, StatusLineShowsGlyphsNotEmptyBoxes) {
    const ScreenLanguage& language = GetParam();
    si_test::InstallerRun run;
    run.languageId = language.id;
    run.screenshotFont = language.font;
    // A driver tool that runs a few seconds: the window passes 50 % on the way.
    run.env.emplace_back(L"SETUPINSTALL_STANDIN_SLEEP_MS_CORVANE64", L"4000");
    Pixels half;
    bool captured = false;
    run.during = [&](HANDLE process) {
        HWND window = si_test::FindInstallerWindow(::GetProcessId(process), 30000);
        if (!window) return;
        const auto halfWay = [&] { half = CaptureWindow(window); return FilledWidth(half) >= kBarWidth / 2 - 2; };
        captured = ui_test::WaitUntil(halfWay, 60000);
        ::TerminateProcess(process, 1);  // the rest of the run shows nothing new
    };
    const si_test::InstallerResult result = si_test::RunInstaller(run);
    si_test::SetScreenshotFont(L"");
    ASSERT_TRUE(captured) << result.log;
    const std::string folder = language.folder;
    Save(half, (L"language_" + std::wstring(folder.begin(), folder.end())).c_str());
    // Ink per row of the status line. A row of empty boxes puts most of its
    // ink into two rows, the boxes' top and bottom edges; glyphs spread it.
    std::vector<int> rows;
    int ink = 0;
    for (LONG y = kStatus.top; y < kStatus.bottom; ++y) {
        rows.push_back(half.CountNear(RECT{kStatus.left, y, kStatus.right, y + 1}, kText, 60));
        ink += rows.back();
    }
    std::sort(rows.rbegin(), rows.rend());
    const double edgeShare = ink ? double(rows[0] + rows[1]) / ink : 1.0;
    std::printf("%s: %d ink pixels, %.2f of them in the two fullest rows\n", language.folder, ink, edgeShare);
    EXPECT_GT(ink, 150);
    if (language.checked) {
        EXPECT_LT(edgeShare, kBoxEdgeShare);
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, LanguageWindow, testing::ValuesIn(ScreenshotLanguages()),
                         [](const testing::TestParamInfo<ScreenLanguage>& info) {
                             std::string name;
                             for (const char* c = info.param.folder; *c; ++c)
                                 if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                             return name;
                         });

}  // namespace
