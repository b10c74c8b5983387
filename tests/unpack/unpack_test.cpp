#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "state/globals.h"
#include "framework/win.h"
#include "tests/support/test_support.h"
#include "unpack/unpack_folder.h"
#include "unpack/unpack_from_res.h"

namespace {

using si_test::FileText;
using si_test::LogCapture;
using si_test::TempDir;

std::string Resource(int id) {
    HRSRC info = ::FindResourceW(nullptr, MAKEINTRESOURCEW(id), L"SETUPFILES");
    const void* data = ::LockResource(::LoadResource(nullptr, info));
    return std::string(static_cast<const char*>(data), ::SizeofResource(nullptr, info));
}

class Unpacker : public testing::Test {
protected:
    void SetUp() override { si::CopyText(gUnPackDirPath, MAX_PATH, (dir_ / L"KalveronTemp").c_str()); }
    void TearDown() override {
        si::ReleaseWrittenFiles();
        si::ReleaseUnpackFolder();
    }
    std::wstring Out(const wchar_t* name) const { return dir_ / (std::wstring(L"KalveronTemp\\") + name); }
    bool Run(UINT list) {  // what an earlier run wrote was used by now
        si::ReleaseWrittenFiles();
        return unpack_.InitResouse(::GetModuleHandleW(nullptr), L"SETUPFILES", list) && unpack_.SetOutDir() &&
               unpack_.UnPack();
    }
    TempDir dir_;
    LogCapture log_;
    UnPackFromRes unpack_;
};

TEST_F(Unpacker, WritesEveryListedResourceByteForByteInListOrder) {
    ASSERT_TRUE(Run(900));
    EXPECT_EQ(unpack_.Count(), 2);
    EXPECT_EQ(FileText(Out(L"alpha.bin")), Resource(901));
    EXPECT_EQ(FileText(Out(L"beta.bin")), Resource(902));
    EXPECT_NE(log_.Text().find("UnPackFromRes::SetOutDir ->Creat outDir  "), std::string::npos);
    // Until used, what was written cannot be changed or deleted, nor the folder moved.
    EXPECT_FALSE(si_test::WriteFileBytes(Out(L"beta.bin"), "planted"));
    EXPECT_FALSE(::DeleteFileW(Out(L"beta.bin").c_str()));
    EXPECT_FALSE(::MoveFileW(gUnPackDirPath, (dir_ / L"moved").c_str()));
    EXPECT_EQ(FileText(Out(L"beta.bin")), Resource(902));

    // A second run starts from a fresh list and writes the same files again.
    si::ReleaseWrittenFiles();
    si_test::WriteFileBytes(Out(L"beta.bin"), "stale");
    ASSERT_EQ(unpack_.UnPack(), 1);
    EXPECT_EQ(unpack_.Count(), 2);
    EXPECT_EQ(FileText(Out(L"beta.bin")), Resource(902));
}

TEST_F(Unpacker, ParsesSingleItemsBlanksAndMissingNames) {
    ASSERT_TRUE(Run(901));  // one item, no comma
    EXPECT_EQ(unpack_.Count(), 1);
    EXPECT_TRUE(si_test::FileExists(Out(L"alpha.bin")));

    // A missing name string reuses the previous item's name.
    ASSERT_TRUE(Run(902));
    ASSERT_EQ(unpack_.Count(), 2);
    EXPECT_EQ(unpack_.Head()->filePath, unpack_.Head()->next->filePath);
    EXPECT_EQ(FileText(Out(L"alpha.bin")), Resource(902));

    // Blanks before the numbers are skipped, text after the second ignored.
    ASSERT_TRUE(Run(905));
    EXPECT_EQ(unpack_.Head()->resId, 902);
    EXPECT_EQ(unpack_.Head()->nameId, 911);
}

TEST_F(Unpacker, MissingResourceStopsTheListAndLogsEachLevel) {
    EXPECT_FALSE(Run(903));
    const std::string text = log_.Text();
    const std::string path = si_test::Narrow(Out(L"beta.bin"));
    const size_t source = text.find("UnPackFromRes::UnPackFromList ->Get Source " + path + " fail!");
    const size_t level = text.find("UnPackFromRes::UnPack ->UnPackFromList Fail");
    ASSERT_NE(source, std::string::npos) << text;
    EXPECT_LT(source, level);
    // What came before stays; what came after is not written.
    EXPECT_TRUE(si_test::FileExists(Out(L"alpha.bin")));
    EXPECT_FALSE(si_test::FileExists(Out(L"beta.bin")));
}

TEST_F(Unpacker, FirstItemWithoutANameCannotBeWritten) {
    EXPECT_FALSE(Run(904));  // the path is the folder with a trailing backslash
    EXPECT_NE(log_.Text().find("->Get Source "), std::string::npos);
}

TEST_F(Unpacker, MissingOrUnscannableListsFail) {
    EXPECT_FALSE(Run(899));
    std::string text = log_.Text();
    EXPECT_NE(text.find("UnPackFromRes::GetResourceList ->load table fail"), std::string::npos);
    EXPECT_NE(text.find("UnPackFromRes::UnPack ->GetResourceList Fail"), std::string::npos);
    EXPECT_FALSE(Run(906));  // scans as resource 0: never found
}

TEST_F(Unpacker, RefusesToRunUnboundOrUninitialised) {
    EXPECT_EQ(unpack_.InitResouse(nullptr, L"SETUPFILES", 900), 0);
    EXPECT_EQ(unpack_.UnPack(), 0);
    EXPECT_NE(log_.Text().find("UnPackFromRes::UnPack ->didn,t set Dir "), std::string::npos);
    ASSERT_EQ(unpack_.SetOutDir(), 1);
    EXPECT_EQ(unpack_.UnPack(), 0);
    EXPECT_NE(log_.Text().find("UnPackFromRes::UnPack ->didn,t Init"), std::string::npos);
}

TEST_F(Unpacker, ExistingFolderIsReusedWithOneLine) {
    ASSERT_TRUE(::CreateDirectoryW(gUnPackDirPath, nullptr));
    log_.Clear();
    ASSERT_EQ(unpack_.SetOutDir(), 1);
    const std::string text = log_.Text();
    EXPECT_NE(text.find("->The  outDir  " + si_test::Narrow(gUnPackDirPath) + " is exist "), std::string::npos);
    EXPECT_EQ(text.find("UnPackFromRes", text.find("is exist") + 1), std::string::npos);
}

TEST_F(Unpacker, CreatesEveryMissingParentLevel) {
    si::CopyText(gUnPackDirPath, MAX_PATH, (dir_ / L"a\\b c\\d\\KalveronTemp").c_str());
    ASSERT_EQ(unpack_.SetOutDir(), 1);
    EXPECT_TRUE(si_test::DirExists(gUnPackDirPath));
    EXPECT_EQ(log_.Text().find("can,t creat"), std::string::npos);
}

// A link in the folder's place (a stand-in: Wine makes none) is removed, never
// followed: one that cannot be removed fails as an uncreatable folder.
TEST_F(Unpacker, LinkInTheFoldersPlaceIsRemovedNeverFollowed) {
    ASSERT_TRUE(::CreateDirectoryW(gUnPackDirPath, nullptr));
    ASSERT_TRUE(si_test::WriteFileBytes(Out(L"sentinel.txt"), "keep"));
    {
        si_test::FakeLinks link({gUnPackDirPath});
        EXPECT_FALSE(Run(900));
        EXPECT_NE(log_.Text().find("UnPackFromRes::SetOutDir ->can,t creat "), std::string::npos);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"sentinel.txt"}), si_test::ListTree(gUnPackDirPath));
    ASSERT_TRUE(::DeleteFileW(Out(L"sentinel.txt").c_str()));
    si_test::FakeLinks link({gUnPackDirPath});
    EXPECT_TRUE(Run(900));
    EXPECT_EQ(FileText(Out(L"alpha.bin")), Resource(901));
}

