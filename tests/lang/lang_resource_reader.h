// Reads the resources of a module loaded as data (any architecture) the way
// the loader finds them: by type and id, whatever language they carry.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/win.h"

namespace lang_test {

// A library or executable loaded as an image resource: works for i686 files
// from the 64-bit test process. Null when it cannot be loaded.
si::unique_hmodule LoadAsData(const std::wstring& path);

// The bytes of resource (type, id); empty when missing.
std::string ResourceBytes(HMODULE module, LPCWSTR type, UINT id);

// String table entry `id` read from its 16-string block. False when the block
// or the entry is missing (a zero-length entry is missing for LoadString too).
bool ReadString(HMODULE module, UINT id, std::wstring* text);

// The languages under which resources of `type` carry `id`.
std::vector<LANGID> ResourceLanguages(HMODULE module, LPCWSTR type, UINT id);

// Every language used by any resource of the module.
std::vector<LANGID> AllResourceLanguages(HMODULE module);

// An extended dialog template (DLGTEMPLATEEX) and its items.
struct DialogItem {
    DWORD exStyle = 0, style = 0, id = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring className;   // empty when given by ordinal
    WORD classOrdinal = 0;    // 0x0080 button, 0x0082 static, ...
    std::wstring title;
    WORD titleOrdinal = 0;    // an icon's resource id
};
struct DialogTemplate {
    DWORD exStyle = 0, style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring title;
    WORD pointSize = 0;
    std::wstring typeface;
    std::vector<DialogItem> items;
};
// False when the bytes are not a well-formed DLGTEMPLATEEX.
bool ParseDialogEx(const std::string& bytes, DialogTemplate* dialog);

// One image of an icon group: edge in pixels (256 for the stored 0), bits per
// pixel and the RT_ICON id holding it.
struct IconEntry {
    int size = 0;
    int bitCount = 0;
    DWORD bytes = 0;
    WORD id = 0;
};
bool ParseIconGroup(const std::string& bytes, std::vector<IconEntry>* entries);

// Width, height, bit depth and colour type from a PNG's IHDR chunk.
struct PngHeader {
    uint32_t width = 0, height = 0;
    int bitDepth = 0, colorType = 0;
};
bool ReadPngHeader(const std::string& bytes, PngHeader* header);

// The fields of a PE file's headers the tests look at.
struct PeInfo {
    WORD machine = 0;
    bool isDll = false;
    DWORD entryPoint = 0;
    int importedDlls = 0;  // import descriptors before the terminating empty one
    DWORD timeDateStamp = 0;
};
bool ReadPeInfo(const std::wstring& path, PeInfo* info);

}  // namespace lang_test
