// The file and folder routines on the real (Wine) file system.
#include <gtest/gtest.h>

#include <string>

#include "diag/trace.h"
#include "framework/win.h"
#include "install/fileops.h"
#include "unpack/unpack_folder.h"
#include "tests/install/install_test_support.h"
#include "tests/support/test_support.h"

using install_test::LogLines;
using si_test::DirExists;
using si_test::FileExists;
using si_test::N;

namespace {

DWORD Attributes(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    si::unique_find find(::FindFirstFileW(path.c_str(), &data));
    return find ? data.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

// The debugger output as a debugger receives it: OutputDebugString raises it as an exception.
std::string gDebugOutput;
LONG CALLBACK KeepDebugOutput(EXCEPTION_POINTERS* e) {
    const EXCEPTION_RECORD* r = e->ExceptionRecord;
    if (r->ExceptionCode == DBG_PRINTEXCEPTION_C && r->NumberParameters >= 2)
        gDebugOutput += reinterpret_cast<const char*>(r->ExceptionInformation[1]);
    return EXCEPTION_CONTINUE_SEARCH;
}

// A folder directly below C:\, so that the prefixes of a path below it are known.
class RootFolder {
public:
    RootFolder() : path_(L"C:\\si_mkdir_" + std::to_wstring(::GetCurrentProcessId())) {}
    ~RootFolder() { si_test::RemoveTree(path_); }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

class FileOpsTest : public ::testing::Test {
protected:
    si_test::TempDir dir_{L"fops"};
    si_test::LogCapture log_;
};

TEST_F(FileOpsTest, CreateMultiDirCreatesEveryMissingLevel) {
    RootFolder root;
    const std::wstring nested = root.path() + L"\\B";
    EXPECT_TRUE(createMultiDir(nested.c_str()));
    EXPECT_EQ((std::vector<std::string>{"CreateDirectory = " + N(root.path()) + " ",
                                        "CreateDirectory = " + N(nested) + " "}),
              LogLines(log_.Text()));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), Attributes(root.path()));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), Attributes(nested));

    // An existing plain folder: nothing is tried or logged.
    log_.Clear();
    EXPECT_TRUE(createMultiDir(nested.c_str()));
    EXPECT_TRUE(LogLines(log_.Text()).empty());
}

TEST_F(FileOpsTest, CreateMultiDirTurnsForwardSlashesIntoBackslashes) {
    RootFolder root;
    std::wstring slashed = root.path() + L"/x/y";
    slashed[2] = L'/';  // C:/si_mkdir_N/x/y
    EXPECT_TRUE(createMultiDir(slashed.c_str()));
    EXPECT_TRUE(DirExists(root.path() + L"\\x"));
    EXPECT_TRUE(DirExists(root.path() + L"\\x\\y"));
    EXPECT_EQ((std::vector<std::string>{"CreateDirectory = " + N(root.path()) + " ",
                                        "CreateDirectory = " + N(root.path()) + "\\x ",
                                        "CreateDirectory = " + N(root.path()) + "\\x\\y "}),
              LogLines(log_.Text()));
}

TEST_F(FileOpsTest, CreateMultiDirOnAFolderWithFurtherAttributesTriesEveryPrefixAndFails) {
    // Read-only where the file system keeps it; Wine keeps no read-only flag
    // on folders but shows a dot-named folder as hidden.
    std::wstring folder = dir_ / L"ro";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    ::SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_READONLY);
    if (Attributes(folder) == FILE_ATTRIBUTE_DIRECTORY) {
        folder = dir_ / L".hidden";
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
        ::SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_HIDDEN);
    }
    ASSERT_NE(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), Attributes(folder));
    ASSERT_TRUE(Attributes(folder) & FILE_ATTRIBUTE_DIRECTORY);

    EXPECT_FALSE(createMultiDir(folder.c_str()));
    const auto lines = LogLines(log_.Text(), "CreateDirectory = ");
    // One line per prefix after the drive: C:\users ... up to the folder itself.
    size_t separators = 0;
    for (wchar_t c : folder) separators += c == L'\\';
    EXPECT_EQ(separators, lines.size());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("CreateDirectory = " + N(folder) + " ", lines.back());
    ::SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FileOpsTest, CreateMultiDirRefusesAPathThatDoesNotFit) {
    const std::wstring tooLong = dir_.path() + L"\\" + std::wstring(MAX_PATH, L'a');
    EXPECT_FALSE(createMultiDir(tooLong.c_str()));
    EXPECT_TRUE(LogLines(log_.Text(), "CreateDirectory").empty());
    EXPECT_EQ(1u, LogLines(log_.Text(), "createMultiDir>> path too long").size());
}

