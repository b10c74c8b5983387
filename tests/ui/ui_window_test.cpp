// The real progress window under Wine and Xvfb: CSetupInstallDlg runs modally
// on a thread of this program (its own resource module) with a stand-in
// install worker, and is checked by reading the screen back. Screenshots of
// the states judged here go to <build>/screenshots/ui/.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <ostream>

#include "diag/log.h"
#include "framework/app.h"
#include "resources/resource_ids.h"
#include "tests/support/e2e.h"
#include "tests/support/test_support.h"
#include "tests/ui/ui_test_support.h"
#include "state/globals.h"
#include "state/messages.h"
#include "ui/progress_window.h"

namespace {

using ui_test::CaptureWindow;
using ui_test::DialogHost;
using ui_test::Pixels;
using ui_test::WindowRectOf;

// The shipped layout (window coordinates) and colours.
constexpr int kBarLeft = 28, kBarTop = 255, kBarWidth = 368, kBarHeight = 10;
constexpr int kBarMiddle = kBarTop + kBarHeight / 2;
const RECT kStatusBox = {28, 228, 328, 248};
const RECT kPercentBox = {350, 228, 396, 248};
const uint32_t kText = ui_test::OnScreen(0xFE4C4C4Cu);
const uint32_t kTrack = ui_test::OnScreen(0xFED9D9D9u);
const uint32_t kFill = ui_test::OnScreen(0xFEDE4944u);
const uint32_t kBand = ui_test::OnScreen(0xFFF7F9FBu);

void Save(const Pixels& pixels, const wchar_t* name) {
    const std::wstring path = ui_test::ScreenshotDir() + L"\\" + name + L".png";
    EXPECT_TRUE(pixels.SavePng(path)) << si_test::Narrow(path);
}

// Waits until the window shows the bar filled up to `percent`.
bool WaitForBar(HWND window, int percent) {
    const int fillEnd = kBarLeft + kBarWidth * percent / 100;
    return ui_test::WaitUntil(
        [&] {
            const Pixels p = CaptureWindow(window);
            const bool filled = percent < 3 || ui_test::Near(p.At(fillEnd - 6, kBarMiddle), kFill, 12);
            const bool track = percent > 97 || ui_test::Near(p.At(fillEnd + 6, kBarMiddle), kTrack, 12);
            return filled && track;
        },
        3000);
}

// Text pixels: close to the text colour, which nothing else near the texts has.
int TextPixels(const Pixels& p, const RECT& box) { return p.CountNear(box, kText, 40); }

// The test thread plays the worker: the stand-in worker of the dialog only
// waits until it is released.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        host_ = std::make_unique<DialogHost>([this]() -> DWORD {
            workerStarted_ = true;
            ::WaitForSingleObject(release_, INFINITE);
            return 7;
        });
        window_ = host_->WaitForWindow();
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(ui_test::WaitUntil([&] { return workerStarted_.load(); }, 3000));
        // The first paint after the window shows.
        ::Sleep(200);
    }
    void TearDown() override {
        ::SetEvent(release_);
        host_.reset();
        ::CloseHandle(release_);
    }
    HANDLE release_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> workerStarted_{false};
    std::unique_ptr<DialogHost> host_;
    HWND window_ = nullptr;
};

