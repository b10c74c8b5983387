// The installer's process-wide values: the folders it works in, the
// configuration read from the payload, the running system and the handles of
// its threads. Each value is written once, by the step that owns it, before
// its readers run.
#pragma once

#include <windows.h>

#include "diag/osinfo.h"

// Folders and modules, set at start-up and by the main dialog.
extern wchar_t gUnPackDirPath[MAX_PATH];    // application data + "\KalveronTemp"
extern wchar_t gProgramFilesDir[MAX_PATH];  // the Program Files folder
extern HMODULE gLangModule;                 // the loaded language library
extern ULONG_PTR gGdiplusToken;
extern OsInfo gOsInfo;                      // the running system, read by the start-up gates

// Threads: the install worker (null once it returns) and the driver thread
// (null until the sequence starts it, never closed: it may outlive the worker).
extern HANDLE gInstallThread;
extern HANDLE gDriverThread;

// The install configuration, FilesModifyConfig.ini of the setup payload.
// Each text value holds at most 259 characters; all are empty (or 0) until
// ReadConfigFromIni has run, and only it writes them.
extern wchar_t gConfigFilePath[MAX_PATH];       // gUnPackDirPath\SetupFiles\ConfigFile\FilesModifyConfig.ini
extern int gChipSupplier;                       // [CurrentCard] Chip_Supplier: 1 or 2
extern wchar_t gTargetDir[MAX_PATH];            // gProgramFilesDir\[TargetDirSet] TargetDir
extern wchar_t gSvcSourceDir[MAX_PATH];         // [AutoInstSvc] SOURCE_PATH, relative to gUnPackDirPath
extern wchar_t gUninstSourceDir[MAX_PATH];      // [Uninst] SOURCE_PATH, relative
extern wchar_t gDriverToolSourceDir[MAX_PATH];  // [DriverInstall] Driver_Install_Tool_X86 / _X64, relative
extern wchar_t gDriverToolPath[MAX_PATH];       // gTargetDir\DriverFiles\<tool>.exe
extern BOOL gDriverWHQL;                        // [DriverInstall] DriverWHQL equals 1 (missing: 1)
extern wchar_t gDriverSourceDir[MAX_PATH];      // [DriverInstall] <SystemKey>, relative; empty without a key

// gTargetDir\AutoInstSvc\<service program>, set by installAutoService.
extern wchar_t gAutoSvcPath[MAX_PATH];
