// Reading back what the stand-in programs of the sample payload recorded.
//
// A test points SETUPINSTALL_STANDIN_RECORD at a file of its own (ScopedEnv
// below, inherited by every program the installer starts), runs the
// installer or a stand-in, and reads the starts back with ReadStandinRecord.
// SETUPINSTALL_STANDIN_EXIT and SETUPINSTALL_STANDIN_SLEEP_MS choose the exit
// code and a wait for every stand-in; the same names with "_" and the
// program's upper-case base name (SETUPINSTALL_STANDIN_EXIT_CORVANE64)
// choose them for one program only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "payload/standin/record_format.h"

namespace si_standin {

// One start of a stand-in program, exactly as the program saw it.
struct StandinStart {
    std::wstring module;       // full path of the program file
    std::wstring commandLine;  // GetCommandLineW
    std::wstring currentDir;   // GetCurrentDirectoryW
    int showWindow = -1;       // wShowWindow if STARTF_USESHOWWINDOW was given, else -1

    // The program's file name, e.g. L"Corvane64.exe".
    std::wstring FileName() const;
};

// Reads every start recorded in `path`, in the order they were written.
// A file that does not exist holds no start (true, empty list). False when
// the file cannot be read or holds anything but whole, well-formed lines.
bool ReadStandinRecord(const std::wstring& path, std::vector<StandinStart>* starts);

// The starts of the program with this file name (case-insensitive), in order.
std::vector<StandinStart> StartsOf(const std::vector<StandinStart>& starts, const std::wstring& fileName);

// Sets (or, with `unset`, removes) an environment variable of this process
// for one scope and restores the previous state afterwards. Child processes
// started inside the scope inherit it.
class ScopedEnv {
public:
    ScopedEnv(const std::wstring& name, const std::wstring& value, bool unset = false);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::wstring name_;
    std::wstring saved_;
    bool hadValue_ = false;
};

}  // namespace si_standin
