#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diag/log.h"
#include "diag/osinfo.h"
#include "tests/support/test_support.h"

namespace {

struct FakeProbe : si::OsProbe {
    WORD arch = PROCESSOR_ARCHITECTURE_AMD64;
    DWORD platform = VER_PLATFORM_WIN32_NT, major = 6, minor = 1;
    BYTE productType = VER_NT_WORKSTATION;
    bool basicFails = false, extendedFails = false, win10 = false;
    mutable std::vector<DWORD> sizesAsked;

    WORD ProcessorArchitecture() const override { return arch; }
    bool GetVersion(OSVERSIONINFOEXW* v) const override {
        sizesAsked.push_back(v->dwOSVersionInfoSize);
        const bool extended = v->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXW);
        if (extended ? extendedFails : basicFails) return false;
        v->dwPlatformId = platform;
        v->dwMajorVersion = major;
        v->dwMinorVersion = minor;
        if (extended) v->wProductType = productType;
        return true;
    }
    bool IsWin10OrLater() const override { return win10; }
};

struct Detected {
    int result;
    OsInfo info;
    std::string log;
};

Detected Detect(const FakeProbe& probe) {
    si_test::LogCapture log;
    Detected d{};
    d.result = si::DetectOsInfoWith(probe, &d.info);
    d.log = log.Text();
    return d;
}

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(OsArchitecture, EveryReportedProcessorMapsToItsCodeAndLine) {
    struct Row {
        WORD reported;
        int code;
        const char* line;
    } rows[] = {
        {PROCESSOR_ARCHITECTURE_INTEL, 0, "OS-TYPE is:0-OS_ARCHITECTURE_X86_INTEL\r\r\n"},
        {PROCESSOR_ARCHITECTURE_IA64, 1, "OS-TYPE is:1-OS_ARCHITECTURE_IPF_IA64\r\r\n"},
        {PROCESSOR_ARCHITECTURE_AMD64, 2, "OS-TYPE is:2-OS_ARCHITECTURE_X64_AMD64\r\r\n"},
        {PROCESSOR_ARCHITECTURE_UNKNOWN, 3, "OS-TYPE is:3-OS_ARCHITECTURE_UNKNOWN\r\r\n"},
        {5 /* ARM */, 0, "OS-TYPE is:0-OS_ARCHITECTURE_X86\r\r\n"},
        {12 /* ARM64 */, 0, "OS-TYPE is:0-OS_ARCHITECTURE_X86\r\r\n"},
    };
    for (const Row& row : rows) {
        FakeProbe p;
        p.arch = row.reported;
        Detected d = Detect(p);
        EXPECT_EQ(d.info.architecture, row.code) << row.reported;
        EXPECT_NE(d.log.find(row.line), std::string::npos) << d.log;
    }
}

