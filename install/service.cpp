#include "install/service.h"

#include <objbase.h>
#include <shellapi.h>

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

    // The worker stays initialised for the rest of its life.
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    // No shell error dialog on failure: the install sequence shows its own box.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpFile = gAutoSvcPath;
    info.lpParameters = argument;
    info.nShow = SW_HIDE;
    if (!::ShellExecuteExW(&info) || !info.hProcess) {
        SI_TRACE_LAST_ERROR(L"ShellExecuteExW");
        WriteLog(L"installAutoService>> ShellExecuteEx Fail(%d)!\n", static_cast<int>(::GetLastError()));
        return false;
    }
    unique_handle process(info.hProcess);
    ::WaitForSingleObject(process.get(), INFINITE);
    return true;
}

}  // namespace si

bool installAutoService() { return si::InstallAutoServiceWith(&::MessageBoxW); }
