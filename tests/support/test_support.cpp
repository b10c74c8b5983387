#include "tests/support/test_support.h"

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "diag/log.h"
#include "framework/win.h"

namespace si_test {

std::vector<Box> gBoxes;

int WINAPI RecordBox(HWND, const wchar_t* text, const wchar_t* caption, UINT type) {
    gBoxes.push_back(Box{caption ? caption : L"", text ? text : L"", type});
    return IDOK;
}

TempDir::TempDir(const std::wstring& hint) {
    wchar_t base[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, base);
    static LONG counter = 0;
    for (;;) {
        wchar_t name[MAX_PATH] = {};
        si::Format(name, MAX_PATH, L"%s%s_%lu_%ld", base, hint.c_str(), ::GetCurrentProcessId(),
                   ::InterlockedIncrement(&counter));
        if (::CreateDirectoryW(name, nullptr)) {
            path_ = name;
            return;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return;
    }
}

TempDir::~TempDir() {
    if (!path_.empty()) RemoveTree(path_);
}

LogCapture::LogCapture() : dir_(L"log"), savedPath_(gLogPath), savedEnabled_(gLogEnabled) {
    si::CopyText(gLogPath, MAX_PATH, (dir_ / L"Install.log").c_str());
    gLogEnabled = 1;
}

LogCapture::~LogCapture() {
    si::CopyText(gLogPath, MAX_PATH, savedPath_.c_str());
    gLogEnabled = savedEnabled_;
}

std::string LogCapture::Text() const { return FileText(dir_ / L"Install.log"); }

std::string FileText(const std::wstring& path) {
    std::string bytes;
    ReadFileBytes(path, &bytes);
    return bytes;
}

void LogCapture::Clear() { ::DeleteFileW((dir_ / L"Install.log").c_str()); }

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    si::unique_file f(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!f) return false;
    DWORD written = 0;
    return ::WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool ReadFileBytes(const std::wstring& path, std::string* bytes) {
    bytes->clear();
    si::unique_file f(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f) return false;
    char buffer[65536];
    DWORD n = 0;
    while (::ReadFile(f.get(), buffer, sizeof(buffer), &n, nullptr) && n > 0) bytes->append(buffer, n);
    return true;
}

bool FileExists(const std::wstring& path) {
    DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirExists(const std::wstring& path) {
    DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    si::unique_find find(::FindFirstFileW((path + L"\\*").c_str(), &data));
    if (find) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring full = path + L"\\" + name;
            ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full);
            else
                ::DeleteFileW(full.c_str());
        } while (::FindNextFileW(find.get(), &data));
    }
    find.reset();
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryW(path.c_str());
}

std::vector<std::wstring> ListTree(const std::wstring& root) {
    std::vector<std::wstring> out;
    std::function<void(const std::wstring&)> walk = [&](const std::wstring& rel) {
        WIN32_FIND_DATAW data;
        std::wstring dir = rel.empty() ? root : root + L"\\" + rel;
        si::unique_find find(::FindFirstFileW((dir + L"\\*").c_str(), &data));
        if (!find) return;
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = rel.empty() ? name : rel + L"\\" + name;
            out.push_back(child);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) walk(child);
        } while (::FindNextFileW(find.get(), &data));
    };
    walk(L"");
    std::sort(out.begin(), out.end());
    return out;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring Widen(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

bool CreateTree(const std::wstring& path) {
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        ::CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    ::CreateDirectoryW(path.c_str(), nullptr);
    return DirExists(path);
}

namespace {
// "hh:mm:ss.mmm" local time, for lining a failure up with other logs.
std::string TimeOfDay() {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    char text[16];
    std::snprintf(text, sizeof(text), "%02u:%02u:%02u.%03u", t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}
}  // namespace

bool StartProcess(const std::wstring& commandLine, DWORD flags, void* environment, const std::wstring& currentDir,
                  PROCESS_INFORMATION* process, int show) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (show >= 0) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(show);
    }
    std::wstring command = commandLine;
    const DWORD start = ::GetTickCount();
    if (::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, flags, environment,
                         currentDir.empty() ? nullptr : currentDir.c_str(), &startup, process))
        return true;
    const DWORD error = ::GetLastError();
    std::printf("[ start    ] CreateProcessW failed, error %lu, after %lu ms, at %s: %s\n", error,
                ::GetTickCount() - start, TimeOfDay().c_str(), Narrow(commandLine).c_str());
    std::fflush(stdout);
    ::SetLastError(error);
    return false;
}

bool RunProcess(const std::wstring& commandLine, DWORD timeoutMs, DWORD* exitCode, const std::wstring& currentDir) {
    PROCESS_INFORMATION process = {};
    if (!StartProcess(commandLine, 0, nullptr, currentDir, &process)) return false;
    si::unique_handle processHandle(process.hProcess), threadHandle(process.hThread);
    if (::WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        std::printf("[ start    ] no end within %lu ms (killed), at %s: %s\n", timeoutMs, TimeOfDay().c_str(),
                    Narrow(commandLine).c_str());
        ::TerminateProcess(process.hProcess, 255);
        ::WaitForSingleObject(process.hProcess, 5000);
        return false;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    if (exitCode) *exitCode = code;
    return true;
}

std::wstring ModuleDir() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return p.substr(0, p.find_last_of(L"\\/"));
}

std::wstring BuildDir() {
    std::wstring dir = ModuleDir();
    while (!dir.empty()) {
        if (FileExists(dir + L"\\CMakeCache.txt")) return dir;
        size_t cut = dir.find_last_of(L"\\/");
        if (cut == std::wstring::npos) break;
        dir.resize(cut);
    }
    return std::wstring();
}

namespace {
std::vector<std::wstring> gFakeLinks;
DWORD WINAPI FakeLinkAttributes(const wchar_t* path) {
    const DWORD attributes = ::GetFileAttributesW(path);
    for (auto it = gFakeLinks.begin(); it != gFakeLinks.end(); ++it) {
        if (_wcsicmp(it->c_str(), path) != 0) continue;
        if (attributes != INVALID_FILE_ATTRIBUTES) return attributes | FILE_ATTRIBUTE_REPARSE_POINT;
        gFakeLinks.erase(it);
        break;
    }
    return attributes;
}
}  // namespace

std::string SecurityText(const std::wstring& path, void* sd) {
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    si::unique_hlocal read;
    if (!sd && ::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, what, nullptr, nullptr, nullptr, nullptr,
                                       reinterpret_cast<PSECURITY_DESCRIPTOR*>(read.put())) == ERROR_SUCCESS)
        sd = read.get();
    wchar_t* text = nullptr;
    if (!sd || !::ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1, what, &text, nullptr))
        return {};
    si::unique_hlocal owned(text);
    return Narrow(text);
}

FakeLinks::FakeLinks(std::vector<std::wstring> paths) {
    gFakeLinks = std::move(paths);
    si::gFileAttributes = &FakeLinkAttributes;
}
FakeLinks::~FakeLinks() {
    si::gFileAttributes = &::GetFileAttributesW;
    gFakeLinks.clear();
}

}  // namespace si_test
