// 7zDec.dll: extracts every entry of a 7z archive below a folder. The 7z
// reading and decoding is the LZMA SDK's; this file walks the entry table,
// checks each stored path, creates the folders and writes the files.
#include "decoder/7zdec.h"

#include <windows.h>

#include "7z.h"
#include "7zAlloc.h"
#include "7zCrc.h"
#include "7zFile.h"
#include "framework/win.h"

namespace {

const ISzAlloc kAlloc = {SzAlloc, SzFree};
const size_t kLookBufferSize = static_cast<size_t>(1) << 18;

// What SetFileAttributesW accepts on a file; the rest of the stored value
// (folder flag, the Unix mode 7-Zip keeps in the high bits) is dropped.
const DWORD kFileAttributeMask = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                 FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                 FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The archive file, its read-ahead buffer, its entry table and the decoded
// solid block, released together.
class Archive {
public:
    Archive() {
        File_Construct(&file_.file);
        FileInStream_CreateVTable(&file_);
        file_.wres = 0;
        LookToRead2_CreateVTable(&look_, False);
        look_.buf = nullptr;
        SzArEx_Init(&db_);
    }
    ~Archive() {
        ISzAlloc_Free(&kAlloc, block_);
        SzArEx_Free(&db_, &kAlloc);
        ISzAlloc_Free(&kAlloc, look_.buf);
        File_Close(&file_.file);
    }
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    bool Open(const char* path) { return InFile_Open(&file_.file, path) == 0; }

    SRes ReadEntryTable() {
        look_.buf = static_cast<Byte*>(ISzAlloc_Alloc(&kAlloc, kLookBufferSize));
        if (!look_.buf) return SZ_ERROR_MEM;
        look_.bufSize = kLookBufferSize;
        look_.realStream = &file_.vt;
        LookToRead2_INIT(&look_);
        return SzArEx_Open(&db_, &look_.vt, &kAlloc, &kAlloc);
    }

    UInt32 Count() const { return db_.NumFiles; }
    bool HasNames() const { return db_.FileNameOffsets && db_.FileNames; }
    bool IsFolder(UInt32 i) const { return SzArEx_IsDir(&db_, i); }
    // The stored path's length in UTF-16 units, its terminator included.
    size_t NameSize(UInt32 i) const { return SzArEx_GetFileNameUtf16(&db_, i, nullptr); }
    void CopyName(UInt32 i, wchar_t* out) const {
        static_assert(sizeof(wchar_t) == sizeof(UInt16), "UTF-16 wide characters");
        SzArEx_GetFileNameUtf16(&db_, i, reinterpret_cast<UInt16*>(out));
    }
    bool GetAttributes(UInt32 i, DWORD* attributes) const {
        if (!SzBitWithVals_Check(&db_.Attribs, i)) return false;
        *attributes = db_.Attribs.Vals[i];
        return true;
    }

    // The bytes of file entry `i`. A solid block stays decoded for the entries
    // after it; an entry without data does not touch it (the SDK would drop it).
    SRes Decode(UInt32 i, const Byte** data, size_t* size) {
        *data = nullptr;
        *size = 0;
        if (db_.FileToFolder[i] == static_cast<UInt32>(-1)) return SZ_OK;
        size_t offset = 0;
        const SRes res = SzArEx_Extract(&db_, &look_.vt, i, &blockIndex_, &block_, &blockSize_,
                                        &offset, size, &kAlloc, &kAlloc);
        if (res == SZ_OK) *data = block_ + offset;
        return res;
    }

private:
    CFileInStream file_;
    CLookToRead2 look_;
    CSzArEx db_;
    UInt32 blockIndex_ = static_cast<UInt32>(-1);
    Byte* block_ = nullptr;
    size_t blockSize_ = 0;
};

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

wchar_t UpperAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c; }

// A device name (CON, NUL, COM1, ...; any extension) opens the device
// whatever folder stands before it.
bool IsDeviceName(const wchar_t* part, size_t length) {
    size_t base = 0;
    while (base < length && part[base] != L'.') ++base;
    while (base > 0 && part[base - 1] == L' ') --base;
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kDevices) {
        size_t i = 0;
        while (i < base && device[i] && UpperAscii(part[i]) == device[i]) ++i;
        if (i == base && !device[i]) return true;
    }
    return base == 4 && part[3] >= L'1' && part[3] <= L'9' &&
           ((UpperAscii(part[0]) == L'C' && UpperAscii(part[1]) == L'O' && UpperAscii(part[2]) == L'M') ||
            (UpperAscii(part[0]) == L'L' && UpperAscii(part[1]) == L'P' && UpperAscii(part[2]) == L'T'));
}

