#include "tests/lang/lang_resource_reader.h"

#include <cstring>

#include "tests/support/test_support.h"

namespace lang_test {

si::unique_hmodule LoadAsData(const std::wstring& path) {
    return si::unique_hmodule(::LoadLibraryExW(
        path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
}

std::string ResourceBytes(HMODULE module, LPCWSTR type, UINT id) {
    HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!info) return std::string();
    HGLOBAL data = ::LoadResource(module, info);
    const void* bytes = data ? ::LockResource(data) : nullptr;
    DWORD size = ::SizeofResource(module, info);
    if (!bytes || size == 0) return std::string();
    return std::string(static_cast<const char*>(bytes), size);
}

bool ReadString(HMODULE module, UINT id, std::wstring* text) {
    std::string block = ResourceBytes(module, RT_STRING, id / 16 + 1);
    size_t pos = 0;
    for (UINT index = 0; index < 16; ++index) {
        WORD length;
        if (pos + sizeof(length) > block.size()) return false;
        std::memcpy(&length, block.data() + pos, sizeof(length));
        pos += sizeof(length);
        size_t bytes = size_t{length} * sizeof(wchar_t);
        if (pos + bytes > block.size()) return false;
        if (index == id % 16) {
            if (length == 0) return false;
            text->assign(length, L'\0');
            std::memcpy(&(*text)[0], block.data() + pos, bytes);
            return true;
        }
        pos += bytes;
    }
    return false;
}

namespace {

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    auto* languages = reinterpret_cast<std::vector<LANGID>*>(param);
    for (LANGID known : *languages)
        if (known == language) return TRUE;
    languages->push_back(language);
    return TRUE;
}

BOOL CALLBACK CollectNameLanguages(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param) {
    ::EnumResourceLanguagesW(module, type, name, CollectLanguage, param);
    return TRUE;
}

BOOL CALLBACK CollectTypeLanguages(HMODULE module, LPWSTR type, LONG_PTR param) {
    ::EnumResourceNamesW(module, type, CollectNameLanguages, param);
    return TRUE;
}

// Reads a DLGTEMPLATEEX front to back, keeping the alignment rules of the format.
class TemplateReader {
public:
    explicit TemplateReader(const std::string& bytes) : bytes_(bytes) {}
    bool ok() const { return ok_; }

    template <typename T>
    T Read() {
        T value{};
        if (pos_ + sizeof(T) > bytes_.size()) {
            ok_ = false;
            return value;
        }
        std::memcpy(&value, bytes_.data() + pos_, sizeof(T));
        pos_ += sizeof(T);
        return value;
    }
    std::wstring ReadText() {
        std::wstring text;
        for (wchar_t c = Read<wchar_t>(); ok_ && c != L'\0'; c = Read<wchar_t>()) text += c;
        return text;
    }
    // sz_Or_Ord: nothing, an ordinal after 0xFFFF, or a terminated text.
    void ReadTextOrOrdinal(std::wstring* text, WORD* ordinal) {
        WORD first = Read<WORD>();
        if (first == 0xFFFF) {
            *ordinal = Read<WORD>();
        } else if (first != 0) {
            pos_ -= sizeof(WORD);
            *text = ReadText();
        }
    }
    void Skip(size_t count) {
        if (pos_ + count > bytes_.size()) ok_ = false;
        else pos_ += count;
    }
    void AlignDword() { pos_ = (pos_ + 3) & ~size_t{3}; }

private:
    const std::string& bytes_;
    size_t pos_ = 0;
    bool ok_ = true;
};

}  // namespace

std::vector<LANGID> ResourceLanguages(HMODULE module, LPCWSTR type, UINT id) {
    std::vector<LANGID> languages;
    ::EnumResourceLanguagesW(module, type, MAKEINTRESOURCEW(id), CollectLanguage,
                             reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

std::vector<LANGID> AllResourceLanguages(HMODULE module) {
    std::vector<LANGID> languages;
    ::EnumResourceTypesW(module, CollectTypeLanguages, reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

bool ParseDialogEx(const std::string& bytes, DialogTemplate* dialog) {
    TemplateReader in(bytes);
    if (in.Read<WORD>() != 1 || in.Read<WORD>() != 0xFFFF) return false;
    in.Read<DWORD>();  // help id
    dialog->exStyle = in.Read<DWORD>();
    dialog->style = in.Read<DWORD>();
    WORD itemCount = in.Read<WORD>();
    dialog->x = in.Read<short>();
    dialog->y = in.Read<short>();
    dialog->cx = in.Read<short>();
    dialog->cy = in.Read<short>();
    std::wstring menu, windowClass;
    WORD menuOrdinal = 0, classOrdinal = 0;
    in.ReadTextOrOrdinal(&menu, &menuOrdinal);
    in.ReadTextOrOrdinal(&windowClass, &classOrdinal);
    dialog->title = in.ReadText();
    if (dialog->style & (DS_SETFONT | DS_SHELLFONT)) {
        dialog->pointSize = in.Read<WORD>();
        in.Read<WORD>();  // weight
        in.Read<BYTE>();  // italic
        in.Read<BYTE>();  // character set
        dialog->typeface = in.ReadText();
    }
    dialog->items.clear();
    for (WORD i = 0; i < itemCount && in.ok(); ++i) {
        DialogItem item;
        in.AlignDword();
        in.Read<DWORD>();  // help id
        item.exStyle = in.Read<DWORD>();
        item.style = in.Read<DWORD>();
        item.x = in.Read<short>();
        item.y = in.Read<short>();
        item.cx = in.Read<short>();
        item.cy = in.Read<short>();
        item.id = in.Read<DWORD>();
        in.ReadTextOrOrdinal(&item.className, &item.classOrdinal);
        in.ReadTextOrOrdinal(&item.title, &item.titleOrdinal);
        in.Skip(in.Read<WORD>());  // creation data
        dialog->items.push_back(item);
    }
    return in.ok();
}

bool ParseIconGroup(const std::string& bytes, std::vector<IconEntry>* entries) {
#pragma pack(push, 2)
    struct GroupHeader {
        WORD reserved, type, count;
    };
    struct GroupEntry {
        BYTE width, height, colorCount, reserved;
        WORD planes, bitCount;
        DWORD bytesInRes;
        WORD id;
    };
#pragma pack(pop)
    static_assert(sizeof(GroupEntry) == 14, "RT_GROUP_ICON entries are 14 bytes");
    GroupHeader header;
    if (bytes.size() < sizeof(header)) return false;
    std::memcpy(&header, bytes.data(), sizeof(header));
    if (header.reserved != 0 || header.type != 1 ||
        bytes.size() != sizeof(header) + size_t{header.count} * sizeof(GroupEntry))
        return false;
    entries->clear();
    for (WORD i = 0; i < header.count; ++i) {
        GroupEntry entry;
        std::memcpy(&entry, bytes.data() + sizeof(header) + i * sizeof(entry), sizeof(entry));
        if (entry.width != entry.height) return false;
        entries->push_back({entry.width == 0 ? 256 : entry.width, entry.bitCount,
                            entry.bytesInRes, entry.id});
    }
    return true;
}

bool ReadPngHeader(const std::string& bytes, PngHeader* header) {
    static const char kSignature[] = "\x89PNG\r\n\x1a\n";
    // signature, chunk length 13, "IHDR", width, height, depth, colour type
    if (bytes.size() < 8 + 8 + 13 || bytes.compare(0, 8, kSignature, 8) != 0 ||
        bytes.compare(8, 8, std::string("\0\0\0\x0dIHDR", 8)) != 0)
        return false;
    auto be32 = [&](size_t at) {
        return uint32_t{static_cast<unsigned char>(bytes[at])} << 24 |
               uint32_t{static_cast<unsigned char>(bytes[at + 1])} << 16 |
               uint32_t{static_cast<unsigned char>(bytes[at + 2])} << 8 |
               uint32_t{static_cast<unsigned char>(bytes[at + 3])};
    };
    header->width = be32(16);
    header->height = be32(20);
    header->bitDepth = static_cast<unsigned char>(bytes[24]);
    header->colorType = static_cast<unsigned char>(bytes[25]);
    return true;
}

bool ReadPeInfo(const std::wstring& path, PeInfo* info) {
    std::string file;
    if (!si_test::ReadFileBytes(path, &file)) return false;
    IMAGE_DOS_HEADER dos;
    if (file.size() < sizeof(dos)) return false;
    std::memcpy(&dos, file.data(), sizeof(dos));
    size_t nt = static_cast<size_t>(dos.e_lfanew);
    if (dos.e_magic != IMAGE_DOS_SIGNATURE ||
        file.size() < nt + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER) + sizeof(WORD))
        return false;
    DWORD signature;
    IMAGE_FILE_HEADER header;
    WORD magic;
    std::memcpy(&signature, file.data() + nt, sizeof(signature));
    std::memcpy(&header, file.data() + nt + sizeof(signature), sizeof(header));
    size_t optional = nt + sizeof(signature) + sizeof(header);
    std::memcpy(&magic, file.data() + optional, sizeof(magic));
    if (signature != IMAGE_NT_SIGNATURE) return false;
    info->machine = header.Machine;
    info->isDll = (header.Characteristics & IMAGE_FILE_DLL) != 0;
    info->timeDateStamp = header.TimeDateStamp;
    IMAGE_DATA_DIRECTORY imports{};
    auto readOptional = [&](auto optionalHeader) {
        if (file.size() < optional + sizeof(optionalHeader)) return false;
        std::memcpy(&optionalHeader, file.data() + optional, sizeof(optionalHeader));
        info->entryPoint = optionalHeader.AddressOfEntryPoint;
        if (optionalHeader.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_IMPORT)
            imports = optionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        return true;
    };
    if (!(magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC ? readOptional(IMAGE_OPTIONAL_HEADER32{})
          : magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC ? readOptional(IMAGE_OPTIONAL_HEADER64{})
                                                   : false))
        return false;

    // Count the import descriptors: find the section holding the directory.
    info->importedDlls = 0;
    if (imports.VirtualAddress == 0) return true;
    size_t sections = optional + header.SizeOfOptionalHeader;
    for (WORD i = 0; i < header.NumberOfSections; ++i) {
        IMAGE_SECTION_HEADER section;
        if (file.size() < sections + (i + 1) * sizeof(section)) return false;
        std::memcpy(&section, file.data() + sections + i * sizeof(section), sizeof(section));
        if (imports.VirtualAddress < section.VirtualAddress ||
            imports.VirtualAddress >= section.VirtualAddress + section.SizeOfRawData)
            continue;
        size_t at = section.PointerToRawData + (imports.VirtualAddress - section.VirtualAddress);
        for (IMAGE_IMPORT_DESCRIPTOR descriptor;; ++info->importedDlls, at += sizeof(descriptor)) {
            if (file.size() < at + sizeof(descriptor)) return false;
            std::memcpy(&descriptor, file.data() + at, sizeof(descriptor));
            if (descriptor.Name == 0) return true;
        }
    }
    return false;
}

}  // namespace lang_test
