/* The LZMA SDK's own 7z extractor (C/Util/7z/7zMain.c, compiled with its
   main renamed to SdkMain), timed from inside the process: one line
   "result seconds peak_working_set" is written to the file
   named by SI_BENCH_RESULT. */
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>

int SdkMain(int argc, char* argv[]);

int main(int argc, char* argv[]) {
    LARGE_INTEGER frequency, start, end;
    PROCESS_MEMORY_COUNTERS memory;
    const char* resultPath = getenv("SI_BENCH_RESULT");
    int result;
    FILE* out;

    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    result = SdkMain(argc, argv);
    QueryPerformanceCounter(&end);
    ZeroMemory(&memory, sizeof(memory));
    memory.cb = sizeof(memory);
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
    if (resultPath && (out = fopen(resultPath, "w")) != NULL) {
        fprintf(out, "%d %.6f %llu\n", result,
                (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart,
                (unsigned long long)memory.PeakWorkingSetSize);
        fclose(out);
    }
    return result;
}
