// The install worker as the installer runs it: the sequence with the real
// steps, the real pauses and waits, and the progress window as its report.
#pragma once

#include <windows.h>

#include "install/sequence.h"

// Thread entry of the install worker (the parameter is not used). Ends the
// run with WM_SETUP_END to the main dialog (exit code 0) or, after the error
// box, WM_SETUP_ERROR (exit code 1); clears gInstallThread before returning.
DWORD WINAPI ThreadSetupInstall(LPVOID);

// Progress callback of the setup archive's extraction: one report per entry.
void __cdecl OnExtractEntry(const wchar_t* entryName);

namespace si {
InstallSteps SystemInstallSteps();  // ExtractSetupFiles, ReadConfigFromIni, copyFiles, ...
SequenceHost SystemSequenceHost();  // Sleep, WaitForSingleObject, UpdateProgress, ...
}  // namespace si
