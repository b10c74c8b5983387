// Helpers for the test programs: temporary folders, the install log captured
// into a file, files read whole, child processes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace si_test {

// A fresh folder under %TEMP%, removed with its contents at the end.
class TempDir {
public:
    explicit TempDir(const std::wstring& hint = L"si");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// Turns the install log on into a file of its own for one scope.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    std::string Text() const;  // the file as written (narrow text, CR LF)
    void Clear();

private:
    TempDir dir_;
    std::wstring savedPath_;
    int savedEnabled_;
};

// For one scope, IsReparsePoint sees these existing paths as links (Wine
// makes none); a path once seen missing is no longer one.
class FakeLinks {
public:
    explicit FakeLinks(std::vector<std::wstring> paths);
    ~FakeLinks();
    FakeLinks(const FakeLinks&) = delete;
    FakeLinks& operator=(const FakeLinks&) = delete;
};

// Owner and DACL as SDDL, of `sd` or else of the file or folder `path`; empty when unreadable.
std::string SecurityText(const std::wstring& path, void* sd = nullptr);

bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool ReadFileBytes(const std::wstring& path, std::string* bytes);
std::string FileText(const std::wstring& path);  // the bytes; empty when unreadable
bool FileExists(const std::wstring& path);
bool DirExists(const std::wstring& path);
// Creates `path` with every missing parent; true when it is a folder then.
bool CreateTree(const std::wstring& path);
void RemoveTree(const std::wstring& path);
// Every file and folder below `root`, relative, with backslashes, sorted.
std::vector<std::wstring> ListTree(const std::wstring& root);

std::string Narrow(const std::wstring& text);  // UTF-8
std::wstring Widen(const std::string& text);   // from UTF-8
inline std::string N(const std::wstring& text) { return Narrow(text); }  // for messages and log lines

// A message box shown through a seam: recorded by RecordBox (answered with
// OK) into gBoxes, which a test clears.
struct Box {
    std::wstring caption;
    std::wstring text;
    UINT type = 0;
};
extern std::vector<Box> gBoxes;
int WINAPI RecordBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);

// CreateProcessW with `commandLine`, no inherited handles, `show` (when not
// negative) as the window's show state. On failure it prints the command,
// GetLastError, the time the call took and the time of day, and returns false
// with the error kept.
bool StartProcess(const std::wstring& commandLine, DWORD flags, void* environment, const std::wstring& currentDir,
                  PROCESS_INFORMATION* process, int show = -1);

// Starts `commandLine` and waits up to `timeoutMs`; on time-out the process is
// killed and false returned. Each failure is printed with the command.
bool RunProcess(const std::wstring& commandLine, DWORD timeoutMs, DWORD* exitCode,
                const std::wstring& currentDir = std::wstring());

// The folder of the running test program.
std::wstring ModuleDir();
// The build tree's root (the folder that holds CMakeCache.txt).
std::wstring BuildDir();

}  // namespace si_test