TEST_F(FileOpsTest, CopyFolderFilesCopiesOneLevelAndReplaces) {
    const std::wstring source = dir_ / L"src", destination = dir_ / L"dst";
    ::CreateDirectoryW(source.c_str(), nullptr);
    ::CreateDirectoryW(destination.c_str(), nullptr);
    ::CreateDirectoryW((source + L"\\sub").c_str(), nullptr);
    si_test::WriteFileBytes(source + L"\\a.sys", "new");
    si_test::WriteFileBytes(source + L"\\sub\\deep.txt", "deep");
    si_test::WriteFileBytes(destination + L"\\a.sys", "old contents");

    EXPECT_TRUE(copyFolderFiles(source.c_str(), (destination + L"\\").c_str()));
    EXPECT_EQ((std::vector<std::wstring>{L"a.sys"}), si_test::ListTree(destination));
    EXPECT_EQ("new", si_test::FileText(destination + L"\\a.sys"));
}

TEST_F(FileOpsTest, CopyFolderFilesFromAMissingFolderCopiesNothing) {
    const std::wstring destination = dir_ / L"dst";
    ::CreateDirectoryW(destination.c_str(), nullptr);
    EXPECT_TRUE(copyFolderFiles((dir_ / L"missing").c_str(), destination.c_str()));
    EXPECT_TRUE(si_test::ListTree(destination).empty());
}

TEST_F(FileOpsTest, CopyFolderFilesFailsWhenACopyFails) {
    const std::wstring source = dir_ / L"src";
    ::CreateDirectoryW(source.c_str(), nullptr);
    si_test::WriteFileBytes(source + L"\\a.sys", "a");
    PVOID handler = ::AddVectoredExceptionHandler(1, &KeepDebugOutput);
    EXPECT_FALSE(copyFolderFiles(source.c_str(), (dir_ / L"no-such-folder").c_str()));
    ::SetLastError(ERROR_ACCESS_DENIED);
    SI_TRACE_LAST_ERROR(L"Probe");
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ::GetLastError());  // the trace leaves it as found
    ::RemoveVectoredExceptionHandler(handler);
    EXPECT_NE(std::string::npos, gDebugOutput.find("SetupInstall: CopyFileW failed, error 3 (fileops.cpp:"))
        << gDebugOutput;
    EXPECT_NE(std::string::npos, gDebugOutput.find("SetupInstall: Probe failed, error 5 (fileops_test.cpp:"));
    EXPECT_TRUE(log_.Text().empty());  // the install log keeps its own lines only

    // A name that no longer fits below the destination is refused, the others are copied.
    const std::wstring destination = dir_.path() + L"\\" + std::wstring(MAX_PATH - 8 - dir_.path().size(), L'd');
    ASSERT_TRUE(::CreateDirectoryW(destination.c_str(), nullptr));
    si_test::WriteFileBytes(source + L"\\long-name.sys", "b");
    EXPECT_FALSE(copyFolderFiles(source.c_str(), destination.c_str()));
    EXPECT_TRUE(FileExists(destination + L"\\a.sys"));
    EXPECT_EQ(1u, LogLines(log_.Text(), "copyFolderFiles>> path too long").size());
}

