// Helpers for the progress-window tests: GDI+ and the resource module for
// the whole program, screen read-back and PNG screenshots, mouse and keyboard
// input, and a host that runs the real dialog on a thread of its own with a
// stand-in install worker.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace ui_test {

// 0x00RRGGBB of a screen pixel; helpers to compare colours.
uint32_t Rgb(int r, int g, int b);
bool Near(uint32_t a, uint32_t b, int tolerance);
// An ARGB colour as it shows on screen: drawn with a constant alpha of 254
// over black (there is no compositor on the test display).
uint32_t OnScreen(uint32_t argb);

// Pixels read back from an area of the screen.
class Pixels {
public:
    bool CaptureScreen(const RECT& area);
    // 0x00RRGGBB, relative to the captured area; 0xFFFFFFFF outside.
    uint32_t At(int x, int y) const;
    // How many pixels of `box` (relative) lie within `tolerance` of `rgb`.
    int CountNear(const RECT& box, uint32_t rgb, int tolerance) const;
    // How many pixels of `box` differ from those of `other` by more than `tolerance`.
    int CountDifferent(const Pixels& other, const RECT& box, int tolerance) const;
    bool SavePng(const std::wstring& path) const;

private:
    bool Capture(HDC source, int left, int top, int width, int height);
    std::vector<uint32_t> bgra_;
    int width_ = 0;
    int height_ = 0;
};

// A window's rectangle on the screen, and its pixels read back.
RECT WindowRectOf(HWND window);
Pixels CaptureWindow(HWND window);

// The folder for screenshots in the build tree (made when missing).
std::wstring ScreenshotDir();

// The progress window as the worker reaches it (null when there is none).
HWND DialogWindow();

// Polls `done` every 20 ms until it holds or `timeoutMs` passed.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs);

// Real input through SendInput.
void MoveMouseTo(int x, int y);
void MouseButton(bool down);
void Key(WORD vk, bool down);
void Tap(WORD vk);

// Runs CSetupInstallDlg modally on a thread of its own, over a plain
// magenta backdrop that fills the screen (so that the
// see-through parts of the window show magenta). The payload unpacking is
// skipped; the install worker runs `worker`.
class DialogHost {
public:
    static constexpr uint32_t kBackdrop = 0x00FF00FF;
    // `startWorker` false: the worker thread cannot be created.
    explicit DialogHost(std::function<DWORD()> worker, bool startWorker = true);
    ~DialogHost();
    DialogHost(const DialogHost&) = delete;
    DialogHost& operator=(const DialogHost&) = delete;

    // The dialog's window once it is visible, or null after `timeoutMs`.
    HWND WaitForWindow(DWORD timeoutMs = 10000);
    // True when the modal run has ended within `timeoutMs`.
    bool WaitForEnd(DWORD timeoutMs);
    bool Ended() const { return ended_; }
    INT_PTR Result() const { return result_; }
    DWORD EndTick() const { return endTick_; }  // GetTickCount at the end of the modal run
    int UnpackCalls() const { return unpackCalls_; }

private:
    void Run();
    std::thread thread_;
    std::atomic<bool> ended_{false};
    std::atomic<INT_PTR> result_{0};
    std::atomic<DWORD> endTick_{0};
    std::atomic<int> unpackCalls_{0};
    HANDLE endEvent_;
    bool startWorker_;
};

// A stand-in worker that keeps reporting progress until it is told to stop,
// as the install sequence does while a step runs, and then sends WM_SETUP_END.
class BusyWorker {
public:
    std::function<DWORD()> Body();
    void Stop() { stop_ = true; }
    bool Running() const { return running_; }
    bool Finished() const { return finished_; }
    int Reports() const { return reports_; }
    LRESULT LastSendResult() const { return lastSend_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> finished_{false};
    std::atomic<int> reports_{0};
    std::atomic<LRESULT> lastSend_{-1};
};

}  // namespace ui_test
