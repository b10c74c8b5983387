// Start-up figures of the real SetupInstall.exe: the time from process start
// to the window's first layered update (the skin alone, before the setup
// payload is written out) and to the window being visible (after the payload
// unpacking and the worker's start). Not a test: it prints the figures.
//
//   ui_startup_benchmark.exe [runs] [installer.exe]     (default 5 runs, bin\SetupInstall.exe)
//
// The window is watched from this process: the first layered update is the
// moment the window of the installer gets WS_EX_LAYERED (set right before it),
// the visible moment is the one IsWindowVisible turns true. Both are polled
// about every millisecond, so the figures are good to a millisecond or two.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "framework/win.h"
#include "tests/support/e2e.h"
#include "tests/support/test_support.h"

namespace {

struct Probe {
    DWORD processId;
    HWND window;
};

BOOL CALLBACK FindTopLevel(HWND hwnd, LPARAM lParam) {
    auto* probe = reinterpret_cast<Probe*>(lParam);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hwnd, &owner);
    if (owner == probe->processId && ::GetWindow(hwnd, GW_OWNER) == nullptr) {
        wchar_t cls[16] = {};
        ::GetClassNameW(hwnd, cls, 16);
        if (wcscmp(cls, L"#32770") == 0) {
            probe->window = hwnd;
            return FALSE;
        }
    }
    return TRUE;
}

ULONGLONG Now100ns() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

double Ms(ULONGLONG from, ULONGLONG to) { return static_cast<double>(to - from) / 10000.0; }

struct Figures {
    double layered = -1;
    double visible = -1;
};

Figures MeasureOnce(const std::wstring& exe) {
    Figures figures;
    si_test::InstallerRun run;
    run.exePath = exe;
    run.args.clear();  // the log stays off, as in a shipped run
    DWORD processId = 0;
    si::unique_handle process(si_test::StartInstaller(run, &processId));
    if (!process) return figures;
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(process.get(), &created, &exited, &kernel, &user);
    const ULONGLONG start = (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;

    Probe probe = {processId, nullptr};
    const DWORD deadline = ::GetTickCount() + 60000;
    while (::GetTickCount() < deadline && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
        if (!probe.window) ::EnumWindows(&FindTopLevel, reinterpret_cast<LPARAM>(&probe));
        if (probe.window) {
            if (figures.layered < 0 && (::GetWindowLongW(probe.window, GWL_EXSTYLE) & WS_EX_LAYERED))
                figures.layered = Ms(start, Now100ns());
            if (::IsWindowVisible(probe.window)) {
                figures.visible = Ms(start, Now100ns());
                if (figures.layered < 0) figures.layered = figures.visible;
                break;
            }
        }
        ::Sleep(1);
    }
    // End the run the way a user closes the window, then let its exit
    // operation remove the unpack folder before the next run.
    if (probe.window) ::PostMessageW(probe.window, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(process.get(), 30000) != WAIT_OBJECT_0) ::TerminateProcess(process.get(), 255);
    si_test::WaitUntilGone(si_test::AppDataDir() + L"\\KalveronTemp", 15000);
    return figures;
}

double Median(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int runs = argc > 1 ? _wtoi(argv[1]) : 5;
    if (runs < 1) runs = 1;
    const std::wstring exe = argc > 2 ? argv[2] : si_test::InstallerPath();
    std::printf("SetupInstall start-up, %d runs of %ls\n", runs, exe.c_str());
    std::printf("%-5s %28s %24s %22s\n", "run", "first layered update (ms)", "window visible (ms)",
                "between them (ms)");
    std::vector<double> layered, visible, between;
    for (int i = 1; i <= runs; ++i) {
        const Figures f = MeasureOnce(exe);
        if (f.visible < 0) {
            std::printf("%-5d the window never showed\n", i);
            continue;
        }
        std::printf("%-5d %28.1f %24.1f %22.1f\n", i, f.layered, f.visible, f.visible - f.layered);
        layered.push_back(f.layered);
        visible.push_back(f.visible);
        between.push_back(f.visible - f.layered);
    }
    std::printf("%-5s %28.1f %24.1f %22.1f\n", "median", Median(layered), Median(visible), Median(between));
    std::printf("(between them: the setup payload written out from the executable, and the worker started)\n");
    return visible.empty() ? 1 : 0;
}
