// The progress window of the real SetupInstall.exe, end to end under Wine:
// a whole run read back from the screen, and a run the user ends with Escape
// in the middle of the installation.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/e2e.h"
#include "tests/support/test_support.h"
#include "tests/ui/ui_test_support.h"

namespace {

using ui_test::Pixels;

constexpr int kBarLeft = 28, kBarWidth = 368, kBarMiddle = 260;
const RECT kStatusTail = {160, 228, 328, 248};  // "Initializing…" ends before it
const uint32_t kText = ui_test::OnScreen(0xFE4C4C4Cu);
const uint32_t kFill = ui_test::OnScreen(0xFEDE4944u);

Pixels CaptureWindow(HWND window) {
    RECT r = {};
    ::GetWindowRect(window, &r);
    Pixels p;
    p.CaptureScreen(r);
    return p;
}

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

TEST(InstallerWindow, EscapeInTheMiddleEndsTheRunAtOnce) {
    si_test::InstallerRun run;
    DWORD pressedAt = 0, goneAt = 0;
    bool focused = false;
    run.during = [&](HANDLE process) {
        HWND window = si_test::FindInstallerWindow(::GetProcessId(process), 30000);
        if (!window) return;
        // Somewhere in the installation: past 10 %.
        if (!ui_test::WaitUntil([&] { return FilledWidth(CaptureWindow(window)) > kBarWidth / 10; }, 30000)) return;
        ::SetForegroundWindow(window);
        focused = ui_test::WaitUntil([&] { return ::GetForegroundWindow() == window; }, 2000);
        pressedAt = ::GetTickCount();
        ui_test::Tap(VK_ESCAPE);
        ui_test::WaitUntil([&] { return Gone(window); }, 5000);
        goneAt = ::GetTickCount();
        ::WaitForSingleObject(process, 10000);
    };
    const DWORD start = ::GetTickCount();
    const si_test::InstallerResult result = si_test::RunInstaller(run);
    ASSERT_TRUE(focused);
    ASSERT_NE(pressedAt, 0u) << result.log;
    EXPECT_LT(goneAt - pressedAt, 1000u);
    ASSERT_TRUE(result.finished) << result.log;
    std::printf("process ended %lu ms after Escape, exit code %lu\n",
                static_cast<unsigned long>(::GetTickCount() - pressedAt), static_cast<unsigned long>(result.exitCode));
    // Ended by the user, not by the sequence: no end message was handled, and
    // nothing crashed on the way out (the worker was still installing).
    EXPECT_EQ(result.log.find("{EventSetupEnd}"), std::string::npos) << result.log;
    EXPECT_NE(result.log.find("{ThreadSetupInstall}ThreadSetupInstall start"), std::string::npos) << result.log;
    EXPECT_LT(result.exitCode, 0x100u);  // a message's word parameter, not an exception code
    EXPECT_LT(::GetTickCount() - start, 60000u);
}

}  // namespace
