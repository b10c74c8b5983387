/* Planted as gdiplus.dll, comctl32.dll, ...: its load leaves "<its path>.loaded". */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        static const wchar_t suffix[] = L".loaded";
        wchar_t path[MAX_PATH + sizeof(suffix) / sizeof(suffix[0])];
        const DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
        if (n > 0 && n < MAX_PATH) {
            memcpy(path + n, suffix, sizeof(suffix));
            HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
            if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
        }
    }
    return TRUE;
}
