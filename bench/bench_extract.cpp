// Extraction benchmark: ExtractFiles of 7zDec.dll against the LZMA SDK's own
// extractor (sdk_7zdec.exe, built from the same SDK sources), on the same
// archive in the same run. Every measured extraction runs in a child process
// of its own, which times itself and reports its peak memory, so neither
// contender pays for the other's allocations. Peak memory is the peak working
// set (Wine leaves the peak commit charge unfilled).
//
//   bench_extract ARCHIVE WORKFOLDER 7ZDEC_DLL SDK_EXE [ROUNDS]
//
// The outputs of the last round stay in WORKFOLDER\dll and WORKFOLDER\sdk.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "decoder/7zdec.h"
#include "framework/win.h"

#include "tests/support/test_support.h"

namespace {

struct Measure {
    int result = -1;
    double seconds = 0;
    unsigned long long peakWorkingSet = 0;
    bool valid = false;
};

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool WriteMeasure(const wchar_t* path, int result, double seconds) {
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof(memory);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));
    FILE* out = _wfopen(path, L"w");
    if (!out) return false;
    std::fprintf(out, "%d %.6f %llu\n", result, seconds,
                 static_cast<unsigned long long>(memory.PeakWorkingSetSize));
    return std::fclose(out) == 0;
}

Measure ReadMeasure(const std::wstring& path) {
    Measure m;
    FILE* in = _wfopen(path.c_str(), L"r");
    if (!in) return m;
    m.valid = std::fscanf(in, "%d %lf %llu", &m.result, &m.seconds, &m.peakWorkingSet) == 3;
    std::fclose(in);
    return m;
}

// Child: load the library as the installer does and extract once into
// `folder` (given without its final backslash, which would escape the quote
// that closes the argument).
int ChildExtract(const wchar_t* library, const wchar_t* archive, const wchar_t* folder, const wchar_t* resultPath) {
    si::unique_hmodule module(::LoadLibraryW(library));
    if (!module) return 90;
    auto extract = reinterpret_cast<ExtractFilesFn>(
        reinterpret_cast<void*>(::GetProcAddress(module.get(), "ExtractFiles")));
    if (!extract) return 91;
    char narrow[MAX_PATH] = {};
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, archive, -1, narrow, MAX_PATH, nullptr, nullptr);
    LARGE_INTEGER start, end;
    ::QueryPerformanceCounter(&start);
    const std::wstring output = std::wstring(folder) + L"\\";  // the installer's form
    const int result = extract(narrow, output.c_str(), nullptr);
    ::QueryPerformanceCounter(&end);
    return WriteMeasure(resultPath, result, Seconds(start, end)) ? 0 : 92;
}

struct TreeSize {
    unsigned long long bytes = 0;
    unsigned files = 0;
    unsigned folders = 0;
};

void SizeOfTree(const std::wstring& path, TreeSize* size) {
    WIN32_FIND_DATAW data;
    si::unique_find find(::FindFirstFileW((path + L"\\*").c_str(), &data));
    if (!find) return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ++size->folders;
            SizeOfTree(path + L"\\" + name, size);
        } else {
            ++size->files;
            size->bytes += (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        }
    } while (::FindNextFileW(find.get(), &data));
}

