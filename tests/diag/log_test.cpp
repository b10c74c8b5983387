#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "diag/log.h"
#include "tests/support/test_support.h"

namespace {

std::wstring Entry(const SYSTEMTIME& t, DWORD thread, const wchar_t* format, ...) {
    wchar_t entry[kLogEntryChars];
    va_list args;
    va_start(args, format);
    bool ok = si::FormatLogEntry(entry, kLogEntryChars, t, thread, format, args);
    va_end(args);
    return ok ? std::wstring(entry) : std::wstring(L"<failed>");
}

SYSTEMTIME Time(WORD h, WORD m, WORD s, WORD ms) {
    SYSTEMTIME t = {};
    t.wHour = h;
    t.wMinute = m;
    t.wSecond = s;
    t.wMilliseconds = ms;
    return t;
}

TEST(LogEntry, PrefixCarriesTimeWithoutLeadingHourZeroAndThreadInHex) {
    EXPECT_EQ(Entry(Time(7, 3, 9, 5), 255, L"abc"), L"\n7:03:09.005 [0x000000FF]: abc");
    EXPECT_EQ(Entry(Time(9, 5, 3, 42), 6700, L"abc"), L"\n9:05:03.042 [0x00001A2C]: abc");
    EXPECT_EQ(Entry(Time(23, 59, 59, 999), 0xDEADBEEF, L"x=%d %s\r\n", 42, L"y"),
              L"\n23:59:59.999 [0xDEADBEEF]: x=42 y\r\n");
}

TEST(LogEntry, OverlongMessageIsCutAtTheEntryEnd) {
    // A two-digit hour gives a 28-character prefix: 995 message characters fit.
    const std::wstring fits(995, L'a'), tooLong(5000, L'b');
    std::wstring e = Entry(Time(12, 0, 0, 0), 1, L"%s", fits.c_str());
    EXPECT_EQ(e.size(), 28u + 995u);
    e = Entry(Time(12, 0, 0, 0), 1, L"%s", tooLong.c_str());
    EXPECT_EQ(e.size(), kLogEntryChars - 1);
    EXPECT_EQ(e.back(), L'b');
}

TEST(WriteLog, AppendsTextModeEntriesAndNeverReformatsArguments) {
    si_test::LogCapture log;
    WriteLog(L"path %s\r\n", L"C:\\100%d\\x");
    WriteLog(L"second");
    const std::string text = log.Text();
    // Every line feed becomes CR LF; a message ending in \r\n ends in CR CR LF.
    const size_t first = text.find("]: path C:\\100%d\\x\r\r\n");
    ASSERT_NE(first, std::string::npos) << text;
    EXPECT_EQ(text.compare(0, 2, "\r\n"), 0);
    EXPECT_NE(text.find("]: second"), std::string::npos);
}

// Every character reaches the file, as UTF-8: the full-width "!" and user
// folders in any script (the C runtime's text mode stopped at the first
// character above U+00FF).
TEST(WriteLog, EveryCharacterReachesTheFileAsUtf8) {
    si_test::LogCapture log;
    const wchar_t* path = L"C:\\users\\\u7530\u4E2D \u0416\u0435\u043D\u044F \u0E2A\u0E21\u0E0A\u0E32\u0E22 J\u00FCrgen";
    WriteLog(L"UnPackFromRes::SetOutDir ->Creat outDir  %s succes\uFF01 ", path);
    EXPECT_NE(log.Text().find("]: UnPackFromRes::SetOutDir ->Creat outDir  " + si_test::Narrow(path) + " succes\xEF\xBC\x81 "),
              std::string::npos)
        << log.Text();
    EXPECT_EQ("\r\nA\r\r\n\xE2\x80\xA6", si::LogEntryBytes(L"\nA\r\n\u2026"));
}

// Off, without a path, or with a link (a stand-in: Wine makes none) in the
// log folder's place, nothing is written.
TEST(WriteLog, SwitchedOffWithoutPathOrThroughALinkWritesNothing) {
    si_test::TempDir dir;
    const std::wstring path = dir / L"Install.log";
    wchar_t saved[MAX_PATH];
    wcscpy_s(saved, gLogPath);
    wcscpy_s(gLogPath, path.c_str());
    gLogEnabled = 0;
    WriteLog(L"nothing %d", 1);
    EXPECT_FALSE(si_test::FileExists(path));

    gLogEnabled = 1;
    {
        si_test::FakeLinks link({dir.path()});
        WriteLog(L"through a link");
        EXPECT_FALSE(si_test::FileExists(path));
    }
    WriteLog(L"in place");
    EXPECT_TRUE(si_test::FileExists(path));
    ASSERT_TRUE(::DeleteFileW(path.c_str()));

    gLogEnabled = 1;
    gLogPath[0] = L'\0';
    WriteLog(L"nowhere");  // no file to write to: dropped silently
    EXPECT_FALSE(si_test::FileExists(path));
    gLogEnabled = 0;
    wcscpy_s(gLogPath, saved);
}

}  // namespace
