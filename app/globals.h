// Process-wide state shared by the installer's parts. Each value is written
// once, before its readers run.
#pragma once

#include <windows.h>

class CSetupInstallDlg;

extern wchar_t gUnPackDirPath[MAX_PATH];    // application data + "\KalveronTemp"
extern wchar_t gProgramFilesDir[MAX_PATH];  // the Program Files folder
extern HMODULE gLangModule;                 // the loaded language library
extern ULONG_PTR gGdiplusToken;
extern CSetupInstallDlg* gMainDlg;          // the progress window
extern HANDLE gInstallThread;               // the install worker, null once it returns
