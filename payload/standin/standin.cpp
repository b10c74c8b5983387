// Stand-in for every program the sample payload carries: the driver install
// tools, the auto-install service programs and the uninstaller. It does no
// work of its own. It records how it was started (record_format.h), waits if
// asked to and ends with the exit code the environment chooses, so tests can
// see exactly what the installer ran, from where and how.
//
// The installer carries it five times over, so it keeps to the C runtime
// and fixed buffers and is built without exceptions: the C++ library's
// strings and terminate handler would make it eight times larger.
#include <windows.h>
#include <strsafe.h>

#include <cwchar>

#include "framework/win.h"
#include "payload/standin/record_format.h"

namespace {

using si_standin::kExitVar;
using si_standin::kRecordVar;
using si_standin::kSleepVar;

// Longest command line, path or environment value Windows hands out, plus terminator.
constexpr DWORD kMaxText = 32768;
// UTF-8 takes at most 3 bytes per UTF-16 unit; an escape turns 1 byte into 3.
constexpr size_t kMaxField = 3 * 3 * kMaxText;

// The large buffers live on the heap, not in the file.
struct Buffers {
    wchar_t modulePath[kMaxText];
    wchar_t currentDir[kMaxText];
    wchar_t recordPath[kMaxText];
    wchar_t value[kMaxText];
    char utf8[3 * kMaxText];
    char line[3 * kMaxField + 32];
};
Buffers* g = nullptr;

// Serialises the appends of stand-ins that start at the same moment.
constexpr wchar_t kRecordMutex[] = L"SetupInstallStandinRecord";
constexpr DWORD kRecordMutexWaitMs = 10000;

// The value of an environment variable into `buffer`; false when it is not
// set, empty or too long.
bool GetEnv(const wchar_t* name, wchar_t* buffer, DWORD capacity) {
    DWORD n = ::GetEnvironmentVariableW(name, buffer, capacity);
    if (n == 0 || n >= capacity) {
        buffer[0] = L'\0';
        return false;
    }
    return true;
}

// The program's file name without folder and extension, upper case
// ("C:\x\Corvane64.exe" -> "CORVANE64"): the suffix of the per-program settings.
bool SettingSuffix(const wchar_t* modulePath, wchar_t* suffix, size_t capacity) {
    const wchar_t* name = modulePath;
    for (const wchar_t* p = modulePath; *p; ++p) {
        if (*p == L'\\' || *p == L'/') name = p + 1;
    }
    if (FAILED(::StringCchCopyW(suffix, capacity, name))) return false;
    wchar_t* dot = std::wcsrchr(suffix, L'.');
    if (dot) *dot = L'\0';
    ::CharUpperBuffW(suffix, static_cast<DWORD>(std::wcslen(suffix)));
    return true;
}

// A number setting: the per-program variable first, then the common one.
// Decimal, or hexadecimal with 0x; a value that is not a whole number is ignored.
long long NumberSetting(const wchar_t* common, const wchar_t* suffix, long long fallback) {
    wchar_t perProgram[512];
    const bool hasPerProgram =
        *suffix && SUCCEEDED(::StringCchPrintfW(perProgram, ARRAYSIZE(perProgram), L"%s_%s", common, suffix));
    const wchar_t* names[] = {hasPerProgram ? perProgram : nullptr, common};
    for (const wchar_t* name : names) {
        if (!name || !GetEnv(name, g->value, kMaxText)) continue;
        wchar_t* end = nullptr;
        long long value = std::wcstoll(g->value, &end, 0);
        if (end != g->value && *end == L'\0') return value;
    }
    return fallback;
}

// A line in a fixed buffer that remembers whether anything did not fit.
struct Line {
    char* data;
    size_t capacity;
    size_t length = 0;
    bool overflow = false;

    void Put(char c) {
        if (length < capacity) data[length++] = c;
        else overflow = true;
    }
    // `text` as UTF-8 with the record's escapes.
    void PutField(const wchar_t* text) {
        int n = 0;
        if (*text) {
            n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, g->utf8, sizeof(g->utf8), nullptr, nullptr);
            if (n <= 0) {
                overflow = true;
                return;
            }
            --n;  // without the terminator
        }
        size_t written = 0;
        if (!si_standin::EscapeInto(data + length, capacity - length, g->utf8, static_cast<size_t>(n), &written))
            overflow = true;
        length += written;
    }
    void PutNumber(int value) {
        char digits[16];
        int count = 0;
        unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
        do {
            digits[count++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (value < 0) Put('-');
        while (count > 0) Put(digits[--count]);
    }
};

// Appends one whole line. The mutex keeps stand-ins of one system from
// interleaving; the append-only handle with the end-of-file offset makes
// each write land at the end even without it.
bool AppendLine(const wchar_t* path, const char* line, size_t length) {
    si::unique_handle mutex(::CreateMutexW(nullptr, FALSE, kRecordMutex));
    bool owned = false;
    if (mutex) {
        DWORD wait = ::WaitForSingleObject(mutex.get(), kRecordMutexWaitMs);
        owned = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    }
    bool ok = false;
    {
        si::unique_file file;
        for (int attempt = 0; attempt < 50; ++attempt) {
            file.reset(::CreateFileW(path, FILE_APPEND_DATA | SYNCHRONIZE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file || ::GetLastError() != ERROR_SHARING_VIOLATION) break;
            ::Sleep(20);
        }
        if (file) {
            OVERLAPPED atEnd = {};
            atEnd.Offset = 0xFFFFFFFF;
            atEnd.OffsetHigh = 0xFFFFFFFF;
            DWORD written = 0;
            ok = ::WriteFile(file.get(), line, static_cast<DWORD>(length), &written, &atEnd) &&
                 written == length;
        }
    }
    if (owned) ::ReleaseMutex(mutex.get());
    return ok;
}

// One line: module path, command line, current directory, show-window value.
bool RecordStart() {
    if (!GetEnv(kRecordVar, g->recordPath, kMaxText)) return true;  // nobody is listening

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    ::GetStartupInfoW(&startup);
    const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? static_cast<int>(startup.wShowWindow) : -1;

    DWORD n = ::GetCurrentDirectoryW(kMaxText, g->currentDir);
    if (n == 0 || n >= kMaxText) g->currentDir[0] = L'\0';

    Line line{g->line, sizeof(g->line)};
    line.PutField(g->modulePath);
    line.Put('\t');
    line.PutField(::GetCommandLineW());
    line.Put('\t');
    line.PutField(g->currentDir);
    line.Put('\t');
    line.PutNumber(show);
    line.Put('\n');
    // A line that did not fit whole is not written: a reader sees no start
    // rather than a wrong one.
    return !line.overflow && AppendLine(g->recordPath, line.data, line.length);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    g = static_cast<Buffers*>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Buffers)));
    if (!g) return 255;
    DWORD n = ::GetModuleFileNameW(nullptr, g->modulePath, kMaxText);
    if (n == 0 || n >= kMaxText) g->modulePath[0] = L'\0';
    RecordStart();

    wchar_t suffix[256];
    if (!SettingSuffix(g->modulePath, suffix, ARRAYSIZE(suffix))) suffix[0] = L'\0';
    const long long sleepMs = NumberSetting(kSleepVar, suffix, 0);
    if (sleepMs > 0) ::Sleep(static_cast<DWORD>(sleepMs > 0x7FFFFFFF ? 0x7FFFFFFF : sleepMs));
    return static_cast<int>(static_cast<UINT>(NumberSetting(kExitVar, suffix, 0)));
}