TEST_F(WindowTest, SkinnedBorderlessWindowWithSeeThroughCorners) {
    const RECT r = WindowRectOf(window_);
    EXPECT_EQ(r.right - r.left, 424);
    EXPECT_EQ(r.bottom - r.top, 300);
    EXPECT_TRUE(::GetWindowLongW(window_, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_FALSE(::GetWindowLongW(window_, GWL_STYLE) & (WS_CAPTION | WS_BORDER | WS_THICKFRAME));
    wchar_t title[128] = {};
    ::GetWindowTextW(window_, title, 128);
    EXPECT_STREQ(title, L"Install KALVERON Wireless USB Adapter");
    EXPECT_EQ(host_->UnpackCalls(), 1);
    EXPECT_NE(gInstallThread, nullptr);

    const Pixels p = CaptureWindow(window_);
    Save(p, L"window_start");
    // The corners show what lies behind the window.
    for (POINT corner : {POINT{0, 0}, POINT{423, 0}, POINT{0, 299}, POINT{423, 299}})
        EXPECT_EQ(p.At(corner.x, corner.y), DialogHost::kBackdrop) << corner.x << "," << corner.y;
    // The skin: dark artwork above, the light band below.
    EXPECT_TRUE(ui_test::Near(p.At(212, 150), ui_test::OnScreen(0xFF114677u), 16)) << std::hex << p.At(212, 150);
    EXPECT_TRUE(ui_test::Near(p.At(212, 215), kBand, 6)) << std::hex << p.At(212, 215);
    // Until the worker's first report the window shows the first layered
    // update: the image alone, no texts and no bar.
    EXPECT_EQ(TextPixels(p, kStatusBox), 0);
    EXPECT_EQ(TextPixels(p, kPercentBox), 0);
    EXPECT_TRUE(ui_test::Near(p.At(kBarLeft + 20, kBarMiddle), kBand, 12)) << std::hex << p.At(48, kBarMiddle);

    // The first report paints "Initializing…", "0%" and the track alone, in the text and bar colours.
    UpdateProgress(L"Extracting files\u2026", 0, false);
    ASSERT_TRUE(ui_test::WaitUntil([&] { return TextPixels(CaptureWindow(window_), kStatusBox) > 20; }, 3000));
    const Pixels first = CaptureWindow(window_);
    Save(first, L"window_initializing");
    EXPECT_GT(TextPixels(first, kPercentBox), 5);
    EXPECT_TRUE(ui_test::Near(first.At(kBarLeft + 20, kBarMiddle), kTrack, 12)) << std::hex << first.At(48, kBarMiddle);
    EXPECT_TRUE(ui_test::Near(first.At(kBarLeft + kBarWidth - 20, kBarMiddle), kTrack, 12));
    EXPECT_EQ(first.CountNear(RECT{kBarLeft, kBarTop, kBarLeft + kBarWidth, kBarTop + kBarHeight}, kFill, 30), 0);
    for (POINT corner : {POINT{0, 0}, POINT{423, 0}, POINT{0, 299}, POINT{423, 299}})
        EXPECT_EQ(first.At(corner.x, corner.y), DialogHost::kBackdrop) << corner.x << "," << corner.y;
}

TEST_F(WindowTest, BarTrackAndFillAtZeroFiftyAndHundredPercent) {
    const RECT bar = {kBarLeft - 2, kBarTop - 2, kBarLeft + kBarWidth + 2, kBarTop + kBarHeight + 2};

    UpdateProgress(L"Extracting files\u2026", 50, false);
    ASSERT_TRUE(WaitForBar(window_, 50));
    const Pixels half = CaptureWindow(window_);
    Save(half, L"progress_50");
    EXPECT_TRUE(ui_test::Near(half.At(kBarLeft + 10, kBarMiddle), kFill, 12));
    EXPECT_TRUE(ui_test::Near(half.At(kBarLeft + 178, kBarMiddle), kFill, 12));
    EXPECT_TRUE(ui_test::Near(half.At(kBarLeft + 190, kBarMiddle), kTrack, 12));
    EXPECT_TRUE(ui_test::Near(half.At(kBarLeft + 360, kBarMiddle), kTrack, 12));
    // Nothing of the bar outside its rectangle; the rounded ends leave the corners light.
    EXPECT_TRUE(ui_test::Near(half.At(kBarLeft - 3, kBarMiddle), kBand, 12));
    EXPECT_TRUE(ui_test::Near(half.At(kBarLeft + 100, kBarTop - 3), kBand, 12));
    EXPECT_TRUE(ui_test::Near(half.At(kBarLeft + 100, kBarTop + kBarHeight + 2), kBand, 12));
    EXPECT_FALSE(ui_test::Near(half.At(kBarLeft, kBarTop), kFill, 30));
    const int halfFill = half.CountNear(bar, kFill, 30);

    UpdateProgress(L"Driver installation completed.", 100, false);
    ASSERT_TRUE(WaitForBar(window_, 100));
    const Pixels full = CaptureWindow(window_);
    Save(full, L"progress_100_running");
    EXPECT_TRUE(ui_test::Near(full.At(kBarLeft + kBarWidth - 8, kBarMiddle), kFill, 12));
    EXPECT_EQ(full.CountNear(RECT{kBarLeft + 6, kBarTop + 2, kBarLeft + kBarWidth - 6, kBarTop + 8}, kTrack, 12), 0);
    EXPECT_GT(full.CountNear(bar, kFill, 30), halfFill * 19 / 10);
    // The percentage changed, the status line (still "Initializing…") did not.
    EXPECT_GT(full.CountDifferent(half, kPercentBox, 40), 10);
    EXPECT_EQ(full.CountDifferent(half, kStatusBox, 40), 0);

    UpdateProgress(L"x", 0, false);
    ASSERT_TRUE(WaitForBar(window_, 0));
    const Pixels empty = CaptureWindow(window_);
    Save(empty, L"progress_0");
    EXPECT_EQ(empty.CountNear(bar, kFill, 30), 0);
    EXPECT_TRUE(ui_test::Near(empty.At(kBarLeft + 10, kBarMiddle), kTrack, 12));

    // -1 and 101 leave the bar where it is.
    UpdateProgress(L"x", 50, false);
    ASSERT_TRUE(WaitForBar(window_, 50));
    UpdateProgress(L"x", -1, false);
    UpdateProgress(L"x", 101, false);
    ::Sleep(300);
    EXPECT_EQ(CaptureWindow(window_).CountDifferent(half, bar, 12), 0);
}

TEST_F(WindowTest, FinishedUpdateShowsInitializationCompleted) {
    UpdateProgress(L"x", 98, false);
    ASSERT_TRUE(WaitForBar(window_, 98));
    const Pixels running = CaptureWindow(window_);
    // "Initializing…" ends well before x = 160; "Initialization completed." runs on.
    const RECT tail = {kStatusBox.left + 132, kStatusBox.top, kStatusBox.right, kStatusBox.bottom};
    EXPECT_EQ(TextPixels(running, tail), 0);

    UpdateProgress(L"Installation completed.", 100, true);
    ASSERT_TRUE(ui_test::WaitUntil([&] { return TextPixels(CaptureWindow(window_), tail) > 20; }, 3000));
    const Pixels done = CaptureWindow(window_);
    Save(done, L"progress_100_completed");
    EXPECT_TRUE(ui_test::Near(done.At(kBarLeft + kBarWidth - 8, kBarMiddle), kFill, 12));
    // The longer line stays within its own box: the percentage area shows "100%" as before.
    EXPECT_EQ(done.CountDifferent(running, RECT{kPercentBox.left - 20, kPercentBox.top, kPercentBox.left,
                                                kPercentBox.bottom}, 40), 0);
}

TEST_F(WindowTest, DragWithTheLeftButtonMovesTheWindowWithCtrlItDoesNot) {
    const RECT before = WindowRectOf(window_);
    ASSERT_TRUE(::SetForegroundWindow(window_) || true);

    // Ctrl held: no drag. Ctrl is held the way a keyboard holds it, repeating;
    // under Wine the pointer motion otherwise brings the X server's own view of
    // the modifiers back, which never saw this synthetic Ctrl.
    ui_test::MoveMouseTo(before.left + 200, before.top + 100);
    ui_test::Key(VK_CONTROL, true);
    ui_test::MouseButton(true);
    for (int step = 1; step <= 6; ++step) {
        ui_test::Key(VK_CONTROL, true);
        ui_test::MoveMouseTo(before.left + 200 + 10 * step, before.top + 100 + 7 * step);
    }
    ui_test::MouseButton(false);
    ui_test::Key(VK_CONTROL, false);
    ::Sleep(200);
    const RECT still = WindowRectOf(window_);
    EXPECT_EQ(still.left, before.left);
    EXPECT_EQ(still.top, before.top);

    // The left button alone: the window follows the mouse from the first
    // movement with the button held (the press itself starts nothing).
    ui_test::MoveMouseTo(before.left + 200, before.top + 100);
    ui_test::MouseButton(true);
    for (int step = 1; step <= 6; ++step) ui_test::MoveMouseTo(before.left + 200 + 10 * step, before.top + 100 + 7 * step);
    ui_test::MouseButton(false);
    ASSERT_TRUE(ui_test::WaitUntil([&] { return WindowRectOf(window_).left != before.left; }, 2000));
    const RECT moved = WindowRectOf(window_);
    EXPECT_NEAR(moved.left - before.left, 50, 3);
    EXPECT_NEAR(moved.top - before.top, 35, 3);
    EXPECT_EQ(moved.right - moved.left, 424);

    // A repaint leaves it where it was dragged, skin and all.
    UpdateProgress(L"x", 50, false);
    ASSERT_TRUE(WaitForBar(window_, 50));
    const RECT after = WindowRectOf(window_);
    EXPECT_EQ(after.left, moved.left);
    EXPECT_EQ(after.top, moved.top);
    const Pixels p = CaptureWindow(window_);
    Save(p, L"dragged");
    EXPECT_TRUE(ui_test::Near(p.At(212, 215), kBand, 6));
}

TEST_F(WindowTest, AboutBoxFromTheSystemMenuCommand) {
    // The About entry goes to the end of the system menu when the window has
    // one (Wine gives none to a window without WS_SYSMENU, like this one).
    if (HMENU menu = ::GetSystemMenu(window_, FALSE)) {
        const int count = ::GetMenuItemCount(menu);
        ASSERT_GE(count, 2);
        EXPECT_EQ(::GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
        wchar_t text[64] = {};
        ::GetMenuStringW(menu, count - 1, text, 64, MF_BYPOSITION);
        EXPECT_STREQ(text, L"About SetupInstall(&A)...");
    }

    ::PostMessageW(window_, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    HWND about = nullptr;
    ASSERT_TRUE(ui_test::WaitUntil([&] { return (about = ::FindWindowW(nullptr, L"About SetupInstall")) != nullptr; },
                                   3000));
    ASSERT_TRUE(ui_test::WaitUntil([&] { return ::IsWindowVisible(about) != FALSE; }, 3000));
    ::Sleep(200);
    Pixels box;
    EXPECT_TRUE(box.CaptureScreen(WindowRectOf(about)));
    Save(box, L"about_box");
    // The worker goes on meanwhile and the window still paints.
    UpdateProgress(L"x", 40, false);
    EXPECT_TRUE(WaitForBar(window_, 40));
    // "YES" ends the About box; the progress window stays.
    ::PostMessageW(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(ui_test::WaitUntil([&] { return !::IsWindow(about); }, 3000));
    EXPECT_FALSE(host_->Ended());
    EXPECT_TRUE(::IsWindowVisible(window_));
}

TEST_F(WindowTest, SetupErrorClosesTheWindowAtOnce) {
    const DWORD sent = ::GetTickCount();
    EXPECT_EQ(SendToProgressWindow(WM_SETUP_ERROR), 0);
    ASSERT_TRUE(host_->WaitForEnd(2000));
    EXPECT_LT(host_->EndTick() - sent, 500u);
    EXPECT_EQ(host_->Result(), IDCANCEL);
}

// Without a worker thread the sequence's failure path ends the window.
TEST(SetupError, WithoutAWorkerThreadTheErrorBoxComesAndTheWindowCloses) {
    DialogHost host([]() -> DWORD { return 0; }, false);
    HWND box = nullptr;
    const std::wstring text = si_test::FindMessageBoxText(::GetCurrentProcessId(), 10000, &box);
    ASSERT_NE(nullptr, box);
    EXPECT_FALSE(text.empty());
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(host.WaitForEnd(5000));
    EXPECT_EQ(host.Result(), IDCANCEL);
}

// The end of a successful run: the worker reports "completed", sends
// WM_SETUP_END and returns by itself once the send comes back.
TEST(SetupEnd, WindowClosesAboutOneSecondAfterSetupEndAndTheWorkerReturnsByItself) {
    si_test::LogCapture log;  // the log on; the dialog points it at its own file
    std::atomic<DWORD> sentAt{0}, sendReturnedAt{0};
    std::atomic<bool> go{false};
    DialogHost host([&]() -> DWORD {
        while (!go) ::Sleep(10);
        UpdateProgress(L"Installation completed.", 100, true);
        ::Sleep(300);
        sentAt = ::GetTickCount();
        SendToProgressWindow(WM_SETUP_END);
        sendReturnedAt = ::GetTickCount();
        return 42;
    });
    ASSERT_NE(host.WaitForWindow(), nullptr);
    HANDLE worker = gInstallThread;
    ASSERT_NE(worker, nullptr);
    const std::wstring logPath = gLogPath;
    std::string before;
    si_test::ReadFileBytes(logPath, &before);
    go = true;
    ASSERT_TRUE(host.WaitForEnd(10000));
    EXPECT_EQ(host.Result(), IDCANCEL);
    const DWORD closedAfter = host.EndTick() - sentAt;
    EXPECT_GE(closedAfter, 950u);
    EXPECT_LE(closedAfter, 1600u);
    std::printf("window closed %lu ms after WM_SETUP_END\n", static_cast<unsigned long>(closedAfter));

    // The worker was not terminated: it ran past its send and returned its own code.
    ASSERT_EQ(::WaitForSingleObject(worker, 5000), WAIT_OBJECT_0);
    DWORD code = 0;
    ::GetExitCodeThread(worker, &code);
    EXPECT_EQ(code, 42u);
    EXPECT_GE(sendReturnedAt - sentAt, 950u);

    std::string text;
    si_test::ReadFileBytes(logPath, &text);
    text.erase(0, before.size());
    const size_t start = text.find("{EventSetupEnd}EventSetupEnd start \r\n");
    const size_t end = text.find("{EventSetupEnd}EventSetupEnd end  \r\n");
    EXPECT_NE(start, std::string::npos) << text;
    EXPECT_NE(end, std::string::npos) << text;
    EXPECT_LT(start, end);
}

// The user ends the run early, in the middle of the installation.
struct EarlyEnd {
    const char* name;
    void (*press)();
    INT_PTR result;
};

void PrintTo(const EarlyEnd& end, std::ostream* os) { *os << end.name; }

class UserEndsEarly : public ::testing::TestWithParam<EarlyEnd> {};

TEST_P(UserEndsEarly, TheRunEndsAtOnceAndTheBusyWorkerNeverReachesTheDialog) {
    ui_test::BusyWorker worker;
    {
        DialogHost host(worker.Body());
        HWND window = host.WaitForWindow();
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(ui_test::WaitUntil([&] { return worker.Reports() > 10; }, 3000));
        ::SetForegroundWindow(window);
        ASSERT_TRUE(ui_test::WaitUntil([&] { return ::GetForegroundWindow() == window; }, 2000));

        const DWORD pressed = ::GetTickCount();
        GetParam().press();
        ASSERT_TRUE(host.WaitForEnd(3000));
        EXPECT_LT(host.EndTick() - pressed, 1000u);
        EXPECT_EQ(host.Result(), GetParam().result);
        EXPECT_TRUE(worker.Running());  // nothing stopped or waited for the worker
    }
    // The dialog object is gone; the worker keeps reporting, then sends its end.
    const int reports = worker.Reports();
    ASSERT_TRUE(ui_test::WaitUntil([&] { return worker.Reports() > reports + 10; }, 3000));
    EXPECT_EQ(gMainDlg, nullptr);
    worker.Stop();
    ASSERT_TRUE(ui_test::WaitUntil([&] { return worker.Finished(); }, 3000));
    EXPECT_EQ(worker.LastSendResult(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, UserEndsEarly,
    ::testing::Values(EarlyEnd{"Escape", [] { ui_test::Tap(VK_ESCAPE); }, IDCANCEL},
                      EarlyEnd{"Enter", [] { ui_test::Tap(VK_RETURN); }, IDOK},
                      EarlyEnd{"AltF4",
                               [] {
                                   ui_test::Key(VK_MENU, true);
                                   ui_test::Tap(VK_F4);
                                   ui_test::Key(VK_MENU, false);
                               },
                               IDCANCEL}),
    [](const ::testing::TestParamInfo<EarlyEnd>& info) { return std::string(info.param.name); });

}  // namespace

