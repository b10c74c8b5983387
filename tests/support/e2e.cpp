#include "tests/support/e2e.h"

#include <gdiplus.h>
#include <tlhelp32.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <set>

#include "framework/win.h"
#include "tests/support/test_support.h"

namespace si_test {

std::wstring InstallerPath() { return BuildDir() + L"\\bin\\SetupInstall.exe"; }

std::wstring AppDataDir() {
    wchar_t path[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, path, CSIDL_APPDATA, TRUE);
    return path;
}

std::wstring ProgramFiles() {
    wchar_t path[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, path, CSIDL_PROGRAM_FILES, FALSE);
    return path;
}

const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KALVERON_FLASH";

std::vector<std::pair<std::wstring, std::wstring>> UninstallValues() {
    std::vector<std::pair<std::wstring, std::wstring>> values;
    for (const RegValue& v : ReadRegistryValues(HKEY_LOCAL_MACHINE, kUninstallKey)) {
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), v.type) << N(v.name);
        values.emplace_back(v.name, v.text);
    }
    return values;
}

InstallOutcome RunToTheEnd(InstallerRun run, const std::wstring& record, const std::function<void(HANDLE)>& tick) {
    InstallOutcome outcome;
    run.env.emplace_back(L"SETUPINSTALL_STANDIN_RECORD", record);
    std::set<HWND> answered;
    DWORD lastAnswer = 0;
    run.during = [&](HANDLE process) {
        const DWORD id = ::GetProcessId(process);
        while (::WaitForSingleObject(process, 100) == WAIT_TIMEOUT) {
            if (!WindowsOf(id, false).empty()) outcome.windowShown = true;
            for (HWND box : WindowsOf(id, true)) {
                if (!answered.insert(box).second) continue;
                outcome.boxes.push_back(ReadBox(box));
                ::PostMessageW(box, WM_COMMAND, IDOK, 0);
                lastAnswer = ::GetTickCount();
            }
            if (tick) tick(process);
        }
    };
    const DWORD start = ::GetTickCount();
    outcome.result = RunInstaller(run);
    const DWORD end = ::GetTickCount();
    outcome.seconds = (end - start) / 1000.0;
    if (lastAnswer) outcome.afterLastBox = (end - lastAnswer) / 1000.0;
    std::printf("[ e2e      ] installer ran %.1f s, exit code 0x%lx, %zu box(es)\n", outcome.seconds,
                outcome.result.exitCode, outcome.boxes.size());
    for (const Box& box : outcome.boxes)
        std::printf("[ e2e      ]   box \"%s\": %s\n", N(box.caption).c_str(), N(box.text).c_str());
    EXPECT_TRUE(outcome.result.started);
    // Ended by itself: the window closed on WM_SETUP_END or WM_SETUP_ERROR (no
    // hang), and no crash (a crash ends with an exception status). The exit
    // code is otherwise the framework's and says nothing about the install.
    EXPECT_TRUE(outcome.result.finished);
    EXPECT_LT(outcome.result.exitCode, 0x80000000u) << std::hex << outcome.result.exitCode;
    EXPECT_TRUE(si_standin::ReadStandinRecord(record, &outcome.starts));
    ::DeleteFileW(record.c_str());
    return outcome;
}

Box ReadBox(HWND box) {
    wchar_t caption[256] = {};
    ::GetWindowTextW(box, caption, 256);
    return Box{caption, MessageBoxText(box)};
}

std::vector<std::wstring> Names(const std::vector<si_standin::StandinStart>& starts) {
    std::vector<std::wstring> names;
    for (const auto& s : starts) names.push_back(s.FileName());
    return names;
}