// A folder found in place is emptied when elevated, used as it is when not
// (Windows XP); nothing behind a link is touched.
TEST_F(Unpacker, FolderFoundInPlaceIsEmptiedWhenElevatedWithoutFollowingLinks) {
    for (bool elevated : {true, false}) {
        SCOPED_TRACE(elevated);
        si::gIsProcessElevated = elevated ? +[] { return true; } : +[] { return false; };
        ASSERT_TRUE(::CreateDirectoryW(gUnPackDirPath, nullptr));
        ASSERT_TRUE(si_test::WriteFileBytes(Out(L"7zDec.dll"), "planted"));
        ASSERT_TRUE(::CreateDirectoryW(Out(L"Lang").c_str(), nullptr));
        ASSERT_TRUE(si_test::WriteFileBytes(Out(L"Lang\\sentinel.txt"), "behind a link"));
        {
            si_test::FakeLinks link({Out(L"Lang")});
            EXPECT_EQ(unpack_.SetOutDir(), 1);
        }
        EXPECT_EQ(FileText(Out(L"Lang\\sentinel.txt")), "behind a link");
        EXPECT_EQ(si_test::FileExists(Out(L"7zDec.dll")), !elevated);
        EXPECT_FALSE(::MoveFileW(gUnPackDirPath, (dir_ / L"moved").c_str()));
        si::ReleaseUnpackFolder();
        si_test::RemoveTree(gUnPackDirPath);
    }
    si::gIsProcessElevated = &si::QueryProcessElevation;
}

