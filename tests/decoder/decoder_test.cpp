// ExtractFiles of 7zDec.dll, loaded as the installer loads it, on archives
// that 7zz made at build time (tests/decoder/make_fixtures.py) and on copies
// of them patched here: unsafe names, no names, attributes, broken CRCs.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "7zCrc.h"
#include "decoder/7zdec.h"
#include "tests/support/test_support.h"

using namespace si_test;

namespace {

std::wstring Fixture(const std::wstring& name) {
    return BuildDir() + L"\\tests\\decoder\\fixtures\\" + name;
}

std::wstring Backslashes(std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

// What the entry callback saw: the names, and the files that existed already
// when they were announced.
std::wstring gCallbackFolder;
std::vector<std::wstring> gCallbackNames;
std::vector<std::wstring> gWrittenBeforeCallback;

void __cdecl RecordEntry(const wchar_t* name) {
    gCallbackNames.push_back(name);
    if (FileExists(gCallbackFolder + Backslashes(name))) gWrittenBeforeCallback.push_back(name);
}

uint32_t Crc32(const char* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= static_cast<uint8_t>(data[i]);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

uint64_t GetLe(const std::string& bytes, size_t at, int size) {
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

void PutLe(std::string& bytes, size_t at, uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string FlipByte(std::string bytes, size_t at) {
    bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
    return bytes;
}

std::string Utf16(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// A 7z archive read whole, patched in place; Save makes both header CRCs
// valid again (the start header at 12..31, the header it points to).
class ArchiveBytes {
public:
    explicit ArchiveBytes(const std::wstring& path) { ReadFileBytes(path, &bytes_); }
    std::string& bytes() { return bytes_; }

    // Where `needle` occurs, if it occurs exactly once.
    size_t FindOnce(const std::string& needle) const {
        const size_t at = bytes_.find(needle);
        if (at == std::string::npos || bytes_.find(needle, at + 1) != std::string::npos) return std::string::npos;
        return at;
    }
    bool Replace(const std::string& from, const std::string& to) {
        const size_t at = FindOnce(from);
        if (at == std::string::npos || from.size() != to.size()) return false;
        bytes_.replace(at, to.size(), to);
        return true;
    }
    bool Save(const std::wstring& path) {
        const uint64_t offset = GetLe(bytes_, 12, 8), size = GetLe(bytes_, 20, 8);
        if (32 + offset + size > bytes_.size()) return false;
        PutLe(bytes_, 28, Crc32(&bytes_[32 + offset], size), 4);
        PutLe(bytes_, 8, Crc32(&bytes_[12], 20), 4);
        return WriteFileBytes(path, bytes_);
    }

private:
    std::string bytes_;
};

// placeholders.7z: the folder DDD... and the file FFF..., 24 characters each,
// in a header stored uncompressed.
const std::wstring kFolderPlaceholder(24, L'D');
const std::wstring kFilePlaceholder(24, L'F');

// `pattern` with its '#' widened to 'x's to the placeholders' length.
std::wstring PlaceholderSized(const std::wstring& pattern) {
    std::wstring name = pattern;
    const size_t at = name.find(L'#');
    name.replace(at, 1, kFilePlaceholder.size() + 1 - name.size(), L'x');
    return name;
}

bool NothingNamedEscapeIn(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\escape*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return true;
    ::FindClose(find);
    return false;
}

std::wstring TempFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, path);
    std::wstring folder = path;
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder;
}

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

class DecoderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        library_ = ::LoadLibraryW((BuildDir() + L"\\bin\\7zDec.dll").c_str());
        if (library_)
            extract_ = reinterpret_cast<ExtractFilesFn>(
                reinterpret_cast<void*>(::GetProcAddress(library_, "ExtractFiles")));
    }
    static void TearDownTestSuite() {
        if (library_) ::FreeLibrary(library_);
        library_ = nullptr;
        extract_ = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(extract_, nullptr) << "7zDec.dll or its export ExtractFiles not found";
        gCallbackNames.clear();
        gWrittenBeforeCallback.clear();
    }

    // Passes the archive path narrow, as the installer converts it.
    static int Extract(const std::wstring& archive, const std::wstring& folder,
                       ExtractProgressFn progress = nullptr) {
        char narrow[MAX_PATH] = {};
        ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, archive.c_str(), -1, narrow, MAX_PATH,
                              nullptr, nullptr);
        return extract_(narrow, folder.c_str(), progress);
    }

    // Every file of `folder` equals the one of the same name in 7zz's extraction.
    static void ExpectSameAsReference(const std::wstring& folder) {
        const std::wstring ref = Fixture(L"ref");
        const std::vector<std::wstring> expected = ListTree(ref);
        ASSERT_EQ(ListTree(folder), expected);
        for (const std::wstring& entry : expected) {
            if (DirExists(ref + L"\\" + entry)) continue;
            std::string want, got;
            ASSERT_TRUE(ReadFileBytes(ref + L"\\" + entry, &want));
            ASSERT_TRUE(ReadFileBytes(folder + L"\\" + entry, &got)) << Narrow(entry);
            EXPECT_TRUE(want == got) << Narrow(entry) << " differs";
        }
    }

    static HMODULE library_;
    static ExtractFilesFn extract_;
};

HMODULE DecoderTest::library_ = nullptr;
ExtractFilesFn DecoderTest::extract_ = nullptr;

TEST_F(DecoderTest, ExtractsTheTreeAs7zzDoesAnnouncingEveryEntryFirst) {
    TempDir dir(L"dec");
    gCallbackFolder = dir.path() + L"\\";
    ASSERT_EQ(EXTRACT_OK, Extract(Fixture(L"tree.7z"), gCallbackFolder, &RecordEntry));
    ExpectSameAsReference(dir.path());

    const std::vector<std::wstring> entries = ListTree(Fixture(L"ref"));
    ASSERT_GE(entries.size(), 20u);
    std::vector<std::wstring> announced;
    for (const std::wstring& name : gCallbackNames) {
        EXPECT_EQ(name.find(L'\\'), std::wstring::npos) << "stored paths use slashes";
        announced.push_back(Backslashes(name));
    }
    std::sort(announced.begin(), announced.end());
    EXPECT_EQ(announced, entries) << "one call per entry, folders included";
    EXPECT_TRUE(gWrittenBeforeCallback.empty());

    const std::wstring out = dir.path() + L"\\";
    EXPECT_TRUE(FileExists(out + L"日本語\\サブフォルダ\\ファイル名.txt"));
    EXPECT_TRUE(FileExists(out + L"Grüße\\Übermäßig große Datei.txt"));
    EXPECT_TRUE(FileExists(out + L"Nested\\Level1\\Level2\\Level3\\deep.txt"));
    EXPECT_TRUE(DirExists(out + L"EmptyFolder"));
    EXPECT_TRUE(DirExists(out + L"Nested\\EmptyInside"));
    std::string empty = "x";
    EXPECT_TRUE(ReadFileBytes(out + L"Empty\\zero.dat", &empty) && empty.empty());
    EXPECT_TRUE(Attributes(out + L"ReadOnly.txt") & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(Attributes(out + L"Straße.bin") & FILE_ATTRIBUTE_READONLY);
}

// Nothing is written through a link below the output folder (result 7); the
// decoder's code linked in directly runs with stand-in links (Wine makes none).
TEST(DecoderLinks, NothingIsWrittenThroughALink) {
    CrcGenerateTable();
    const std::wstring longName = L"Long\\" + std::wstring(100, L'n') + L".txt";
    for (const std::wstring& link : {std::wstring(L"Long"), longName}) {
        TempDir dir(L"declink");
        const std::wstring out = dir.path() + L"\\";
        ASSERT_TRUE(::CreateDirectoryW((out + L"Long").c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(out + longName, "planted"));
        FakeLinks links({out + link});
        char narrow[MAX_PATH] = {};
        ::WideCharToMultiByte(CP_ACP, 0, Fixture(L"long.7z").c_str(), -1, narrow, MAX_PATH, nullptr, nullptr);
        EXPECT_EQ(EXTRACT_FAILED, ExtractFiles(narrow, out.c_str(), nullptr)) << Narrow(link);
        std::string bytes;
        EXPECT_TRUE(ReadFileBytes(out + longName, &bytes) && bytes == "planted") << Narrow(link);
    }
}

TEST_F(DecoderTest, ReplacesAnEarlierExtractionWithoutACallback) {
    TempDir dir(L"dec");
    const std::wstring out = dir.path() + L"\\";
    ASSERT_EQ(EXTRACT_OK, Extract(Fixture(L"tree.7z"), out));
    ASSERT_TRUE(WriteFileBytes(out + L"Straße.bin", "changed"));
    ASSERT_TRUE(::DeleteFileW((out + L"Nested\\Level1\\sibling.bin").c_str()));
    ASSERT_TRUE(::SetFileAttributesW((out + L"Bin\\7zDec.dll").c_str(),
                                     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    // A reader that lets others write does not stop the replacement.
    HANDLE reader = ::CreateFileW((out + L"zero.txt").c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(EXTRACT_OK, Extract(Fixture(L"tree.7z"), out));
    ::CloseHandle(reader);
    ExpectSameAsReference(dir.path());
}

TEST_F(DecoderTest, SetsTheStoredAttributesAndReplacesReadOnlyHiddenFiles) {
    // 7zz on Linux keeps the Unix mode in the high bits: mark the 0604 and
    // 0404 files hidden.
    ArchiveBytes archive(Fixture(L"attributes.7z"));
    std::string hidden(4, '\0'), readOnlyHidden(4, '\0'), patched(4, '\0');
    PutLe(hidden, 0, 0x81848020u, 4);
    PutLe(readOnlyHidden, 0, 0x81048021u, 4);
    PutLe(patched, 0, 0x81848022u, 4);
    ASSERT_TRUE(archive.Replace(hidden, patched));
    PutLe(patched, 0, 0x81048023u, 4);
    ASSERT_TRUE(archive.Replace(readOnlyHidden, patched));
    TempDir dir(L"dec");
    ASSERT_TRUE(archive.Save(dir / L"attributes.7z"));
    const std::wstring out = dir / L"out\\";
    ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));

    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        ASSERT_EQ(EXTRACT_OK, Extract(dir / L"attributes.7z", out));
        const DWORD readOnlyOrHidden = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
        EXPECT_EQ(Attributes(out + L"hidden.txt") & readOnlyOrHidden, DWORD(FILE_ATTRIBUTE_HIDDEN));
        EXPECT_EQ(Attributes(out + L"readonly_hidden.txt") & readOnlyOrHidden, readOnlyOrHidden);
        EXPECT_EQ(Attributes(out + L"readonly.txt") & readOnlyOrHidden, DWORD(FILE_ATTRIBUTE_READONLY));
        EXPECT_EQ(Attributes(out + L"normal.txt") & readOnlyOrHidden, 0u);
        EXPECT_EQ(FileText(out + L"readonly_hidden.txt"), "read-only and hidden\r\n");
    }
}

TEST_F(DecoderTest, MissingArgumentsGive1AndAnUnopenableArchive2) {
    TempDir dir(L"dec");
    const std::wstring out = dir.path() + L"\\";
    const std::string archive = Narrow(Fixture(L"tree.7z"));
    EXPECT_EQ(EXTRACT_MISSING_ARGUMENT, extract_(nullptr, out.c_str(), nullptr));
    EXPECT_EQ(EXTRACT_MISSING_ARGUMENT, extract_(archive.c_str(), nullptr, &RecordEntry));
    EXPECT_EQ(EXTRACT_MISSING_ARGUMENT, extract_("", out.c_str(), nullptr));
    EXPECT_EQ(EXTRACT_MISSING_ARGUMENT, extract_(archive.c_str(), L"", nullptr));
    EXPECT_EQ(EXTRACT_CANNOT_OPEN, Extract(dir / L"missing.7z", out));
    EXPECT_EQ(EXTRACT_CANNOT_OPEN, Extract(dir.path(), out));  // a folder
    EXPECT_TRUE(gCallbackNames.empty());
    EXPECT_TRUE(ListTree(dir.path()).empty());
}

TEST_F(DecoderTest, CrcErrorsGive3AndAnUnsupportedMethod4) {
    TempDir dir(L"dec");
    const std::wstring out = dir / L"out\\";
    ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
    {
        ArchiveBytes archive(Fixture(L"copy.7z"));  // stored: the data starts at byte 32
        ASSERT_GT(archive.bytes().size(), 64u);
        archive.bytes()[40] ^= 0x55;
        ASSERT_TRUE(archive.Save(dir / L"data.7z"));
        EXPECT_EQ(3, Extract(dir / L"data.7z", out));
        EXPECT_FALSE(FileExists(out + L"stored.txt")) << "written although damaged";
    }
    {
        std::string bytes;  // the start header's CRC
        ASSERT_TRUE(ReadFileBytes(Fixture(L"copy.7z"), &bytes));
        ASSERT_TRUE(WriteFileBytes(dir / L"header.7z", FlipByte(bytes, 8)));
        EXPECT_EQ(3, Extract(dir / L"header.7z", out));
    }
    EXPECT_EQ(4, Extract(Fixture(L"ppmd.7z"), out));
    EXPECT_TRUE(ListTree(out).empty());
}

TEST_F(DecoderTest, AnInconsistentBcj2FolderGives5) {
    // placeholders.7z holds one BCJ2 folder (coders: LZMA, LZMA, main LZMA,
    // BCJ2) of 17 bytes; its coder unpack sizes 0, 0, 17, 17 follow the id
    // 0x0C. A main stream longer than the folder is the SDK's parameter error.
    ArchiveBytes archive(Fixture(L"placeholders.7z"));
    ASSERT_TRUE(archive.Replace(std::string("\x0C\x00\x00\x11\x11", 5), std::string("\x0C\x00\x00\x12\x11", 5)));
    TempDir dir(L"dec");
    ASSERT_TRUE(archive.Save(dir / L"bcj2.7z"));
    const std::wstring out = dir / L"out\\";
    ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
    EXPECT_EQ(5, Extract(dir / L"bcj2.7z", out));
    EXPECT_FALSE(FileExists(out + kFilePlaceholder));
}

TEST_F(DecoderTest, DamagedArchivesGive7) {
    TempDir dir(L"dec");
    const std::wstring out = dir / L"out\\";
    ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
    std::string tree;
    ASSERT_TRUE(ReadFileBytes(Fixture(L"tree.7z"), &tree));
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty file", ""},
        {"not an archive", "This is a text file, not a 7z archive.\r\n"},
        {"signature only", tree.substr(0, 6)},
        {"start header cut", tree.substr(0, 31)},
        {"cut in half", tree.substr(0, tree.size() / 2)},
        {"header cut", tree.substr(0, tree.size() - 10)},
        {"header damaged", FlipByte(tree, tree.size() - 1)},  // its CRC no longer matches
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteFileBytes(dir / L"broken.7z", c.bytes));
        EXPECT_EQ(EXTRACT_FAILED, Extract(dir / L"broken.7z", out)) << c.what;
    }
    EXPECT_TRUE(ListTree(out).empty());

    // Damaged LZMA data: either the decoder or the CRC notices; never success.
    std::string damaged = tree;
    for (size_t i = 1000; i < 1064; ++i) damaged[i] = static_cast<char>(damaged[i] ^ 0xA5);
    ASSERT_TRUE(WriteFileBytes(dir / L"damaged.7z", damaged));
    const int result = Extract(dir / L"damaged.7z", out);
    EXPECT_TRUE(result == EXTRACT_FAILED || result == 3) << result;
}

TEST_F(DecoderTest, AFileInPlaceOfAFolderGives7) {
    // A parent folder of files, and an empty folder entry.
    for (const wchar_t* folder : {L"Nested", L"EmptyFolder"}) {
        SCOPED_TRACE(Narrow(folder));
        TempDir dir(L"dec");
        const std::wstring out = dir.path() + L"\\";
        ASSERT_TRUE(WriteFileBytes(out + folder, "a file where a folder belongs"));
        EXPECT_EQ(EXTRACT_FAILED, Extract(Fixture(L"tree.7z"), out));
        EXPECT_FALSE(DirExists(out + folder));
    }
}

TEST_F(DecoderTest, PatchedNamesWithValidCrcsExtract) {
    // The control for the refusals below: the patching itself is sound.
    TempDir dir(L"dec");
    const std::wstring out = dir.path() + L"\\";
    ASSERT_EQ(EXTRACT_OK, Extract(Fixture(L"placeholders.7z"), out));
    EXPECT_TRUE(DirExists(out + kFolderPlaceholder));
    EXPECT_TRUE(FileExists(out + kFilePlaceholder));

    ArchiveBytes archive(Fixture(L"placeholders.7z"));
    ASSERT_TRUE(archive.Replace(Utf16(kFilePlaceholder), Utf16(PlaceholderSized(L"sub/dir/ok#"))));
    ASSERT_TRUE(archive.Save(dir / L"safe.7z"));
    gCallbackFolder = out;
    ASSERT_EQ(EXTRACT_OK, Extract(dir / L"safe.7z", out, &RecordEntry));
    EXPECT_EQ(FileText(out + Backslashes(PlaceholderSized(L"sub/dir/ok#"))), "escaped content\r\n");
    EXPECT_EQ(gCallbackNames, (std::vector<std::wstring>{kFolderPlaceholder, PlaceholderSized(L"sub/dir/ok#")}));
}

TEST_F(DecoderTest, RefusesStoredPathsThatLeaveTheOutputFolder) {
    const wchar_t* const unsafe[] = {
        L"../escape#",      L"..\\escape#",       L"sub/../../escape#", L"sub\\..\\..\\escape#",
        L"#/../../escape",  L"/escape#",          L"\\escape#",         L"\\\\server\\escape#",
        L"C:escape#",       L"C:\\escape#",       L"C:/escape#",        L"\\\\?\\C:\\escape#",
        L"sub/.../escape#", L"sub/ ../escape#",   L"./escape#",         L"stream.txt:escape#",
        L"NUL.#",           L"sub/con.#",         L"COM1.#",            L"lpt9 .#",
        L"escape#/",        L"sub//escape#",
    };
    const std::wstring temp = TempFolder();
    for (const wchar_t* pattern : unsafe) {
        for (const std::wstring& placeholder : {kFilePlaceholder, kFolderPlaceholder}) {
            const std::wstring name = PlaceholderSized(pattern);
            SCOPED_TRACE(Narrow(name) + (placeholder == kFilePlaceholder ? " (file)" : " (folder)"));
            ASSERT_EQ(name.size(), placeholder.size());
            ArchiveBytes archive(Fixture(L"placeholders.7z"));
            ASSERT_TRUE(archive.Replace(Utf16(placeholder), Utf16(name)));
            TempDir dir(L"dec");
            ASSERT_TRUE(archive.Save(dir / L"unsafe.7z"));
            const std::wstring out = dir / L"out\\";
            ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));

            EXPECT_EQ(EXTRACT_FAILED, Extract(dir / L"unsafe.7z", out));
            // At most the folder entry, which comes first, when it is the safe one.
            for (const std::wstring& entry : ListTree(dir.path()))
                EXPECT_TRUE(entry == L"unsafe.7z" || entry == L"out" ||
                            (placeholder == kFilePlaceholder && entry == L"out\\" + kFolderPlaceholder))
                    << Narrow(entry);
            EXPECT_TRUE(NothingNamedEscapeIn(temp));
            EXPECT_TRUE(NothingNamedEscapeIn(L"C:"));
            EXPECT_TRUE(NothingNamedEscapeIn(L"C:\\"));
        }
    }
}