// Runs `commandLine` in `folder` with stdout and stderr into `logPath`; the
// child reports into `resultPath`.
Measure RunChild(const std::wstring& commandLine, const std::wstring& folder, const std::wstring& logPath,
                 const std::wstring& resultPath) {
    ::DeleteFileW(resultPath.c_str());
    ::SetEnvironmentVariableW(L"SI_BENCH_RESULT", resultPath.c_str());
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    si::unique_file log(::CreateFileW(logPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = log.get();
    startup.hStdError = log.get();
    PROCESS_INFORMATION process = {};
    std::wstring command = commandLine;
    if (!log || !::CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                                  &startup, &process)) {
        std::fprintf(stderr, "cannot start a child (error %lu)\n", ::GetLastError());
        return Measure();
    }
    si::unique_handle processHandle(process.hProcess), threadHandle(process.hThread);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    return ReadMeasure(resultPath);
}

std::wstring Quote(const std::wstring& text) { return L"\"" + text + L"\""; }

double MiB(unsigned long long bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

void PrintRow(const char* what, const Measure& m, unsigned long long bytes) {
    if (!m.valid) {
        std::printf("%-34s  no result\n", what);
        return;
    }
    std::printf("%-34s  %8.2f s  %8.1f MiB/s  %8.1f MiB  (result %d)\n", what, m.seconds,
                m.seconds > 0 ? MiB(bytes) / m.seconds : 0.0, MiB(m.peakWorkingSet), m.result);
}

const Measure& Best(const std::vector<Measure>& runs) {
    size_t best = 0;
    for (size_t i = 1; i < runs.size(); ++i)
        if (runs[i].valid && (!runs[best].valid || runs[i].seconds < runs[best].seconds)) best = i;
    return runs[best];
}

int Parent(const std::wstring& archive, const std::wstring& work, const std::wstring& library,
           const std::wstring& sdk, int rounds) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring dllOut = work + L"\\dll", sdkOut = work + L"\\sdk";
    std::vector<Measure> dllRuns, sdkRuns;
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            // Alternate who goes first, so that neither always finds the warmer cache.
            const bool dll = (turn == 0) == (round % 2 == 0);
            const std::wstring& out = dll ? dllOut : sdkOut;
            si_test::RemoveTree(out);
            ::CreateDirectoryW(out.c_str(), nullptr);
            if (dll) {
                dllRuns.push_back(RunChild(Quote(self) + L" --extract " + Quote(library) + L" " + Quote(archive) +
                                               L" " + Quote(out) + L" " + Quote(work + L"\\dll.result"),
                                           work, work + L"\\dll.log", work + L"\\dll.result"));
            } else {
                sdkRuns.push_back(RunChild(Quote(sdk) + L" x " + Quote(archive), out, work + L"\\sdk.log",
                                           work + L"\\sdk.result"));
            }
        }
    }
    const Measure sdkTest = RunChild(Quote(sdk) + L" t " + Quote(archive), work, work + L"\\sdk_t.log",
                                     work + L"\\sdk_t.result");
    const Measure idle = RunChild(Quote(self) + L" --idle " + Quote(work + L"\\idle.result"), work,
                                  work + L"\\idle.log", work + L"\\idle.result");

    TreeSize dllTree, sdkTree;
    SizeOfTree(dllOut, &dllTree);
    SizeOfTree(sdkOut, &sdkTree);
    WIN32_FILE_ATTRIBUTE_DATA archiveData = {};
    ::GetFileAttributesExW(archive.c_str(), GetFileExInfoStandard, &archiveData);
    const unsigned long long packed =
        (static_cast<unsigned long long>(archiveData.nFileSizeHigh) << 32) | archiveData.nFileSizeLow;

    const unsigned long long unpacked = std::max(dllTree.bytes, sdkTree.bytes);
    std::printf("archive: %.1f MiB packed, %.1f MiB in %u files and %u folders\n", MiB(packed),
                MiB(dllTree.bytes), dllTree.files, dllTree.folders);
    if (dllTree.bytes != sdkTree.bytes || dllTree.files != sdkTree.files || dllTree.folders != sdkTree.folders)
        std::printf("MISMATCH: the SDK extractor wrote %.1f MiB in %u files and %u folders\n",
                    MiB(sdkTree.bytes), sdkTree.files, sdkTree.folders);
    std::printf("%-34s  %10s  %14s  %12s\n", "", "time", "throughput", "peak WS");
    char label[64];
    for (size_t i = 0; i < dllRuns.size(); ++i) {
        std::snprintf(label, sizeof(label), "ExtractFiles, round %u", static_cast<unsigned>(i + 1));
        PrintRow(label, dllRuns[i], unpacked);
        std::snprintf(label, sizeof(label), "SDK 7zMain x, round %u", static_cast<unsigned>(i + 1));
        PrintRow(label, sdkRuns[i], unpacked);
    }
    PrintRow("SDK 7zMain t (decode only)", sdkTest, unpacked);
    const Measure& bestDll = Best(dllRuns);
    const Measure& bestSdk = Best(sdkRuns);
    PrintRow("ExtractFiles, best", bestDll, unpacked);
    PrintRow("SDK 7zMain x, best", bestSdk, unpacked);
    if (idle.valid)
        std::printf("peak WS of an idle process (Wine's own share): %.1f MiB\n", MiB(idle.peakWorkingSet));
    if (bestDll.valid && bestSdk.valid && bestDll.seconds > 0)
        std::printf("throughput ratio ExtractFiles / SDK extractor: %.3f (best of %d rounds each)\n",
                    bestSdk.seconds / bestDll.seconds, rounds);
    bool ok = sdkTest.valid && sdkTest.result == 0;
    for (const Measure& m : dllRuns) ok = ok && m.valid && m.result == EXTRACT_OK;
    for (const Measure& m : sdkRuns) ok = ok && m.valid && m.result == 0;
    return ok ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
    if (argc == 6 && std::wstring(argv[1]) == L"--extract") return ChildExtract(argv[2], argv[3], argv[4], argv[5]);
    if (argc == 3 && std::wstring(argv[1]) == L"--idle") return WriteMeasure(argv[2], 0, 0) ? 0 : 92;
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: bench_extract ARCHIVE WORKFOLDER 7ZDEC_DLL SDK_EXE [ROUNDS]\n");
        return 2;
    }
    const int rounds = argc == 6 ? std::max(1, _wtoi(argv[5])) : 2;
    return Parent(argv[1], argv[2], argv[3], argv[4], rounds);
}
