// The install worker: the order of the install steps, the progress reported
// around each, the pauses, the bounded wait for the driver thread and the
// failure path.
#pragma once

#include <windows.h>

#include <string>

#include "diag/osinfo.h"
#include "install/install_common.h"

namespace si {

// The steps the sequence runs, each true (non-zero) on success.
struct InstallSteps {
    int (*extractSetupFiles)();
    int (*readConfig)();
    bool (*copyUninstaller)();
    LPTHREAD_START_ROUTINE setupDriver;  // body of the driver thread; exit code 0 is failure
    bool (*installService)();
    bool (*registerUninstall)();
    bool (*deleteTempFiles)();
};

// What the sequence needs of its surroundings. The installer's own steps and
// host (the real pauses, waits and progress window) are wired by the application.
struct SequenceHost {
    void (*pause)(DWORD milliseconds);
    DWORD (*waitDriver)(HANDLE thread, DWORD milliseconds);  // as WaitForSingleObject
    void (*report)(const std::wstring& status, int percent, bool finished);
    StringLoader loadString;
    MessageBoxFn messageBox;
    void (*sendToDialog)(UINT message);  // synchronous, wParam and lParam 0
};

// The sequence's failure path: the error box with the "setup failed" text
// (`lastStatus` when that entry is missing), then WM_SETUP_ERROR to the
// dialog; clears gInstallThread. Also taken when the worker cannot even be
// started. Returns 1.
DWORD FailInstallSequence(const SequenceHost& host, const std::wstring& lastStatus = std::wstring());

// Runs the whole sequence on the calling thread for the system `os`: 0 after
// success, 1 after failure.
DWORD RunInstallSequence(const InstallSteps& steps, const SequenceHost& host, const OsInfo& os);

}  // namespace si