std::wstring ArtefactDir() {
    std::wstring dir = BuildDir() + L"\\test-artefacts";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

namespace {

void SetRegString(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    si::unique_hkey k;
    if (::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, k.put(), nullptr) != ERROR_SUCCESS)
        return;
    ::RegSetValueExW(k.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::wstring BaseName(const std::wstring& path) {
    size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

// The current environment with `extra` set on top, as a CreateProcess block.
std::wstring EnvironmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& extra) {
    std::vector<std::wstring> vars;
    if (wchar_t* env = ::GetEnvironmentStringsW()) {
        for (const wchar_t* p = env; *p; p += wcslen(p) + 1) vars.emplace_back(p);
        ::FreeEnvironmentStringsW(env);
    }
    for (const auto& kv : extra) {
        const std::wstring prefix = kv.first + L"=";
        for (auto it = vars.begin(); it != vars.end();) {
            if (_wcsnicmp(it->c_str(), prefix.c_str(), prefix.size()) == 0)
                it = vars.erase(it);
            else
                ++it;
        }
        if (!kv.second.empty() || kv.first.empty()) vars.push_back(prefix + kv.second);
    }
    std::wstring block;
    for (const auto& v : vars) block += v + L'\0';
    block += L'\0';
    return block;
}

}  // namespace

void SetWindowsVersion(const std::wstring& exeName, const std::wstring& version) {
    SetRegString(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\" + exeName, L"Version", version);
}

void PreferNativeDlls(const std::wstring& exeName, const std::vector<std::wstring>& dlls) {
    const std::wstring key = L"Software\\Wine\\AppDefaults\\" + exeName + L"\\DllOverrides";
    ::RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
    for (const auto& dll : dlls) SetRegString(HKEY_CURRENT_USER, key, dll.c_str(), L"native,builtin");
}

void SetSystemLanguage(const std::wstring& languageId) {
    SetRegString(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Nls\\Language", L"Default",
                 languageId.empty() ? L"0409" : languageId);
}

void SetScreenshotFont(const std::wstring& family) {
    const wchar_t* const kKey = L"Software\\Wine\\Fonts\\Replacements";
    if (family.empty()) {
        si::unique_hkey k;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_SET_VALUE, k.put()) == ERROR_SUCCESS)
            ::RegDeleteValueW(k.get(), L"Consolas");
        return;
    }
    // Noto Sans CJK: Japanese, Chinese, Korean, Cyrillic; Loma: Thai; DejaVu
    // Sans: Cyrillic and Vietnamese (scripts/deps.sh installs them).
    static const wchar_t* const kFonts[] = {
        L"opentype\\noto\\NotoSansCJK-Regular.ttc", L"opentype\\noto\\NotoSansCJK-Bold.ttc",
        L"truetype\\tlwg\\Loma.ttf",                 L"truetype\\tlwg\\Loma-Bold.ttf",
        L"truetype\\dejavu\\DejaVuSans.ttf",         L"truetype\\dejavu\\DejaVuSans-Bold.ttf"};
    wchar_t windows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    for (const wchar_t* font : kFonts) {
        const std::wstring source = std::wstring(L"Z:\\usr\\share\\fonts\\") + font;
        ::CopyFileW(source.c_str(), (std::wstring(windows) + L"\\Fonts\\" + BaseName(source)).c_str(), TRUE);
    }
    SetRegString(HKEY_CURRENT_USER, kKey, L"Consolas", family);
}

bool WaitUntilGone(const std::wstring& path, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        if (::GetTickCount() - start > timeoutMs) return false;
        ::Sleep(100);
    }
    return true;
}

std::vector<RegValue> ReadRegistryValues(HKEY root, const std::wstring& key, REGSAM view) {
    std::vector<RegValue> values;
    si::unique_hkey k;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, k.put()) != ERROR_SUCCESS) return values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256, type = 0, bytes = 2048;
        BYTE data[2048 + sizeof(wchar_t)] = {};
        if (::RegEnumValueW(k.get(), i, name, &nameLength, nullptr, &type, data, &bytes) != ERROR_SUCCESS) break;
        values.push_back({name, type, reinterpret_cast<const wchar_t*>(data)});
    }
    std::sort(values.begin(), values.end(), [](const RegValue& a, const RegValue& b) { return a.name < b.name; });
    return values;
}

