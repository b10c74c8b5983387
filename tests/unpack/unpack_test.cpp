#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

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
// followed; one that cannot be removed is left alone for a fresh sibling.
TEST_F(Unpacker, LinkInTheFoldersPlaceIsRemovedNeverFollowed) {
    const std::wstring asked = gUnPackDirPath;
    ASSERT_TRUE(::CreateDirectoryW(asked.c_str(), nullptr));
    ASSERT_TRUE(si_test::WriteFileBytes(Out(L"sentinel.txt"), "keep"));
    {
        si_test::FakeLinks link({asked});
        EXPECT_TRUE(Run(900));
        EXPECT_EQ(0u, std::wstring(gUnPackDirPath).find(asked + L"-"));
        EXPECT_NE(log_.Text().find("->Creat outDir  " + si_test::Narrow(gUnPackDirPath) + " succes"), std::string::npos);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"sentinel.txt"}), si_test::ListTree(asked));
    si::ReleaseWrittenFiles();
    si::ReleaseUnpackFolder();
    si_test::RemoveTree(gUnPackDirPath);
    si::CopyText(gUnPackDirPath, MAX_PATH, asked.c_str());
    ASSERT_TRUE(::DeleteFileW(Out(L"sentinel.txt").c_str()));
    si_test::FakeLinks link({asked});
    EXPECT_TRUE(Run(900));
    EXPECT_EQ(asked, gUnPackDirPath);
    EXPECT_EQ(FileText(Out(L"alpha.bin")), Resource(901));
}

