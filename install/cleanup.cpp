#include "install/cleanup.h"

#include <windows.h>

#include "diag/log.h"
#include "diag/trace.h"
#include "framework/win.h"
#include "install/fileops.h"
#include "state/globals.h"
#include "unpack/unpack_folder.h"

namespace si {

bool BuildRemovalCommand(const wchar_t* comspec, const wchar_t* folder, wchar_t* out, size_t capacity) {
    return FormatPath(out, capacity, L"%s /c rd /s /q \"%s\"", comspec, folder);
}

bool SystemCommandInterpreter(wchar_t* out, size_t capacity) { return SystemFilePath(L"cmd.exe", out, capacity); }

}  // namespace si

bool delTempFile() {
    WriteLog(L"delTempFile>> bagin !, delete folder is %s\n", gUnPackDirPath);
    if (!LXDeleteFolder(gUnPackDirPath)) {
        WriteLog(L"delTempFile>> LXDeleteFolder fail !\n");
        return false;
    }
    WriteLog(L"delTempFile>> end !\n");
    return true;
}

bool delTempDirOnExit() {
    // COMSPEC only says whether a command interpreter is wanted: its value is
    // the user's to set (HKCU\Environment), so this elevated process starts
    // the system's own cmd.exe, never a program the environment names.
    wchar_t comspec[MAX_PATH] = {};
    DWORD n = ::GetEnvironmentVariableW(L"COMSPEC", comspec, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    wchar_t interpreter[MAX_PATH] = {};
    if (!si::SystemCommandInterpreter(interpreter, MAX_PATH)) return false;
    wchar_t command[MAX_PATH] = {};
    if (!si::BuildRemovalCommand(interpreter, gUnPackDirPath, command, MAX_PATH)) return false;

    // What can go now goes now, through handles: everything, once the
    // installer has let go of the folder. The interpreter takes what is left
    // (a library a worker still at work keeps loaded) after the installer's
    // end, and finds nothing to race for otherwise.
    if (RecursiveDelete(gUnPackDirPath)) ::RemoveDirectoryW(gUnPackDirPath);

    // The installer runs at real-time priority and the removal at idle, so
    // the removal only gets the processor once the installer has ended and
    // released its files.
    ::SetPriorityClass(::GetCurrentProcess(), REALTIME_PRIORITY_CLASS);
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    auto normalPriority = si::scope_exit([] {
        ::SetPriorityClass(::GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
        ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_NORMAL);
    });
    si::unique_process_information process;
    if (si::StartHiddenProcess(command, CREATE_SUSPENDED | DETACHED_PROCESS, nullptr, process, interpreter) !=
        si::HiddenStart::Started) {
        SI_TRACE_LAST_ERROR(L"CreateProcessW");
        return false;
    }
    normalPriority.release();
    ::SetPriorityClass(process.hProcess, IDLE_PRIORITY_CLASS);
    ::SetThreadPriority(process.hThread, THREAD_PRIORITY_IDLE);
    ::ResumeThread(process.hThread);
    return true;
}
