#include "install/driver.h"

#include <cwchar>

#include "diag/log.h"
#include "diag/trace.h"
#include "framework/win.h"
#include "install/config.h"
#include "install/fileops.h"
#include "resources/resource_ids.h"
#include "state/globals.h"

namespace {

constexpr wchar_t kTag[] = L"ThreadSetupDriver";

DWORD CopyDriverFilesFailed() {
    SI_TRACE_LAST_ERROR(L"copy DriverFiles");
    WriteLog(L"ThreadSetupDriver>> copy DriverFiles Fail(%d)!\n", static_cast<int>(::GetLastError()));
    return 0;
}

DWORD CopyDriverToolFailed() {
    SI_TRACE_LAST_ERROR(L"copy Driver Tool");
    WriteLog(L"ThreadSetupDriver>> copy Driver Tool Fail(%d)!\n", static_cast<int>(::GetLastError()));
    return 0;
}

// The last name of a relative folder: the text after its last backslash.
const wchar_t* LastName(const wchar_t* folder) {
    const wchar_t* slash = std::wcsrchr(folder, L'\\');
    return slash ? slash + 1 : folder;
}

// The folders both suppliers start from, built and logged in this order: the
// driver package in the unpack folder, DriverFiles in the target, the tool's
// folder in the unpack folder.
struct DriverFolders {
    wchar_t szSrcDriverDir[MAX_PATH] = {};
    wchar_t strDriverDir[MAX_PATH] = {};
    wchar_t toolSource[MAX_PATH] = {};
};

// True when every path fits; otherwise the copy's failure line is logged.
bool BuildDriverFolders(DriverFolders& f) {
    if (!si::JoinPath(kTag, f.szSrcDriverDir, {gUnPackDirPath, gDriverSourceDir})) return CopyDriverFilesFailed();
    WriteLog(L"ThreadSetupDriver>> szSrcDriverDir is %s!\n", f.szSrcDriverDir);
    if (!si::JoinPath(kTag, f.strDriverDir, {gTargetDir, L"DriverFiles"})) return CopyDriverFilesFailed();
    WriteLog(L"ThreadSetupDriver>> strDriverDir is %s!\n", f.strDriverDir);
    if (!si::JoinPath(kTag, f.toolSource, {gUnPackDirPath, gDriverToolSourceDir})) return CopyDriverToolFailed();
    return true;
}

// Supplier 2: driver and tool side by side in DriverFiles, the .inf file
// named on the command line, the installer's current directory.
DWORD SetupTessilDriver(const OsInfo& os) {
    DriverFolders folders;
    if (!BuildDriverFolders(folders)) return 0;
    const wchar_t* szSrcDriverDir = folders.szSrcDriverDir;
    const wchar_t* strDriverDir = folders.strDriverDir;
    const wchar_t* toolSource = folders.toolSource;

    createMultiDir(strDriverDir);
    if (!copyFolderFiles(szSrcDriverDir, strDriverDir)) return CopyDriverFilesFailed();
    if (!copyFolderFiles(toolSource, strDriverDir)) return CopyDriverToolFailed();

    wchar_t infName[MAX_PATH] = {};
    wchar_t infPath[MAX_PATH] = {};
    if (getInfFileName(strDriverDir, infName) != 0) {
        WriteLog(L"ThreadSetupDriver>> get  inf filename fail\xFF01\n");
        return 0;
    }
    if (!si::JoinPath(kTag, infPath, {gTargetDir, L"DriverFiles", infName})) return 0;

    wchar_t commandLine[MAX_PATH] = {};
    if (!si::FormatPath(commandLine, MAX_PATH, L"\"%s\" %s \"%s\" ", gDriverToolPath,
                        si::TessilToolArgument(os, gDriverWHQL != FALSE), infPath)) {
        WriteLog(L"ThreadSetupDriver>> path too long: \"%s\" \"%s\"\n", gDriverToolPath, infPath);
        return 0;
    }
    return runExe(commandLine, nullptr);
}

// Supplier 1: the driver under DriverFiles\Driver\<last name of its folder>,
// the tool in DriverFiles, which is its current directory.
DWORD SetupCorvaneDriver() {
    DriverFolders folders;
    if (!BuildDriverFolders(folders)) return 0;
    const wchar_t* szSrcDriverDir = folders.szSrcDriverDir;
    const wchar_t* strDriverDir = folders.strDriverDir;
    const wchar_t* toolSource = folders.toolSource;
    wchar_t driverDestination[MAX_PATH] = {};
    if (!si::JoinPath(kTag, driverDestination, {strDriverDir, L"Driver", LastName(gDriverSourceDir)}))
        return CopyDriverFilesFailed();
    WriteLog(L"ThreadSetupDriver>> strDriverDir is %s!\n", driverDestination);

    createMultiDir(driverDestination);
    if (!copyFolderFiles(szSrcDriverDir, driverDestination)) return CopyDriverFilesFailed();
    if (!copyFolderFiles(toolSource, strDriverDir)) return CopyDriverToolFailed();

    wchar_t commandLine[MAX_PATH] = {};
    if (!si::FormatPath(commandLine, MAX_PATH, L"\"%s\" %s ", gDriverToolPath, L"-i")) {
        WriteLog(L"ThreadSetupDriver>> path too long: \"%s\"\n", gDriverToolPath);
        return 0;
    }
    return runExe(commandLine, strDriverDir);
}

}  // namespace

namespace si {

const wchar_t* TessilToolArgument(const OsInfo& os, bool driverWHQL) {
    return os.osType == OS_TYPE_XP && !driverWHQL ? L"BetaInstall" : L"Install";
}

DWORD SetupDriverWith(const OsInfo& os, MessageBoxFn messageBox) {
    WriteLog(L"ThreadSetupDriver>> begin!");
    switch (gChipSupplier) {
        case 2: return SetupTessilDriver(os);
        case 1: return SetupCorvaneDriver();
        default:
            ShowErrorBox(messageBox, LoadActiveString(IDS_INVALID_CHIP_VENDOR).c_str());
            return 0;
    }
}

}  // namespace si

DWORD runExe(const wchar_t* commandLine, const wchar_t* currentDir) {
    si::unique_process_information process;
    switch (si::StartHiddenProcess(commandLine, 0, currentDir, process)) {
        case si::HiddenStart::TooLong:
            WriteLog(L"runExe>> path too long: %s\n", commandLine);
            return 0;
        case si::HiddenStart::Failed:
            SI_TRACE_LAST_ERROR(L"CreateProcessW");
            WriteLog(L"runExe>> CreateProcess Failed,Error Number is %d, return 0!",
                     static_cast<int>(::GetLastError()));
            return 0;
        case si::HiddenStart::Started: break;
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    WriteLog(L"ThreadSetupDriver>> end!");
    return 1;
}

DWORD WINAPI ThreadSetupDriver(LPVOID) { return si::SetupDriverWith(gOsInfo, &::MessageBoxW); }
