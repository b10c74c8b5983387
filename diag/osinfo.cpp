#include "diag/osinfo.h"

#include "diag/log.h"
#include "framework/win.h"


namespace si {
namespace {

constexpr DWORD kBasicVersionSize = sizeof(OSVERSIONINFOW);    // 276
constexpr DWORD kExtendedVersionSize = sizeof(OSVERSIONINFOEXW);  // 284
static_assert(kBasicVersionSize == 276 && kExtendedVersionSize == 284, "version record sizes");

using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
using GetNativeSystemInfoFn = void(WINAPI*)(SYSTEM_INFO*);

int ClassifyArchitecture(WORD processor) {
    switch (processor) {
    case PROCESSOR_ARCHITECTURE_AMD64:
        WriteLog(L"OS-TYPE is:%d-OS_ARCHITECTURE_X64_AMD64\r\n", OS_ARCHITECTURE_X64_AMD64);
        return OS_ARCHITECTURE_X64_AMD64;
    case PROCESSOR_ARCHITECTURE_IA64:
        WriteLog(L"OS-TYPE is:%d-OS_ARCHITECTURE_IPF_IA64\r\n", OS_ARCHITECTURE_IPF_IA64);
        return OS_ARCHITECTURE_IPF_IA64;
    case PROCESSOR_ARCHITECTURE_INTEL:
        WriteLog(L"OS-TYPE is:%d-OS_ARCHITECTURE_X86_INTEL\r\n", OS_ARCHITECTURE_X86);
        return OS_ARCHITECTURE_X86;
    case PROCESSOR_ARCHITECTURE_UNKNOWN:
        WriteLog(L"OS-TYPE is:%d-OS_ARCHITECTURE_UNKNOWN\r\n", OS_ARCHITECTURE_UNKNOWN);
        return OS_ARCHITECTURE_UNKNOWN;
    default:  // ARM and anything newer
        WriteLog(L"OS-TYPE is:%d-OS_ARCHITECTURE_X86\r\n", OS_ARCHITECTURE_X86);
        return OS_ARCHITECTURE_X86;
    }
}

// The type for one reported version, or -1 when no row matches (the caller
// keeps its starting value). `name` receives the log name of the row.
int ClassifyVersion(const OSVERSIONINFOEXW& v, const wchar_t** name) {
    const DWORD major = v.dwMajorVersion, minor = v.dwMinorVersion;
    if (v.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
        if (major != 4) return -1;
        if (minor == 0) return *name = L"OS_TYPE_95", OS_TYPE_95;
        if (minor == 10) return *name = L"OS_TYPE_98", OS_TYPE_98;
        if (minor == 90) return *name = L"OS_TYPE_ME", OS_TYPE_ME;
        return -1;
    }
    if (v.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        if (major <= 4) return *name = L"OS_TYPE_NT", OS_TYPE_NT;
        if (major == 5) {
            if (minor == 0) return *name = L"OS_TYPE_2K", OS_TYPE_2K;
            if (minor == 1) return *name = L"OS_TYPE_XP", OS_TYPE_XP;
            if (minor == 2) {
                if (v.wProductType == VER_NT_WORKSTATION) return *name = L"OS_TYPE_XP_64", OS_TYPE_XP;
                return *name = L"OS_TYPE_03SVR", OS_TYPE_03SVR;
            }
            return -1;
        }
        if (major == 6) {
            if (minor == 0) return *name = L"OS_TYPE_VISTA", OS_TYPE_VISTA;
            if (minor == 1) return *name = L"OS_TYPE_WIN7", OS_TYPE_WIN7;
            if (minor == 2) return *name = L"OS_TYPE_WIN8", OS_TYPE_WIN8;
            if (minor == 3) return *name = L"OS_TYPE_WIN8_1", OS_TYPE_WIN8_1;
        }
        return -1;
    }
    return *name = nullptr, OS_TYPE_UNKNOWN;
}

void LogVersionLine(const wchar_t* name, const OSVERSIONINFOEXW& v) {
    const int major = static_cast<int>(v.dwMajorVersion), minor = static_cast<int>(v.dwMinorVersion);
    if (!name) {
        WriteLog(L"---OS_TYPE_UNKNOWN---MajorVersion:%d-MinorVersion:%d\r\n", major, minor);
        return;
    }
    // Every known row, NT ones included, carries the same platform text.
    WriteLog(L"---VER_PLATFORM_WIN32_WINDOWS---%s---MajorVersion:%d-MinorVersion:%d\r\n", name, major,
             minor);
}

}  // namespace

WORD SystemOsProbe::ProcessorArchitecture() const {
    SYSTEM_INFO si = {};
    // The native call gives a 32-bit process on a 64-bit system the real processor.
    auto native = si::SystemFunction<GetNativeSystemInfoFn>(L"kernel32.dll", "GetNativeSystemInfo");
    if (native)
        native(&si);
    else
        ::GetSystemInfo(&si);
    return si.wProcessorArchitecture;
}

bool SystemOsProbe::GetVersion(OSVERSIONINFOEXW* record) const {
    return ::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(record)) != FALSE;
}

bool SystemOsProbe::IsWin10OrLater() const { return ::IsWin10OrLater(); }

int DetectOsInfoWith(const OsProbe& probe, OsInfo* info) {
    info->architecture = OS_ARCHITECTURE_X86;
    info->osType = OS_TYPE_XP;
    info->architecture = ClassifyArchitecture(probe.ProcessorArchitecture());

    OSVERSIONINFOEXW v = {};
    v.dwOSVersionInfoSize = kBasicVersionSize;
    if (!probe.GetVersion(&v)) return 0;
    v = OSVERSIONINFOEXW{};
    v.dwOSVersionInfoSize = kExtendedVersionSize;
    if (!probe.GetVersion(&v)) {
        v = OSVERSIONINFOEXW{};
        v.dwOSVersionInfoSize = kBasicVersionSize;
        if (!probe.GetVersion(&v)) return 0;
        v.wProductType = 0;  // the basic record has none
    }

    const wchar_t* name = nullptr;
    int type = ClassifyVersion(v, &name);
    if (type >= 0) {
        info->osType = type;
        LogVersionLine(name, v);
    }
    if (probe.IsWin10OrLater()) {
        info->osType = OS_TYPE_WIN10;
        LogVersionLine(L"OS_TYPE_WIN10", v);
    }
    return 1;
}

}  // namespace si

int DetectOsInfo(OsInfo* info) { return si::DetectOsInfoWith(si::SystemOsProbe(), info); }

namespace {
// The first call looks RtlGetVersion up and keeps the answer, found or not.
// Only start-up's detection calls it, before any other thread exists, so the
// lookup needs no guard (and none is compiled in: a guarded local would pull
// in a runtime that Windows XP cannot load).
bool gRtlGetVersionLooked = false;
si::RtlGetVersionFn gRtlGetVersion = nullptr;
}  // namespace

bool IsWin10OrLater() {
    if (!gRtlGetVersionLooked) {
        gRtlGetVersion = si::SystemFunction<si::RtlGetVersionFn>(L"ntdll.dll", "RtlGetVersion");
        gRtlGetVersionLooked = true;
    }
    if (!gRtlGetVersion) return false;
    OSVERSIONINFOEXW v = {};
    v.dwOSVersionInfoSize = sizeof(v);
    if (gRtlGetVersion(&v) != 0) return false;
    return v.dwMajorVersion >= 10;
}
