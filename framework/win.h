// Small RAII wrappers and bounded-formatting helpers over the Win32 API.
// One helper per idiom, so that no handle is closed twice or leaked and no
// buffer is written past its end.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstddef>
#include <string>
#include <utility>

namespace si {

// A handle with a close function and an invalid value.
template <typename T, typename Traits>
class unique_any {
public:
    unique_any() noexcept = default;
    explicit unique_any(T h) noexcept : h_(h) {}
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& o) noexcept : h_(o.release()) {}
    unique_any& operator=(unique_any&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    ~unique_any() { reset(); }

    T get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != Traits::invalid(); }
    T release() noexcept { T h = h_; h_ = Traits::invalid(); return h; }
    void reset(T h = Traits::invalid()) noexcept {
        if (h_ != Traits::invalid()) Traits::close(h_);
        h_ = h;
    }
    // For out-parameters: closes the current handle first.
    T* put() noexcept { reset(); return &h_; }

private:
    T h_ = Traits::invalid();
};

struct HandleTraits {  // kernel handles whose failure value is null
    static HANDLE invalid() noexcept { return nullptr; }
    static void close(HANDLE h) noexcept { ::CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile and FindFirstFile-style INVALID_HANDLE_VALUE
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { ::CloseHandle(h); }
};
struct FindHandleTraits {
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { ::FindClose(h); }
};
struct KeyTraits {
    static HKEY invalid() noexcept { return nullptr; }
    static void close(HKEY h) noexcept { ::RegCloseKey(h); }
};
struct ModuleTraits {
    static HMODULE invalid() noexcept { return nullptr; }
    static void close(HMODULE h) noexcept { ::FreeLibrary(h); }
};
struct GdiTraits {
    static HGDIOBJ invalid() noexcept { return nullptr; }
    static void close(HGDIOBJ h) noexcept { ::DeleteObject(h); }
};
struct MemDcTraits {
    static HDC invalid() noexcept { return nullptr; }
    static void close(HDC h) noexcept { ::DeleteDC(h); }
};
struct HLocalTraits {
    static HLOCAL invalid() noexcept { return nullptr; }
    static void close(HLOCAL h) noexcept { ::LocalFree(h); }
};
struct HGlobalTraits {
    static HGLOBAL invalid() noexcept { return nullptr; }
    static void close(HGLOBAL h) noexcept { ::GlobalFree(h); }
};

using unique_handle = unique_any<HANDLE, HandleTraits>;
using unique_file = unique_any<HANDLE, FileHandleTraits>;
using unique_find = unique_any<HANDLE, FindHandleTraits>;
using unique_hkey = unique_any<HKEY, KeyTraits>;
using unique_hmodule = unique_any<HMODULE, ModuleTraits>;
using unique_gdiobj = unique_any<HGDIOBJ, GdiTraits>;
using unique_memdc = unique_any<HDC, MemDcTraits>;
using unique_hglobal = unique_any<HGLOBAL, HGlobalTraits>;
using unique_hlocal = unique_any<HLOCAL, HLocalTraits>;

// A function of a system module that is already loaded (kernel32, ntdll,
// advapi32), looked up at run time because older systems lack it: null
// when the module or the function is missing.
template <typename Fn>
Fn SystemFunction(const wchar_t* module, const char* name) noexcept {
    const HMODULE loaded = ::GetModuleHandleW(module);
    return loaded ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(loaded, name))) : nullptr;
}