bool UnderWow64() {
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

bool OnX86Windows() { return sizeof(void*) == 4 && !UnderWow64(); }

bool WaitForChildren(DWORD installerId, DWORD timeoutMs) {
    auto running = [installerId]() {
        si::unique_handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        int count = 0;
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof(entry);
        for (BOOL ok = snapshot && ::Process32FirstW(snapshot.get(), &entry); ok;
             ok = ::Process32NextW(snapshot.get(), &entry))
            if (entry.th32ParentProcessID == installerId) ++count;
        return count;
    };
    const DWORD start = ::GetTickCount();
    while (running() > 0) {
        if (::GetTickCount() - start > timeoutMs) return false;
        ::Sleep(100);
    }
    return true;
}

void WaitForRemovalProcesses(DWORD timeoutMs) {
    auto running = []() {
        si::unique_handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof(entry);
        for (BOOL ok = snapshot && ::Process32FirstW(snapshot.get(), &entry); ok;
             ok = ::Process32NextW(snapshot.get(), &entry))
            if (_wcsicmp(entry.szExeFile, L"cmd.exe") == 0) return true;
        return false;
    };
    const DWORD start = ::GetTickCount();
    while (running() && ::GetTickCount() - start < timeoutMs) ::Sleep(100);
}

bool RemovedAtExit(const std::wstring& folder, DWORD installerId) {
    // Best effort: under Wine a removal process now and then lingers after
    // its work is done; what counts is what it left.
    if (!WaitForChildren(installerId, 30000)) std::printf("[ e2e ] note: a removal process is still running\n");
    if (::GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    const std::vector<std::wstring> left = ListTree(folder);
    for (const std::wstring& entry : left) std::printf("[ e2e ] left in the unpack folder: %s\n", Narrow(entry).c_str());
    if (!left.empty()) return false;
    std::printf("[ e2e ] note: the two removals left %s empty\n", Narrow(folder).c_str());
    ::RemoveDirectoryW(folder.c_str());
    return true;
}

HANDLE StartInstaller(const InstallerRun& run, DWORD* processId) {
    const std::wstring exe = run.exePath.empty() ? InstallerPath() : run.exePath;
    SetWindowsVersion(BaseName(exe), run.windowsVersion);
    SetSystemLanguage(run.languageId);
    SetScreenshotFont(run.screenshotFont);
    const std::wstring appData = AppDataDir();
    if (run.clean) {
        WaitForRemovalProcesses();
        RemoveTree(appData + L"\\KalveronTemp");
        ::DeleteFileW((appData + L"\\InstallLog\\Install.log").c_str());
    }
    std::wstring command = L"\"" + exe + L"\"";
    for (const auto& a : run.args) command += L" " + a;
    std::wstring env = EnvironmentBlock(run.env);

    PROCESS_INFORMATION process = {};
    if (!StartProcess(command, CREATE_UNICODE_ENVIRONMENT, &env[0], std::wstring(), &process)) return nullptr;
    ::CloseHandle(process.hThread);
    if (processId) *processId = process.dwProcessId;
    return process.hProcess;
}

InstallerResult RunInstaller(const InstallerRun& run) {
    InstallerResult result;
    result.appData = AppDataDir();
    result.unpackDir = result.appData + L"\\KalveronTemp";
    si::unique_handle process(StartInstaller(run, &result.processId));
    if (!process) return result;
    result.started = true;
    if (run.during) run.during(process.get());
    if (::WaitForSingleObject(process.get(), run.timeoutMs) == WAIT_OBJECT_0) {
        result.finished = true;
        ::GetExitCodeProcess(process.get(), &result.exitCode);
    } else {
        ::TerminateProcess(process.get(), 255);
        ::WaitForSingleObject(process.get(), 5000);
    }
    ReadFileBytes(result.appData + L"\\InstallLog\\Install.log", &result.log);
    return result;
}

namespace {

bool EncoderClsid(const wchar_t* mime, CLSID* clsid) {
    UINT count = 0, size = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return false;
    std::vector<BYTE> buffer(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, size, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i)
        if (wcscmp(codecs[i].MimeType, mime) == 0) {
            *clsid = codecs[i].Clsid;
            return true;
        }
    return false;
}

}  // namespace

bool SaveScreenshot(const std::wstring& pngPath) {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
    bool ok = false;
    {
        const int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
        si::unique_window_dc screen(nullptr);
        si::unique_memdc mem(::CreateCompatibleDC(screen.get()));
        si::unique_gdiobj bitmap(::CreateCompatibleBitmap(screen.get(), w, h));
        if (mem && bitmap) {
            {
                si::select_object keep(mem.get(), bitmap.get());
                ::BitBlt(mem.get(), 0, 0, w, h, screen.get(), 0, 0, SRCCOPY);
            }
            Gdiplus::Bitmap image(static_cast<HBITMAP>(bitmap.get()), nullptr);
            CLSID png;
            ok = EncoderClsid(L"image/png", &png) && image.Save(pngPath.c_str(), &png, nullptr) == Gdiplus::Ok;
        }
    }
    Gdiplus::GdiplusShutdown(token);
    return ok;
}

namespace {

// Message boxes are dialogs with the text control 0xFFFF; the progress
// window, a dialog too, has no controls.
bool IsMessageBox(HWND hwnd) {
    wchar_t cls[32] = {};
    ::GetClassNameW(hwnd, cls, 32);
    return wcscmp(cls, L"#32770") == 0 && ::GetDlgItem(hwnd, 0xFFFF) != nullptr;
}

struct WindowSearch {
    DWORD processId;
    bool boxes;  // message boxes, or every other window
    std::vector<HWND> found;
};

BOOL CALLBACK FindWindowsOf(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == search->processId && ::IsWindowVisible(hwnd) && IsMessageBox(hwnd) == search->boxes)
        search->found.push_back(hwnd);
    return TRUE;
}

HWND WaitForWindow(DWORD processId, bool box, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        std::vector<HWND> found = WindowsOf(processId, box);
        if (!found.empty()) return found.front();
        if (::GetTickCount() - start > timeoutMs) return nullptr;
        ::Sleep(50);
    }
}

}  // namespace

std::vector<HWND> WindowsOf(DWORD processId, bool messageBoxes) {
    WindowSearch search{processId, messageBoxes, {}};
    ::EnumWindows(&FindWindowsOf, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindInstallerWindow(DWORD processId, DWORD timeoutMs) { return WaitForWindow(processId, false, timeoutMs); }

HWND FindMessageBox(DWORD processId, DWORD timeoutMs) { return WaitForWindow(processId, true, timeoutMs); }

std::wstring MessageBoxText(HWND box) {
    wchar_t text[1024] = {};
    if (box) ::GetDlgItemTextW(box, 0xFFFF, text, 1024);
    return text;
}

std::wstring FindMessageBoxText(DWORD processId, DWORD timeoutMs, HWND* box) {
    HWND found = FindMessageBox(processId, timeoutMs);
    if (box) *box = found;
    return MessageBoxText(found);
}

}  // namespace si_test