// The descriptor of a folder an elevated run (re)creates; Wine answers
// TokenElevation as an elevated Windows does.
TEST(UnpackFolder, SecurityIsProtectedAndOwnedByAdministrators) {
    si::unique_hlocal sd;
    ASSERT_TRUE(si::BuildUnpackFolderSecurity(&sd));
    const std::string sddl = si_test::SecurityText(L"", sd.get());
    EXPECT_EQ(0u, sddl.find("O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;S-1-5-")) << sddl;
    EXPECT_EQ(std::string::npos, sddl.find("AI")) << sddl;  // nothing inherited
    EXPECT_TRUE(si::QueryProcessElevation());
}

TEST_F(Unpacker, UnreachableFolderIsNotBound) {
    si::CopyText(gUnPackDirPath, MAX_PATH, L"Q:\\nowhere\\KalveronTemp");
    EXPECT_EQ(unpack_.SetOutDir(), 0);
    EXPECT_NE(log_.Text().find("UnPackFromRes::SetOutDir ->can,t creat "), std::string::npos);
    ASSERT_TRUE(unpack_.InitResouse(::GetModuleHandleW(nullptr), L"SETUPFILES", 900));
    EXPECT_EQ(unpack_.UnPack(), 0);  // still unbound
}

TEST_F(Unpacker, EmptyFolderPathIsRefused) {
    gUnPackDirPath[0] = L'\0';
    EXPECT_EQ(unpack_.SetOutDir(), 0);
    EXPECT_NE(log_.Text().find("UnPackFromRes::SetOutDir ->can,t creat "), std::string::npos);
}

TEST_F(Unpacker, WriteFailsWhereNoFileCanBeWritten) {
    ASSERT_TRUE(Run(900));
    // A folder of that name stands where the file should go.
    ASSERT_TRUE(::CreateDirectoryW(Out(L"gamma.bin").c_str(), nullptr));
    EXPECT_EQ(unpack_.WriteResToFile(901, Out(L"gamma.bin").c_str(), L"SETUPFILES"), 0);
    EXPECT_EQ(unpack_.WriteResToFile(777, Out(L"delta.bin").c_str(), L"SETUPFILES"), 0);
    EXPECT_FALSE(si_test::FileExists(Out(L"delta.bin")));
}

TEST(UnpackerList, EmptyListCannotBeWritten) {
    LogCapture log;
    UnPackFromRes unpack;
    ASSERT_EQ(unpack.AddDotToResList(new ResDot), 1);
    ASSERT_EQ(unpack.AddDotToResList(new ResDot), 1);
    EXPECT_EQ(unpack.Count(), 2);
    EXPECT_EQ(unpack.AddDotToResList(nullptr), 0);
    unpack.ClearResList();
    EXPECT_EQ(unpack.Count(), 0);
    EXPECT_EQ(unpack.UnPackFromList(), 0);
    EXPECT_NE(log.Text().find("UnPackFromRes::UnPackFromList ->List unknow error!"), std::string::npos);
}

}  // namespace