// "." or "..", the entries a folder listing gives for itself and its parent.
inline bool IsDotEntry(const wchar_t* name) noexcept {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// The attribute query behind IsReparsePoint: GetFileAttributesW. Tests put
// their own in its place to stand in for links the test system cannot make.
// Defined here, so that the decoder library, which links nothing else of
// this layer, shares it.
using FileAttributesFn = DWORD(WINAPI*)(const wchar_t* path);
inline FileAttributesFn gFileAttributes = &::GetFileAttributesW;

// True when `path` exists and is a reparse point: a junction, a symbolic
// link or a mount point. Such an entry is removed, never written, loaded or
// deleted through.
inline bool IsReparsePoint(const wchar_t* path) noexcept {
    const DWORD attributes = gFileAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A window DC from GetDC, given back with ReleaseDC.
class unique_window_dc {
public:
    explicit unique_window_dc(HWND hwnd) noexcept : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
    unique_window_dc(const unique_window_dc&) = delete;
    unique_window_dc& operator=(const unique_window_dc&) = delete;
    ~unique_window_dc() { if (dc_) ::ReleaseDC(hwnd_, dc_); }
    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND hwnd_;
    HDC dc_;
};

// Selects an object into a DC for one scope and puts the previous one back,
// so an object is never deleted while it is selected.
class select_object {
public:
    select_object(HDC dc, HGDIOBJ obj) noexcept : dc_(dc), old_(::SelectObject(dc, obj)) {}
    select_object(const select_object&) = delete;
    select_object& operator=(const select_object&) = delete;
    ~select_object() { if (old_ && old_ != HGDI_ERROR) ::SelectObject(dc_, old_); }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// A paint scope: BeginPaint on construction, EndPaint when it ends.
class unique_hdc_paint {
public:
    explicit unique_hdc_paint(HWND hwnd) noexcept : hwnd_(hwnd), dc_(::BeginPaint(hwnd, &paint_)) {}
    unique_hdc_paint(const unique_hdc_paint&) = delete;
    unique_hdc_paint& operator=(const unique_hdc_paint&) = delete;
    ~unique_hdc_paint() { if (dc_) ::EndPaint(hwnd_, &paint_); }
    HDC get() const noexcept { return dc_; }
    const PAINTSTRUCT& paint() const noexcept { return paint_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND hwnd_;
    PAINTSTRUCT paint_ = {};
    HDC dc_;
};

// The PROCESS_INFORMATION of a started process, both handles owned.
class unique_process_information : public PROCESS_INFORMATION {
public:
    unique_process_information() noexcept : PROCESS_INFORMATION{} {}
    unique_process_information(const unique_process_information&) = delete;
    unique_process_information& operator=(const unique_process_information&) = delete;
    ~unique_process_information() { reset(); }
    void reset() noexcept {
        if (hProcess) ::CloseHandle(hProcess);
        if (hThread) ::CloseHandle(hThread);
        *static_cast<PROCESS_INFORMATION*>(this) = PROCESS_INFORMATION{};
    }
    // For CreateProcessW: closes what is held first.
    PROCESS_INFORMATION* put() noexcept { reset(); return this; }
};

// Runs `fn` when the scope ends, unless release() was called first.
template <typename Fn>
class scope_exit_guard {
public:
    explicit scope_exit_guard(Fn fn) noexcept : fn_(std::move(fn)) {}
    scope_exit_guard(scope_exit_guard&& o) noexcept : fn_(std::move(o.fn_)), armed_(o.armed_) { o.armed_ = false; }
    scope_exit_guard(const scope_exit_guard&) = delete;
    scope_exit_guard& operator=(const scope_exit_guard&) = delete;
    ~scope_exit_guard() { if (armed_) fn_(); }
    void release() noexcept { armed_ = false; }

private:
    Fn fn_;
    bool armed_ = true;
};
template <typename Fn>
[[nodiscard]] scope_exit_guard<Fn> scope_exit(Fn fn) noexcept { return scope_exit_guard<Fn>(std::move(fn)); }

// Starts `commandLine` with its window hidden; `application` (optional) is
// the program's full path, so that nothing is searched for. CreateProcessW
// may write into the command line, so it is handed a copy of at most
// MAX_PATH characters, terminator included.
enum class HiddenStart { Started, TooLong, Failed };  // Failed: GetLastError() says why
HiddenStart StartHiddenProcess(const wchar_t* commandLine, DWORD creationFlags, const wchar_t* currentDir,
                               unique_process_information& process, const wchar_t* application = nullptr) noexcept;

// Walks the folders on the way to `path`, outermost first: `level` gets the
// text before each separator at or after `path + from` (the buffer is cut
// there for the call and put back), and returns false to stop the walk.
// Slashes and backslashes separate, and a slash is turned into a backslash;
// the path itself is not a level of its own. Each caller decides per level
// what to create, log or accept. Header-only and allocation-free: the
// decoder library uses it too.
enum FolderChainOptions : unsigned {
    kChainBackslashOnly = 1,     // a slash is part of a name
    kChainWithSeparator = 2,     // each level ends in its separator: "C:\", "C:\A\"
};
template <typename Level>
bool WalkFolderChain(wchar_t* path, size_t from, unsigned options, Level&& level) {
    for (wchar_t* p = path + from; *p; ++p) {
        if (*p != L'\\' && (*p != L'/' || (options & kChainBackslashOnly))) continue;
        *p = L'\\';
        wchar_t* const end = (options & kChainWithSeparator) ? p + 1 : p;
        const wchar_t kept = *end;
        *end = L'\0';
        const bool goOn = level(static_cast<const wchar_t*>(path));
        *end = kept;
        if (!goOn) return false;
    }
    return true;
}

// The attributes of the entry at `path` as a directory listing reports them
// (FindFirstFileW), INVALID_FILE_ATTRIBUTES when nothing is found there.
inline DWORD ListedAttributes(const wchar_t* path) noexcept {
    WIN32_FIND_DATAW data;
    unique_find find(::FindFirstFileW(path, &data));
    return find ? data.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

// Formats into a fixed buffer of `capacity` wide characters (terminator
// included). The buffer always ends up terminated. Returns false, and leaves
// the text cut to fit, when the whole result does not fit.
bool FormatV(wchar_t* buffer, size_t capacity, const wchar_t* format, va_list args) noexcept;
bool Format(wchar_t* buffer, size_t capacity, const wchar_t* format, ...) noexcept;

// Fixed-capacity path formatting: false and an empty buffer when the result
// would not fit, so a cut path never stands in for another one.
bool FormatPath(wchar_t* buffer, size_t capacity, const wchar_t* format, ...) noexcept;

// "<system folder>\<name>" (GetSystemDirectoryW): the one place where the
// system's own copy of a file is named. False and an empty buffer when the
// folder cannot be read or the path does not fit.
bool SystemFilePath(const wchar_t* name, wchar_t* buffer, size_t capacity) noexcept;

// Reads up to `count` decimal numbers, one after the other with `separator`
// between them, as swscanf with "%d<separator>%d..." does: blanks before a
// number are skipped and a sign is taken. Returns how many were read before
// the text stopped matching.
int ScanInts(const wchar_t* text, wchar_t separator, int* values, int count) noexcept;

// Copies with truncation; always terminates. False when cut.
bool CopyText(wchar_t* buffer, size_t capacity, const wchar_t* text) noexcept;

// A string resource of `module` (null: the process's resource module), empty when missing.
std::wstring LoadStringResource(HMODULE module, UINT id);

}  // namespace si
