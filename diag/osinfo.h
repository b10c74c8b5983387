// Classification of the running Windows version and processor architecture.
#pragma once

#include <windows.h>

enum OsArchitecture : int {
    OS_ARCHITECTURE_X86 = 0,
    OS_ARCHITECTURE_IPF_IA64 = 1,
    OS_ARCHITECTURE_X64_AMD64 = 2,
    OS_ARCHITECTURE_UNKNOWN = 3,
};

enum OsType : int {
    OS_TYPE_95 = 0,
    OS_TYPE_98 = 1,
    OS_TYPE_ME = 2,
    OS_TYPE_NT = 3,
    OS_TYPE_2K = 4,
    OS_TYPE_XP = 5,
    OS_TYPE_03SVR = 6,
    OS_TYPE_VISTA = 7,
    OS_TYPE_WIN7 = 8,
    OS_TYPE_WIN8 = 9,
    OS_TYPE_WIN8_1 = 10,
    OS_TYPE_WIN10 = 11,
    OS_TYPE_UNKNOWN = 12,
};

struct OsInfo {
    int architecture;
    int osType;
};

// Fills `info`; 1 when the version was read and classified, 0 when
// GetVersionExW failed (the architecture is set by then, osType stays 5).
int DetectOsInfo(OsInfo* info);

// True when ntdll's RtlGetVersion exists, succeeds and reports 10 or later.
bool IsWin10OrLater();

namespace si {

// What the system reports, behind one seam so the classification can be
// driven with any numbers.
class OsProbe {
public:
    virtual ~OsProbe() = default;
    virtual WORD ProcessorArchitecture() const = 0;
    // GetVersionExW with the record's size already set; false when it fails.
    virtual bool GetVersion(OSVERSIONINFOEXW* record) const = 0;
    virtual bool IsWin10OrLater() const = 0;
};

class SystemOsProbe final : public OsProbe {
public:
    WORD ProcessorArchitecture() const override;
    bool GetVersion(OSVERSIONINFOEXW* record) const override;
    bool IsWin10OrLater() const override;
};

int DetectOsInfoWith(const OsProbe& probe, OsInfo* info);

}  // namespace si
