#include "state/globals.h"

wchar_t gUnPackDirPath[MAX_PATH] = {};
wchar_t gProgramFilesDir[MAX_PATH] = {};
HMODULE gLangModule = nullptr;
ULONG_PTR gGdiplusToken = 0;
OsInfo gOsInfo = {};

HANDLE gInstallThread = nullptr;
HANDLE gDriverThread = nullptr;

wchar_t gConfigFilePath[MAX_PATH] = {};
int gChipSupplier = 0;
wchar_t gTargetDir[MAX_PATH] = {};
wchar_t gSvcSourceDir[MAX_PATH] = {};
wchar_t gUninstSourceDir[MAX_PATH] = {};
wchar_t gDriverToolSourceDir[MAX_PATH] = {};
wchar_t gDriverToolPath[MAX_PATH] = {};
BOOL gDriverWHQL = FALSE;
wchar_t gDriverSourceDir[MAX_PATH] = {};

wchar_t gAutoSvcPath[MAX_PATH] = {};