// A folder found in place is emptied through handles when elevated and made
// anew; what refuses to go (a read-only file, a file held open, a link that
// is not empty) leaves it to itself, and a fresh sibling whose name still
// holds "alve" is made instead. Not elevated (Windows XP) it is used as it is.
TEST_F(Unpacker, FolderFoundInPlaceIsEmptiedOrLeftForAFreshSibling) {
    const std::wstring asked = gUnPackDirPath;
    const std::wstring planted = Out(L"SetupFiles\\DriverTool\\x64\\version.dll");
    enum Refusal { kNone, kReadOnly, kHeldOpen, kLink };
    for (Refusal refusal : {kNone, kReadOnly, kHeldOpen, kLink}) {
        for (bool elevated : {true, false}) {
            SCOPED_TRACE(testing::Message() << "refusal " << refusal << ", elevated " << elevated);
            si::gIsProcessElevated = elevated ? +[] { return true; } : +[] { return false; };
            si::CopyText(gUnPackDirPath, MAX_PATH, asked.c_str());
            ASSERT_TRUE(si_test::CreateTree(Out(L"SetupFiles\\DriverTool\\x64")));
            ASSERT_TRUE(si_test::WriteFileBytes(planted, "planted"));
            ASSERT_TRUE(si_test::WriteFileBytes(Out(L"7zDec.dll"), "planted"));
            ASSERT_TRUE(si_test::CreateTree(Out(L"Lang")));
            ASSERT_TRUE(si_test::WriteFileBytes(Out(L"Lang\\sentinel.txt"), "behind a link"));
            if (refusal == kReadOnly) ASSERT_TRUE(::SetFileAttributesW(planted.c_str(), FILE_ATTRIBUTE_READONLY));
            si::unique_file held;
            if (refusal == kHeldOpen)
                held.reset(::CreateFileW(planted.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            std::vector<std::wstring> links{Out(L"Lang")};
            if (refusal != kLink) ASSERT_TRUE(::DeleteFileW(Out(L"Lang\\sentinel.txt").c_str()));
            si_test::FakeLinks link(links);
            log_.Clear();
            EXPECT_EQ(unpack_.SetOutDir(), 1);
            const bool sibling = elevated && refusal != kNone;
            EXPECT_EQ(sibling ? 0u : std::wstring::npos, std::wstring(gUnPackDirPath).find(asked + L"-"));
            if (!sibling) EXPECT_EQ(asked, gUnPackDirPath);
            EXPECT_NE(std::wstring(gUnPackDirPath).find(L"alve"), std::wstring::npos);
            EXPECT_EQ(si_test::FileExists(planted), !elevated || refusal == kReadOnly || refusal == kHeldOpen);
            EXPECT_EQ(si_test::FileExists(Out(L"7zDec.dll")), !elevated);
            EXPECT_EQ(si_test::FileExists(Out(L"Lang\\sentinel.txt")), refusal == kLink);
            // Whatever stayed is never used: it is not this run's.
            if (si_test::FileExists(planted)) EXPECT_EQ(!sibling, si::IsForeignToUnpackFolder(planted.c_str()));
            EXPECT_NE(log_.Text().find(sibling ? "succes" : "is exist"), std::string::npos) << log_.Text();
            EXPECT_FALSE(::MoveFileW(gUnPackDirPath, (dir_ / L"moved").c_str()));
            held.reset();
            si::ReleaseUnpackFolder();
            ::SetFileAttributesW(planted.c_str(), FILE_ATTRIBUTE_NORMAL);
            si_test::RemoveTree(gUnPackDirPath);
            si_test::RemoveTree(asked);
        }
    }
    si::gIsProcessElevated = &si::QueryProcessElevation;
}

// The descriptor of a folder an elevated run creates; Wine answers
// TokenElevation as an elevated Windows does.
TEST(UnpackFolder, SecurityIsProtectedAndOwnedByAdministrators) {
    si::unique_hlocal sd;
    ASSERT_TRUE(si::BuildUnpackFolderSecurity(&sd));
    const std::string sddl = si_test::SecurityText(L"", sd.get());
    EXPECT_EQ(0u, sddl.find("O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;S-1-5-")) << sddl;
    EXPECT_EQ(std::string::npos, sddl.find("AI")) << sddl;  // nothing inherited
    EXPECT_TRUE(si::QueryProcessElevation());
}

// What the held folder's handle must show before the folder is used. Wine
// keeps no descriptors and knows no volume without ACLs: the facts are made
// up here as a Windows system would report them.
TEST(UnpackFolder, OnlyARealFolderOnAnAclVolumeWithTheBuiltDescriptorIsOurs) {
    si::unique_hlocal built;
    ASSERT_TRUE(si::BuildUnpackFolderSecurity(&built));
    const std::string ours = si_test::SecurityText(L"", built.get());
    auto replaced = [&ours](const std::string& from, const std::string& to) {
        std::string text = ours;
        return text.replace(text.find(from), from.size(), to);
    };
    const DWORD dir = FILE_ATTRIBUTE_DIRECTORY, acls = FILE_PERSISTENT_ACLS;
    const struct {
        DWORD attributes, volume;
        std::string sddl;  // empty: the system keeps no descriptors
        bool isOurs;
    } rows[] = {
        {dir, acls, ours, true},
        {dir, acls, "", true},
        {dir | FILE_ATTRIBUTE_REPARSE_POINT, acls, ours, false},
        {FILE_ATTRIBUTE_NORMAL, acls, ours, false},
        {dir, 0, ours, false},                                // FAT, a share without ACLs
        {dir, 0, "", false},
        {dir, acls, replaced("O:BA", "O:SY"), false},         // another owner
        {dir, acls, replaced("D:P", "D:"), false},            // inheriting
        {dir, acls, replaced(";0x1200a9;", ";FA;"), false},   // the user may write
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.sddl);
        si::HeldFolderFacts facts;
        facts.attributes = row.attributes;
        facts.volumeFlags = row.volume;
        facts.securityKept = !row.sddl.empty();
        PSECURITY_DESCRIPTOR sd = nullptr;
        if (facts.securityKept)
            ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(si_test::Widen(row.sddl).c_str(),
                                                                               SDDL_REVISION_1, &sd, nullptr));
        facts.security.reset(sd);
        EXPECT_EQ(row.isOurs, si::IsOwnUnpackFolder(facts, built.get()));
    }
}

// A folder whose handle fails the check (here: a volume without ACLs) is
// never used, and neither is a sibling on the same volume: the claim fails
// and leaves nothing behind.
TEST_F(Unpacker, FolderThatFailsItsCheckIsNeverUsed) {
    si::gIsProcessElevated = +[] { return true; };
    si::gReadHeldFolder = +[](HANDLE folder, si::HeldFolderFacts* facts) {
        const bool read = si::ReadHeldFolder(folder, facts);
        facts->volumeFlags &= ~static_cast<DWORD>(FILE_PERSISTENT_ACLS);
        return read;
    };
    EXPECT_EQ(unpack_.SetOutDir(), 0);
    EXPECT_NE(log_.Text().find("UnPackFromRes::SetOutDir ->can,t creat "), std::string::npos);
    EXPECT_TRUE(si_test::ListTree(dir_.path()).empty());
    si::gReadHeldFolder = &si::ReadHeldFolder;
    si::gIsProcessElevated = &si::QueryProcessElevation;
    EXPECT_EQ(unpack_.SetOutDir(), 1);
    EXPECT_NE(log_.Text().find("->Creat outDir  " + si_test::Narrow(gUnPackDirPath) + " succes"), std::string::npos);
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