TEST_F(DecoderTest, AnArchiveWithoutNamesGives7) {
    // The names property (id 0x11, size, external flag 0, names) becomes an
    // ignored dummy property (0x19).
    ArchiveBytes archive(Fixture(L"placeholders.7z"));
    const size_t names =
        std::min(archive.FindOnce(Utf16(kFolderPlaceholder)), archive.FindOnce(Utf16(kFilePlaceholder)));
    ASSERT_NE(names, std::string::npos);
    ASSERT_GE(names, 3u);
    ASSERT_EQ(archive.bytes()[names - 1], 0);
    ASSERT_EQ(archive.bytes()[names - 3], 0x11);
    archive.bytes()[names - 3] = 0x19;
    TempDir dir(L"dec");
    ASSERT_TRUE(archive.Save(dir / L"nameless.7z"));
    const std::wstring out = dir / L"out\\";
    ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
    EXPECT_EQ(EXTRACT_FAILED, Extract(dir / L"nameless.7z", out, &RecordEntry));
    EXPECT_TRUE(gCallbackNames.empty());
    EXPECT_TRUE(ListTree(out).empty());
}

TEST_F(DecoderTest, FullPathsHoldAtMost259Characters) {
    // long.7z holds Long/<100 n>.txt: 109 characters after the output folder.
    const std::wstring stored = L"Long\\" + std::wstring(100, L'n') + L".txt";
    for (size_t total : {size_t(259), size_t(260)}) {
        SCOPED_TRACE(total);
        TempDir dir(L"dec");
        const size_t pad = total - stored.size() - dir.path().size() - 2;
        const std::wstring out = dir.path() + L"\\" + std::wstring(pad, L'p') + L"\\";
        ASSERT_EQ(out.size() + stored.size(), total);
        ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
        const int result = Extract(Fixture(L"long.7z"), out);
        if (total < MAX_PATH) {
            EXPECT_EQ(EXTRACT_OK, result);
            EXPECT_EQ(FileText(out + stored), "at the limit\r\n");
        } else {
            EXPECT_EQ(EXTRACT_FAILED, result);
            EXPECT_FALSE(FileExists(out + stored));
        }
    }
    // An output folder that alone fills the buffer, and one never terminated in it.
    TempDir dir(L"dec");
    EXPECT_EQ(EXTRACT_FAILED,
              Extract(Fixture(L"long.7z"), dir.path() + L"\\" + std::wstring(300, L'p') + L"\\"));
    EXPECT_EQ(EXTRACT_FAILED, Extract(Fixture(L"long.7z"), std::wstring(MAX_PATH, L'p')));
    EXPECT_TRUE(ListTree(dir.path()).empty());
}

TEST_F(DecoderTest, AnOutputFolderWithoutBackslashStillHoldsTheEntries) {
    TempDir dir(L"dec");
    ASSERT_EQ(EXTRACT_OK, Extract(Fixture(L"long.7z"), dir.path()));
    EXPECT_TRUE(FileExists(dir.path() + L"\\Long\\" + std::wstring(100, L'n') + L".txt"));
}

}  // namespace