TEST(OsType, EveryVersionRowGivesItsCodeAndExactLine) {
    struct Row {
        DWORD platform, major, minor;
        BYTE product;
        int code;
        const char* line;  // null: no OS type line
    } rows[] = {
        {1, 4, 0, 0, 0, "---VER_PLATFORM_WIN32_WINDOWS---OS_TYPE_95---MajorVersion:4-MinorVersion:0\r\r\n"},
        {1, 4, 10, 0, 1, "---VER_PLATFORM_WIN32_WINDOWS---OS_TYPE_98---MajorVersion:4-MinorVersion:10\r\r\n"},
        {1, 4, 90, 0, 2, "---VER_PLATFORM_WIN32_WINDOWS---OS_TYPE_ME---MajorVersion:4-MinorVersion:90\r\r\n"},
        {1, 4, 50, 0, 5, nullptr},
        {1, 5, 0, 0, 5, nullptr},
        {2, 3, 51, 1, 3, "---VER_PLATFORM_WIN32_WINDOWS---OS_TYPE_NT---MajorVersion:3-MinorVersion:51\r\r\n"},
        {2, 4, 0, 1, 3, "---VER_PLATFORM_WIN32_WINDOWS---OS_TYPE_NT---MajorVersion:4-MinorVersion:0\r\r\n"},
        {2, 5, 0, 1, 4, "---VER_PLATFORM_WIN32_WINDOWS---OS_TYPE_2K---MajorVersion:5-MinorVersion:0\r\r\n"},
        {2, 5, 1, 1, 5, "---VER_PLATFORM_WIN32_WINDOWS---OS_TYPE_XP---MajorVersion:5-MinorVersion:1\r\r\n"},
        {2, 5, 2, 1, 5, "---VER_PLATFORM_WIN32_WINDOWS---OS_TYPE_XP_64---MajorVersion:5-MinorVersion:2\r\r\n"},
        {2, 5, 2, 3, 6, "---VER_PLATFORM_WIN32_WINDOWS---OS_TYPE_03SVR---MajorVersion:5-MinorVersion:2\r\r\n"},
        {2, 5, 3, 1, 5, nullptr},
        {2, 6, 0, 1, 7, "---VER_PLATFORM_WIN32_WINDOWS---OS_TYPE_VISTA---MajorVersion:6-MinorVersion:0\r\r\n"},
        {2, 6, 1, 1, 8, "---VER_PLATFORM_WIN32_WINDOWS---OS_TYPE_WIN7---MajorVersion:6-MinorVersion:1\r\r\n"},
        {2, 6, 2, 1, 9, "---VER_PLATFORM_WIN32_WINDOWS---OS_TYPE_WIN8---MajorVersion:6-MinorVersion:2\r\r\n"},
        {2, 6, 3, 1, 10, "---VER_PLATFORM_WIN32_WINDOWS---OS_TYPE_WIN8_1---MajorVersion:6-MinorVersion:3\r\r\n"},
        {2, 6, 4, 1, 5, nullptr},
        {2, 7, 0, 1, 5, nullptr},
        {0, 3, 1, 0, 12, "---OS_TYPE_UNKNOWN---MajorVersion:3-MinorVersion:1\r\r\n"},
        {3, 10, 0, 0, 12, "---OS_TYPE_UNKNOWN---MajorVersion:10-MinorVersion:0\r\r\n"},
    };
    for (const Row& row : rows) {
        FakeProbe p;
        p.platform = row.platform;
        p.major = row.major;
        p.minor = row.minor;
        p.productType = row.product;
        Detected d = Detect(p);
        SCOPED_TRACE(testing::Message() << row.platform << ":" << row.major << "." << row.minor);
        EXPECT_EQ(d.result, 1);
        EXPECT_EQ(d.info.osType, row.code);
        EXPECT_EQ(Count(d.log, "MajorVersion:"), row.line ? 1 : 0) << d.log;
        if (row.line) { EXPECT_NE(d.log.find(row.line), std::string::npos) << d.log; }
    }
}

TEST(OsType, Windows10IsFoundByTheKernelProbeAfterTheCapped81Line) {
    FakeProbe p;
    p.major = 6;
    p.minor = 3;
    p.win10 = true;
    Detected d = Detect(p);
    EXPECT_EQ(d.info.osType, OS_TYPE_WIN10);
    const size_t w81 = d.log.find("---OS_TYPE_WIN8_1---MajorVersion:6-MinorVersion:3");
    const size_t w10 = d.log.find("---VER_PLATFORM_WIN32_WINDOWS---OS_TYPE_WIN10---MajorVersion:6-MinorVersion:3");
    ASSERT_NE(w81, std::string::npos);
    ASSERT_NE(w10, std::string::npos);
    EXPECT_LT(w81, w10);

    // The probe overrides every row, the unknown platform included.
    p.platform = 0;
    EXPECT_EQ(Detect(p).info.osType, OS_TYPE_WIN10);
    // Without it a 6.4 or 7.0 system keeps the starting value.
    p.platform = 2;
    p.minor = 4;
    p.win10 = false;
    EXPECT_EQ(Detect(p).info.osType, OS_TYPE_XP);
}

TEST(OsType, FailingVersionQueriesFallBack) {
    FakeProbe p;
    p.basicFails = true;  // first query fails: 0, XP kept, architecture already set
    Detected d = Detect(p);
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.info.osType, OS_TYPE_XP);
    EXPECT_EQ(d.info.architecture, OS_ARCHITECTURE_X64_AMD64);
    EXPECT_EQ(Count(d.log, "MajorVersion:"), 0);

    // Extended query failing on 5.2: product type stays 0, so a server.
    FakeProbe q;
    q.major = 5;
    q.minor = 2;
    q.extendedFails = true;
    d = Detect(q);
    EXPECT_EQ(d.result, 1);
    EXPECT_EQ(d.info.osType, OS_TYPE_03SVR);
    EXPECT_EQ(q.sizesAsked, (std::vector<DWORD>{276, 284, 276}));
}

TEST(OsType, RealSystemUnderWineIsClassified) {
    OsInfo info{};
    EXPECT_EQ(DetectOsInfo(&info), 1);
    EXPECT_EQ(info.architecture, OS_ARCHITECTURE_X64_AMD64);
    EXPECT_NE(info.osType, OS_TYPE_UNKNOWN);
}

}  // namespace
