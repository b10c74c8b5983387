#include "app/install_worker.h"

#include "framework/app.h"
#include "install/cleanup.h"
#include "install/config.h"
#include "install/copy_files.h"
#include "install/driver.h"
#include "install/service.h"
#include "install/uninstall_reg.h"
#include "state/globals.h"
#include "ui/progress_window.h"
#include "unpack/extract.h"

namespace {

int ExtractSetupFilesWithProgress() { return ExtractSetupFiles(&OnExtractEntry); }
void SleepFor(DWORD milliseconds) { ::Sleep(milliseconds); }
DWORD WaitFor(HANDLE thread, DWORD milliseconds) { return ::WaitForSingleObject(thread, milliseconds); }
// The main dialog's window, reached through the progress window's own send.
void SendToMainDialog(UINT message) { SendToProgressWindow(message); }

}  // namespace

void __cdecl OnExtractEntry(const wchar_t* entryName) {
    UpdateProgress(entryName ? std::wstring(entryName) : std::wstring(), -1, false);
}

namespace si {

InstallSteps SystemInstallSteps() {
    return InstallSteps{&ExtractSetupFilesWithProgress, &ReadConfigFromIni, &copyFiles,    &ThreadSetupDriver,
                        &installAutoService,            &createShoutCut,    &delTempFile};
}

SequenceHost SystemSequenceHost() {
    return SequenceHost{&SleepFor, &WaitFor, &UpdateProgress, &LoadActiveString, &::MessageBoxW, &SendToMainDialog};
}

}  // namespace si

DWORD WINAPI ThreadSetupInstall(LPVOID) {
    return si::RunInstallSequence(si::SystemInstallSteps(), si::SystemSequenceHost(), gOsInfo);
}
