// The C++ runtime of the posix-thread toolchain (its exception support takes
// locks through winpthread) imports GetTickCount64, which Windows XP's
// kernel32 lacks: the loader would refuse to start the installer there.
// This module defines the import slot itself, so the linker never takes the
// entry from kernel32's import library, and fills it with a function that
// uses the system's GetTickCount64 where it exists and GetTickCount (which
// wraps after 49.7 days) where it does not.
#include <windows.h>

namespace {

ULONGLONG WINAPI TickCount64() {
    using Fn = ULONGLONG(WINAPI*)();
    static Fn system = nullptr;  // plain static: a guarded one would need the runtime this serves
    static bool looked = false;
    if (!looked) {
        system = reinterpret_cast<Fn>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")));
        looked = true;
    }
    return system ? system() : static_cast<ULONGLONG>(::GetTickCount());
}

}  // namespace

#if defined(__i386__)
extern "C" ULONGLONG(WINAPI* const si_imp_GetTickCount64)() __asm__("__imp__GetTickCount64@0");
#else
extern "C" ULONGLONG(WINAPI* const si_imp_GetTickCount64)() __asm__("__imp_GetTickCount64");
#endif
extern "C" ULONGLONG(WINAPI* const si_imp_GetTickCount64)() = &TickCount64;