TEST_F(FileOpsTest, GetInfFileNameTakesTheFirstInfFile) {
    wchar_t name[MAX_PATH] = L"unchanged";
    EXPECT_EQ(1, getInfFileName(dir_.path().c_str(), name));
    EXPECT_STREQ(L"unchanged", name);

    ::CreateDirectoryW((dir_ / L"folder.inf").c_str(), nullptr);  // folders do not count
    si_test::WriteFileBytes(dir_ / L"netrtwlanu.cat", "");
    EXPECT_EQ(1, getInfFileName(dir_.path().c_str(), name));
    EXPECT_STREQ(L"unchanged", name);

    si_test::WriteFileBytes(dir_ / L"netrtwlanu.inf", "");
    EXPECT_EQ(0, getInfFileName((dir_.path() + L"\\").c_str(), name));
    EXPECT_STREQ(L"netrtwlanu.inf", name);

    // With two, the first one the file system lists.
    si_test::WriteFileBytes(dir_ / L"another.inf", "");
    WIN32_FIND_DATAW data;
    si::unique_find find(::FindFirstFileW((dir_ / L"*.inf").c_str(), &data));
    ASSERT_TRUE(find);
    while (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ASSERT_TRUE(::FindNextFileW(find.get(), &data));
    EXPECT_EQ(0, getInfFileName(dir_.path().c_str(), name));
    EXPECT_STREQ(data.cFileName, name);
}

TEST_F(FileOpsTest, LXDeleteFolderRemovesTheWholeTree) {
    const std::wstring root = dir_ / L"tree";
    ::CreateDirectoryW(root.c_str(), nullptr);
    ::CreateDirectoryW((root + L"\\a").c_str(), nullptr);
    ::CreateDirectoryW((root + L"\\a\\b").c_str(), nullptr);
    si_test::WriteFileBytes(root + L"\\top.txt", "1");
    si_test::WriteFileBytes(root + L"\\a\\b\\deep.txt", "2");
    EXPECT_TRUE(LXDeleteFolder(root.c_str()));
    EXPECT_FALSE(DirExists(root));
    EXPECT_TRUE(DirExists(dir_.path()));
    EXPECT_EQ((std::vector<std::string>{"LXDeleteFolder>> begin! lpFolderPath is " + N(root) + " ",
                                        "LXDeleteFolder>> end! return TRUE "}),
              LogLines(log_.Text()));
}

TEST_F(FileOpsTest, LXDeleteFolderLeavesAnUndeletableFileAndItsFolders) {
    const std::wstring root = dir_ / L"tree";
    ::CreateDirectoryW(root.c_str(), nullptr);
    ::CreateDirectoryW((root + L"\\keep").c_str(), nullptr);
    ::CreateDirectoryW((root + L"\\gone").c_str(), nullptr);
    si_test::WriteFileBytes(root + L"\\keep\\locked.dll", "x");
    si_test::WriteFileBytes(root + L"\\keep\\free.txt", "y");
    si_test::WriteFileBytes(root + L"\\gone\\free.txt", "z");
    si_test::WriteFileBytes(root + L"\\free.txt", "w");
    ASSERT_TRUE(::SetFileAttributesW((root + L"\\keep\\locked.dll").c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_FALSE(LXDeleteFolder(root.c_str()));
    EXPECT_EQ((std::vector<std::wstring>{L"keep", L"keep\\locked.dll"}), si_test::ListTree(root));
    EXPECT_EQ((std::vector<std::string>{"LXDeleteFolder>> begin! lpFolderPath is " + N(root) + " ",
                                        "LXDeleteFolder>>RecursiveDelete fail, lpFolderPath is " + N(root)}),
              LogLines(log_.Text()));

    // A file held open without delete sharing stays too.
    ::SetFileAttributesW((root + L"\\keep\\locked.dll").c_str(), FILE_ATTRIBUTE_NORMAL);
    si::unique_file open(::CreateFileW((root + L"\\keep\\locked.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(open);
    EXPECT_FALSE(LXDeleteFolder(root.c_str()));
    EXPECT_TRUE(FileExists(root + L"\\keep\\locked.dll"));
    open.reset();
    EXPECT_TRUE(LXDeleteFolder(root.c_str()));
    EXPECT_FALSE(DirExists(root));
}

TEST_F(FileOpsTest, LXDeleteFolderOnAMissingFolderFailsAtTheRemoval) {
    const std::wstring missing = dir_ / L"missing";
    EXPECT_FALSE(LXDeleteFolder(missing.c_str()));
    EXPECT_EQ("LXDeleteFolder>> RemoveDirectory fail! lpFolderPath is  " + N(missing), LogLines(log_.Text()).back());
}

// Links are removed, never followed, the folder handed in included. Wine
// cannot make junctions: a folder the attribute query reports as a link
// stands in (being real and not empty, it cannot be removed either).
TEST_F(FileOpsTest, DeletionNeverFollowsALink) {
    const std::wstring root = dir_ / L"tree";
    ASSERT_TRUE(::CreateDirectoryW(root.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((root + L"\\link").c_str(), nullptr));
    ASSERT_TRUE(si_test::WriteFileBytes(root + L"\\link\\sentinel.txt", "behind a link"));
    ASSERT_TRUE(si_test::WriteFileBytes(root + L"\\free.txt", "w"));
    {
        si_test::FakeLinks links({root});
        EXPECT_TRUE(RecursiveDelete(root.c_str()));
        EXPECT_EQ((std::vector<std::wstring>{L"free.txt", L"link", L"link\\sentinel.txt"}), si_test::ListTree(root));
    }
    si_test::FakeLinks links({root + L"\\link"});
    EXPECT_FALSE(LXDeleteFolder(root.c_str()));
    EXPECT_EQ((std::vector<std::wstring>{L"link", L"link\\sentinel.txt"}), si_test::ListTree(root));
}

// An entry cannot be swapped for a link between the look at it and its
// deletion: it is held without delete sharing from the one to the other. The
// swap is tried from inside that look (the attribute query's seam), as a
// racing program would; as a control, the same rename works once the entry
// is no longer held.
std::wstring gVictim;
int gRenamed = 0;
DWORD WINAPI RenameVictimWhileLookedAt(const wchar_t* path) {
    if (gVictim == path && ::MoveFileW(path, (gVictim + L".away").c_str())) ++gRenamed;
    return ::GetFileAttributesW(path);
}

TEST_F(FileOpsTest, EntryCannotBeSwappedBetweenTheLookAndTheDeletion) {
    const std::wstring root = dir_ / L"tree", victim = root + L"\\victim";
    gVictim = victim;
    gRenamed = 0;
    ASSERT_TRUE(si_test::CreateTree(victim));
    ASSERT_TRUE(si_test::WriteFileBytes(victim + L"\\inside.txt", "x"));
    si::gFileAttributes = &RenameVictimWhileLookedAt;
    EXPECT_TRUE(RecursiveDelete(root.c_str()));
    si::gFileAttributes = &::GetFileAttributesW;
    EXPECT_EQ(0, gRenamed);
    EXPECT_TRUE(si_test::ListTree(root).empty());
    ASSERT_TRUE(si_test::CreateTree(victim));
    EXPECT_TRUE(::MoveFileW(victim.c_str(), (victim + L".away").c_str()));
}

TEST_F(FileOpsTest, RecursiveDeleteRefusesAnEmptyPath) {
    // An empty path would otherwise name the root of the current drive.
    EXPECT_FALSE(RecursiveDelete(L""));
}

}  // namespace
