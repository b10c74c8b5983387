#include "install/service.h"

#include "diag/log.h"
#include "diag/trace.h"
#include "framework/win.h"
#include "install/config.h"
#include "install/fileops.h"
#include "install/suppliers.h"
#include "resources/resource_ids.h"
#include "state/globals.h"

namespace {

constexpr wchar_t kTag[] = L"installAutoService";

}  // namespace

namespace si {

bool InstallAutoServiceWith(MessageBoxFn messageBox) {
    WriteLog(L"installAutoService>> begin!");
    wchar_t source[MAX_PATH] = {};
    wchar_t destination[MAX_PATH] = {};
    if (!JoinPath(kTag, source, {gUnPackDirPath, gSvcSourceDir}) ||
        !JoinPath(kTag, destination, {gTargetDir, L"AutoInstSvc"}))
        return false;

    createMultiDir(destination);
    // A failed copy is only logged: the launch below tells whether the program is there.
    if (!copyFolderFiles(source, destination))
        WriteLog(L"ThreadSetupDriver>> copy Driver Tool Fail(%d)!\n", static_cast<int>(::GetLastError()));

    const SupplierPrograms* programs = FindSupplierPrograms(gChipSupplier);
    if (!programs) {
        ShowErrorBox(messageBox, LoadActiveString(IDS_INVALID_CHIP_VENDOR).c_str());
        return false;
    }
    const wchar_t* program = programs->service;
    const wchar_t* argument = programs->serviceArgument;
    if (!JoinPath(kTag, gAutoSvcPath, {destination, program})) return false;

    // Started by its full path: no file association, no search, nothing the
    // user's own classes (HKCU\Software\Classes) could redirect.
    wchar_t commandLine[MAX_PATH] = {};
    unique_process_information process;
    if (!FormatPath(commandLine, MAX_PATH, L"\"%s\" %s", gAutoSvcPath, argument) ||
        StartHiddenProcess(commandLine, 0, nullptr, process, gAutoSvcPath) != HiddenStart::Started) {
        SI_TRACE_LAST_ERROR(L"CreateProcessW");
        WriteLog(L"installAutoService>> ShellExecuteEx Fail(%d)!\n", static_cast<int>(::GetLastError()));
        return false;
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    return true;
}

}  // namespace si

bool installAutoService() { return si::InstallAutoServiceWith(&::MessageBoxW); }
