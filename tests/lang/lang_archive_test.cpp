// The language-pack archive Lang7z of both trees, read with the LZMA SDK's 7z
// reader (the decoder library's own): exactly the 17 libraries under Lang, in
// one solid LZMA + BCJ2 block, without times or attributes, each entry equal
// to the library built.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

extern "C" {
#include "7z.h"
#include "7zAlloc.h"
#include "7zCrc.h"
#include "7zFile.h"
}

#include "lang_test_paths.h"
#include "tests/support/test_support.h"

namespace {

constexpr UInt32 kMethodLzma = 0x030101;
constexpr UInt32 kMethodBcj2 = 0x0303011B;

// An opened archive; everything released at the end of the scope.
class SevenZipArchive {
public:
    explicit SevenZipArchive(const std::wstring& path) {
        CrcGenerateTable();
        SzArEx_Init(&db_);
        FileInStream_CreateVTable(&file_);
        LookToRead2_CreateVTable(&look_, False);
        if (InFile_OpenW(&file_.file, path.c_str()) != 0) return;
        fileOpen_ = true;
        look_.buf = static_cast<Byte*>(ISzAlloc_Alloc(&alloc_, kBufferSize));
        if (!look_.buf) return;
        look_.bufSize = kBufferSize;
        look_.realStream = &file_.vt;
        LookToRead2_INIT(&look_);
        opened_ = SzArEx_Open(&db_, &look_.vt, &alloc_, &allocTemp_) == SZ_OK;
    }
    ~SevenZipArchive() {
        if (outBuffer_) ISzAlloc_Free(&alloc_, outBuffer_);
        SzArEx_Free(&db_, &alloc_);
        if (look_.buf) ISzAlloc_Free(&alloc_, look_.buf);
        if (fileOpen_) File_Close(&file_.file);
    }
    SevenZipArchive(const SevenZipArchive&) = delete;
    SevenZipArchive& operator=(const SevenZipArchive&) = delete;

    bool opened() const { return opened_; }
    const CSzArEx& db() const { return db_; }

    std::wstring Name(UInt32 index) const {
        size_t length = SzArEx_GetFileNameUtf16(&db_, index, nullptr);  // terminator included
        if (length == 0) return std::wstring();
        std::vector<UInt16> name(length);
        SzArEx_GetFileNameUtf16(&db_, index, name.data());
        return std::wstring(name.begin(), name.end() - 1);
    }

    // The decoded bytes of an entry, its CRC checked by the SDK; false on error.
    bool Extract(UInt32 index, std::string* bytes) {
        size_t offset = 0, size = 0;
        if (SzArEx_Extract(&db_, &look_.vt, index, &blockIndex_, &outBuffer_, &outBufferSize_,
                           &offset, &size, &alloc_, &allocTemp_) != SZ_OK)
            return false;
        bytes->assign(reinterpret_cast<const char*>(outBuffer_ + offset), size);
        return true;
    }

    // The method ids of the coders of folder (block) `index`.
    std::vector<UInt32> Coders(UInt32 index) const {
        std::vector<UInt32> methods;
        CSzFolder folder;
        CSzData data;
        data.Data = db_.db.CodersData + db_.db.FoCodersOffsets[index];
        data.Size = db_.db.FoCodersOffsets[index + 1] - db_.db.FoCodersOffsets[index];
        if (SzGetNextFolderItem(&folder, &data) != SZ_OK) return methods;
        for (UInt32 i = 0; i < folder.NumCoders; ++i) methods.push_back(folder.Coders[i].MethodID);
        return methods;
    }

private:
    static constexpr size_t kBufferSize = 1 << 16;
    ISzAlloc alloc_ = {SzAlloc, SzFree};
    ISzAlloc allocTemp_ = {SzAllocTemp, SzFreeTemp};
    CFileInStream file_{};
    CLookToRead2 look_{};
    CSzArEx db_{};
    bool fileOpen_ = false;
    bool opened_ = false;
    UInt32 blockIndex_ = 0xFFFFFFFF;
    Byte* outBuffer_ = nullptr;
    size_t outBufferSize_ = 0;
};

TEST(LangArchive, HoldsExactlyTheSeventeenLibrariesInOneSolidBlock) {
    for (const LangTree& tree : kLangTrees) {
        SCOPED_TRACE(si_test::Narrow(tree.archive));
        SevenZipArchive archive(tree.archive);
        ASSERT_TRUE(archive.opened());
        const CSzArEx& db = archive.db();

        std::vector<std::wstring> names, expected;
        for (UInt32 i = 0; i < db.NumFiles; ++i) {
            names.push_back(archive.Name(i));
            EXPECT_FALSE(SzArEx_IsDir(&db, i)) << si_test::Narrow(names.back());
        }
        for (const wchar_t* folder : kLanguageFolders)
            expected.push_back(std::wstring(L"Lang/") + folder + L"/SetupInstallLan.dll");
        EXPECT_EQ(names, expected);

        // Solid LZMA with the BCJ2 filter: one block, three LZMA streams feeding
        // BCJ2, in the coder order the SDK decodes.
        ASSERT_EQ(db.db.NumFolders, 1u);
        EXPECT_EQ(archive.Coders(0), (std::vector<UInt32>{kMethodLzma, kMethodLzma, kMethodLzma, kMethodBcj2}));

        // Reproducible: no times and no attributes stored.
        EXPECT_EQ(db.MTime.Defs, nullptr);
        EXPECT_EQ(db.CTime.Defs, nullptr);
        EXPECT_EQ(db.Attribs.Defs, nullptr);
    }
}

TEST(LangArchive, EntriesEqualTheLibrariesBuilt) {
    for (const LangTree& tree : kLangTrees) {
        SevenZipArchive archive(tree.archive);
        ASSERT_TRUE(archive.opened()) << si_test::Narrow(tree.archive);
        UInt32 index = 0;
        for (const wchar_t* folder : kLanguageFolders) {
            std::wstring path = std::wstring(tree.libraryDir) + L"\\" + folder + L"\\SetupInstallLan.dll";
            SCOPED_TRACE(si_test::Narrow(path));
            std::string packed, built;
            ASSERT_LT(index, archive.db().NumFiles);
            ASSERT_TRUE(archive.Extract(index++, &packed));
            ASSERT_TRUE(si_test::ReadFileBytes(path, &built));
            EXPECT_TRUE(packed == built);
        }
    }
}

}  // namespace