// True when the stored path names something inside the output folder: every
// component, split at slashes and backslashes, is non-empty (so no leading
// separator), is not made of dots and spaces only ("." and ".." and what
// Windows trims to them), holds no colon (drive letter, data stream) and is no
// device name.
bool IsInsideOutputFolder(const wchar_t* stored) {
    const wchar_t* part = stored;
    for (;;) {
        size_t length = 0;
        bool dotsOnly = true;
        while (part[length] && !IsSeparator(part[length])) {
            if (part[length] == L':') return false;
            if (part[length] != L'.' && part[length] != L' ') dotsOnly = false;
            ++length;
        }
        if (length == 0 || dotsOnly || IsDeviceName(part, length)) return false;
        if (!part[length]) return true;
        part += length + 1;
    }
}

// Creates the folder `path`; one that exists already is no failure, unless it
// is a link (a junction or symbolic link): nothing is written through one.
bool CreateFolder(const wchar_t* path) {
    if (::CreateDirectoryW(path, nullptr)) return true;
    const DWORD attributes = ::GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !si::IsReparsePoint(path);
}

// Creates the folder before every separator of the stored part of `path`
// (starting at `stored`), turning each separator into a backslash.
bool CreateParentFolders(wchar_t* path, wchar_t* stored) {
    return si::WalkFolderChain(path, static_cast<size_t>(stored - path), 0, CreateFolder);
}

// Writes a file entry: an existing file is replaced (even a read-only or
// hidden one), others may read it meanwhile; then the stored attributes.
SRes WriteFileEntry(const wchar_t* path, const Byte* data, size_t size, bool hasAttributes,
                    DWORD attributes) {
    if (si::IsReparsePoint(path)) return SZ_ERROR_WRITE;
    const DWORD existing = ::GetFileAttributesW(path);
    if (existing != INVALID_FILE_ATTRIBUTES && !(existing & FILE_ATTRIBUTE_DIRECTORY) &&
        (existing & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
        ::SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    si::unique_file file(::CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return SZ_ERROR_WRITE;
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(file.get(), data, chunk, &written, nullptr) || written != chunk)
            return SZ_ERROR_WRITE;
        data += written;
        size -= written;
    }
    if (!::CloseHandle(file.release())) return SZ_ERROR_WRITE;
    if (hasAttributes) {
        attributes &= kFileAttributeMask;
        if (!::SetFileAttributesW(path, attributes ? attributes : FILE_ATTRIBUTE_NORMAL))
            return SZ_ERROR_WRITE;
    }
    return SZ_OK;
}

// Extracts every entry in the order of the entry table; the first failure ends it.
SRes ExtractEntries(Archive& archive, const wchar_t* outputFolder, ExtractProgressFn progress) {
    // The full path of the current entry: the output folder, then the stored path.
    wchar_t path[MAX_PATH];
    size_t folderLength = 0;
    while (folderLength < MAX_PATH && outputFolder[folderLength]) ++folderLength;
    if (folderLength >= MAX_PATH) return SZ_ERROR_FAIL;
    wmemcpy(path, outputFolder, folderLength);
    if (!IsSeparator(path[folderLength - 1])) {  // appending directly would leave the folder
        if (folderLength + 1 >= MAX_PATH) return SZ_ERROR_FAIL;
        path[folderLength++] = L'\\';
    }
    wchar_t* const stored = path + folderLength;

    if (archive.Count() > 0 && !archive.HasNames()) return SZ_ERROR_ARCHIVE;
    for (UInt32 i = 0; i < archive.Count(); ++i) {
        if (archive.NameSize(i) > MAX_PATH - folderLength) return SZ_ERROR_FAIL;
        archive.CopyName(i, stored);
        if (!IsInsideOutputFolder(stored)) return SZ_ERROR_FAIL;
        if (progress) progress(stored);

        if (archive.IsFolder(i)) {
            if (!CreateParentFolders(path, stored) || !CreateFolder(path)) return SZ_ERROR_WRITE;
            continue;
        }
        const Byte* data = nullptr;
        size_t size = 0;
        RINOK(archive.Decode(i, &data, &size))
        if (!CreateParentFolders(path, stored)) return SZ_ERROR_WRITE;
        DWORD attributes = 0;
        const bool hasAttributes = archive.GetAttributes(i, &attributes);
        RINOK(WriteFileEntry(path, data, size, hasAttributes, attributes))
    }
    return SZ_OK;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        ::DisableThreadLibraryCalls(instance);
        CrcGenerateTable();
    }
    return TRUE;
}

extern "C" int __cdecl ExtractFiles(const char* archivePath, const wchar_t* outputFolder,
                                    ExtractProgressFn progress) {
    if (!archivePath || !*archivePath || !outputFolder || !*outputFolder) return EXTRACT_MISSING_ARGUMENT;
    Archive archive;
    if (!archive.Open(archivePath)) return EXTRACT_CANNOT_OPEN;
    SRes res = archive.ReadEntryTable();
    if (res == SZ_OK) res = ExtractEntries(archive, outputFolder, progress);
    switch (res) {
        case SZ_OK: return EXTRACT_OK;
        case SZ_ERROR_CRC:
        case SZ_ERROR_UNSUPPORTED:
        case SZ_ERROR_PARAM: return res;
        default: return EXTRACT_FAILED;
    }
}
