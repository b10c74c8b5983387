// The framework's bounded text helpers and its handle owner, at their edges.
#include <gtest/gtest.h>

#include "framework/win.h"

namespace {

TEST(FormatPath, FitsToTheLastCharacterAndIsEmptiedOtherwise) {
    wchar_t buffer[6];
    EXPECT_TRUE(si::FormatPath(buffer, 6, L"%s\\%s", L"ab", L"cd"));  // 5 characters and the terminator
    EXPECT_STREQ(L"ab\\cd", buffer);
    EXPECT_FALSE(si::FormatPath(buffer, 6, L"%s\\%s", L"ab", L"cde"));
    EXPECT_STREQ(L"", buffer);  // never a cut path
    EXPECT_FALSE(si::Format(buffer, 6, L"%s", L"abcdefgh"));  // Format keeps what fits
    EXPECT_STREQ(L"abcde", buffer);
    EXPECT_FALSE(si::FormatPath(buffer, 0, L"a"));
    // The system's own copy of a file: the same rule.
    wchar_t system[MAX_PATH] = {}, expected[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    ASSERT_TRUE(si::FormatPath(expected, MAX_PATH, L"%s\\cmd.exe", system));
    EXPECT_TRUE(si::SystemFilePath(L"cmd.exe", system, MAX_PATH));
    EXPECT_STREQ(expected, system);
    EXPECT_FALSE(si::SystemFilePath(L"cmd.exe", buffer, 6));
    EXPECT_STREQ(L"", buffer);
}

TEST(CopyText, CutsToTheCapacityAndAlwaysTerminates) {
    wchar_t buffer[4];
    EXPECT_TRUE(si::CopyText(buffer, 4, L"abc"));
    EXPECT_FALSE(si::CopyText(buffer, 4, L"abcd"));
    EXPECT_STREQ(L"abc", buffer);
    EXPECT_TRUE(si::CopyText(buffer, 4, nullptr));
    EXPECT_STREQ(L"", buffer);
    EXPECT_FALSE(si::CopyText(buffer, 0, L"a"));
}

int gClosed = 0;
struct CountingTraits {
    static int invalid() noexcept { return -1; }
    static void close(int) noexcept { ++gClosed; }
};

TEST(ScanInts, ReadsAsScanfWouldAndCountsWhatMatched) {
    int v[4] = {};
    EXPECT_EQ(si::ScanInts(L" 130-140,", L'-', v, 2), 2);
    EXPECT_EQ(v[0], 130);
    EXPECT_EQ(v[1], 140);
    EXPECT_EQ(si::ScanInts(L"-28, +5,7x,9", L',', v, 4), 3);  // "7x" stops the match
    EXPECT_EQ(v[0], -28);
    EXPECT_EQ(v[1], 5);
    EXPECT_EQ(si::ScanInts(L"1 ,2", L',', v, 2), 1);  // no blank before a separator
    EXPECT_EQ(si::ScanInts(L"", L',', v, 4), 0);
    EXPECT_EQ(si::ScanInts(nullptr, L',', v, 4), 0);
}

TEST(UniqueAny, ClosesEachHandleOnceAndNeverTheInvalidValue) {
    {
        si::unique_any<int, CountingTraits> none, one(1);
        si::unique_any<int, CountingTraits> moved(std::move(one));
        EXPECT_FALSE(none || one);
        *moved.put() = 2;  // put() closes the old handle first
        EXPECT_EQ(1, gClosed);
        EXPECT_EQ(2, moved.release());
    }
    EXPECT_EQ(1, gClosed);  // released and empty owners close nothing
}

}  // namespace
