// The 17 language libraries of both build trees: what the installer relies on
// once a library is its resource module (string table 101 to 143, dialogs 100
// and 102, icon 128, skin 129), compared with the executable's own resources.

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/language.h"
#include "framework/win.h"
#include "lang_test_paths.h"
#include "resources/resource_ids.h"
#include "tests/lang/lang_resource_reader.h"
#include "tests/support/test_support.h"

namespace {

using lang_test::DialogTemplate;
using lang_test::IconEntry;
using lang_test::PngHeader;

constexpr UINT kFirstId = IDS_ABOUTBOX;     // 101
constexpr UINT kLastId = IDS_LIST_LANGPACK;  // 143
constexpr wchar_t kEllipsis = L'\u2026';
const wchar_t kEnglish[] = L"English(United_States)";
const wchar_t kIndonesian[] = L"Indonesian(Indonesia)";

bool IsTranslatedId(UINT id) {
    return id == IDS_WINDOW_TITLE || id == IDS_PRODUCT_NAME ||
           (id >= IDS_INVALID_CHIP_VENDOR && id <= IDS_STATUS_INITIALIZED);
}

using StringTable = std::map<UINT, std::wstring>;

// The text of `id`, empty when the table lacks it (reported by AllIdsPresentAndNonEmpty).
const std::wstring& TextOf(const StringTable& table, UINT id) {
    static const std::wstring kNone;
    auto it = table.find(id);
    return it == table.end() ? kNone : it->second;
}

StringTable ReadStringTable(HMODULE module) {
    StringTable table;
    for (UINT id = kFirstId; id <= kLastId; ++id) {
        std::wstring text;
        if (lang_test::ReadString(module, id, &text)) table[id] = text;
    }
    return table;
}

struct Library {
    const LangTree* tree;
    std::wstring folder;
    std::wstring path;
    si::unique_hmodule module;
    StringTable strings;
    std::wstring Name() const { return std::wstring(tree->name) + L" " + folder; }
};

struct Tree {
    const LangTree* tree;
    si::unique_hmodule executable;
    StringTable strings;  // the executable's own: English and configuration
};

// Every library and both executables, loaded once as data for the whole program.
struct Loaded {
    std::vector<Tree> trees;
    std::vector<Library> libraries;
};

const Loaded& All() {
    static const std::unique_ptr<Loaded> loaded = [] {
        auto all = std::make_unique<Loaded>();
        for (const LangTree& tree : kLangTrees) {
            Tree t{&tree, lang_test::LoadAsData(tree.executable), {}};
            if (t.executable) t.strings = ReadStringTable(t.executable.get());
            all->trees.push_back(std::move(t));
            for (const wchar_t* folder : kLanguageFolders) {
                Library library{&tree, folder,
                                std::wstring(tree.libraryDir) + L"\\" + folder + L"\\SetupInstallLan.dll",
                                {}, {}};
                library.module = lang_test::LoadAsData(library.path);
                if (library.module) library.strings = ReadStringTable(library.module.get());
                all->libraries.push_back(std::move(library));
            }
        }
        return all;
    }();
    return *loaded;
}

const Tree& TreeOf(const Library& library) {
    for (const Tree& tree : All().trees)
        if (tree.tree == library.tree) return tree;
    return All().trees.front();
}

std::string Show(const std::wstring& text) { return si_test::Narrow(text); }

// Runs `check` on every loaded library; a failed ASSERT ends that library's check only.
void ForEachLibrary(const std::function<void(const Library&)>& check) {
    for (const Library& lib : All().libraries) {
        SCOPED_TRACE(Show(lib.Name()));
        if (!lib.module) {
            ADD_FAILURE() << "not loaded";
            continue;
        }
        check(lib);
    }
}

TEST(LangLibraries, EveryLibraryOfBothTreesIsAResourceOnlyDll) {
    ASSERT_EQ(All().libraries.size(), 2u * 17u);
    for (const Tree& tree : All().trees)
        EXPECT_TRUE(tree.executable) << Show(tree.tree->executable) << ": build both trees (scripts/build.sh)";
    for (const Library& lib : All().libraries) {
        SCOPED_TRACE(Show(lib.path));
        ASSERT_TRUE(lib.module) << "cannot be loaded as data, error " << ::GetLastError();
        lang_test::PeInfo pe;
        ASSERT_TRUE(lang_test::ReadPeInfo(lib.path, &pe));
        EXPECT_EQ(pe.machine, lib.tree->machine);
        EXPECT_TRUE(pe.isDll);
        EXPECT_EQ(pe.entryPoint, 0u) << "no code runs when the library is loaded";
        EXPECT_EQ(pe.importedDlls, 0) << "imports nothing";
        EXPECT_EQ(pe.timeDateStamp, 0u) << "reproducible: no link time stamp";
    }
}

TEST(LangLibraries, TwinLibrariesLoadAsTheInstallerLoadsThem) {
    for (const Library& lib : All().libraries) {
        if (lib.tree != &kLangTrees[0]) continue;
        SCOPED_TRACE(Show(lib.path));
        si::unique_hmodule module(::LoadLibraryW(lib.path.c_str()));
        ASSERT_TRUE(module) << "LoadLibraryW error " << ::GetLastError();
        auto expected = lib.strings.find(IDS_WINDOW_TITLE);
        ASSERT_NE(expected, lib.strings.end());
        EXPECT_EQ(si::LoadStringResource(module.get(), IDS_WINDOW_TITLE), expected->second);
        EXPECT_NE(::FindResourceW(module.get(), MAKEINTRESOURCEW(IDR_SKIN_PNG), L"PNG"), nullptr);
    }
}

// Every resource carries the library's own language, one that the language
// table selects this very folder for: a string block is found under one
// language only, so shared and translated ids must not be split.
TEST(LangLibraries, OneLanguagePerLibraryMatchingItsFolder) {
    ForEachLibrary([&](const Library& lib) {
        std::vector<LANGID> languages = lang_test::AllResourceLanguages(lib.module.get());
        ASSERT_EQ(languages.size(), 1u);
        int row = FindLanguageIndex(languages[0]);
        ASSERT_GE(row, 0) << "language " << std::hex << languages[0] << " is not in the table";
        EXPECT_EQ(Show(kLanguageTable[row].folderName), Show(lib.folder));
    });
}

TEST(StringTable, AllIdsPresentAndNonEmpty) {
    for (const Tree& tree : All().trees)
        EXPECT_EQ(tree.strings.size(), kLastId - kFirstId + 1) << Show(tree.tree->executable);
    ForEachLibrary([&](const Library& lib) {
        for (UINT id = kFirstId; id <= kLastId; ++id) {
            auto it = lib.strings.find(id);
            EXPECT_TRUE(it != lib.strings.end() && !it->second.empty()) << "id " << id;
        }
    });
}

TEST(StringTable, ConfigurationIdsEqualTheExecutables) {
    ForEachLibrary([&](const Library& lib) {
        const StringTable& exe = TreeOf(lib).strings;
        for (UINT id = kFirstId; id <= kLastId; ++id) {
            if (IsTranslatedId(id)) continue;
            auto mine = lib.strings.find(id);
            auto theirs = exe.find(id);
            ASSERT_TRUE(mine != lib.strings.end() && theirs != exe.end()) << "id " << id;
            EXPECT_EQ(Show(mine->second), Show(theirs->second)) << "id " << id;
        }
    });
}

TEST(StringTable, TranslatedIdsDifferFromEnglish) {
    ForEachLibrary([&](const Library& lib) {
        const StringTable& english = TreeOf(lib).strings;
        for (UINT id = kFirstId; id <= kLastId; ++id) {
            if (!IsTranslatedId(id)) continue;
            auto mine = lib.strings.find(id);
            auto theirs = english.find(id);
            ASSERT_TRUE(mine != lib.strings.end() && theirs != english.end()) << "id " << id;
            bool keepsEnglish = lib.folder == kEnglish ||
                                (lib.folder == kIndonesian && (id == IDS_WINDOW_TITLE || id == IDS_PRODUCT_NAME));
            if (keepsEnglish) {
                EXPECT_EQ(Show(mine->second), Show(theirs->second)) << "id " << id;
            } else {
                EXPECT_NE(Show(mine->second), Show(theirs->second)) << "id " << id << " left in English";
            }
        }
        // The product name is never translated.
        for (UINT id : {IDS_WINDOW_TITLE, IDS_PRODUCT_NAME})
            EXPECT_NE(TextOf(lib.strings, id).find(L"KALVERON"), std::wstring::npos) << "id " << id;
    });
}

TEST(StringTable, EllipsisIsOneCharacter) {
    ForEachLibrary([&](const Library& lib) {
        const StringTable& english = TreeOf(lib).strings;
        for (UINT id = kFirstId; id <= kLastId; ++id) {
            if (!IsTranslatedId(id)) continue;
            const std::wstring& text = TextOf(lib.strings, id);
            EXPECT_EQ(text.find(L"..."), std::wstring::npos) << "id " << id << ": three full stops";
            if (TextOf(english, id).find(kEllipsis) != std::wstring::npos) {
                EXPECT_NE(text.find(kEllipsis), std::wstring::npos) << "id " << id << ": no ellipsis";
            }
        }
    });
}

// The scripts of the languages that do not write in Latin letters: every text
// uses its script, and the neighbours that share one keep apart.
TEST(StringTable, TextsAreWrittenInTheLanguagesScript) {
    struct Script {
        const wchar_t* folder;
        wchar_t first, last;       // a text holds at least one letter of this range
        const wchar_t* forbidden;  // letters of a neighbouring language or script variant
    };
    const Script scripts[] = {
        // Simplified forms of characters these texts use in their Traditional form.
        {L"Chinese(Traditional)", L'\u4E00', L'\u9FFF',
         L"装载软驱动启删设档网络为统这时间务执创败请试应读缩压员将该无线复选择进"},
        {L"Japanese(Japan)", L'\u3040', L'\u30FF', L""},
        {L"Korean(Korea)", L'\uAC00', L'\uD7AF', L""},
        {L"Russian(Russia)", L'\u0400', L'\u04FF', L"\u0456\u0457\u0454\u0491\u0406\u0407\u0404\u0490"},
        {L"Ukrainian(Ukraine)", L'\u0400', L'\u04FF', L"\u044B\u044D\u044A\u0451\u042B\u042D\u042A\u0401"},
        {L"Thai(Thailand)", L'\u0E00', L'\u0E7F', L""},
    };
    ForEachLibrary([&](const Library& lib) {
        for (const Script& script : scripts) {
            if (lib.folder != script.folder) continue;
            for (UINT id = kFirstId; id <= kLastId; ++id) {
                if (!IsTranslatedId(id)) continue;
                const std::wstring& text = TextOf(lib.strings, id);
                bool inScript = false;
                for (wchar_t c : text) inScript = inScript || (c >= script.first && c <= script.last);
                EXPECT_TRUE(inScript) << "id " << id << ": " << Show(text);
                EXPECT_EQ(text.find_first_of(script.forbidden), std::wstring::npos)
                    << "id " << id << ": " << Show(text);
            }
        }
    });
}

TEST(Dialogs, MainDialogIsABorderlessPopupWithATaskbarButton) {
    ForEachLibrary([&](const Library& lib) {
        DialogTemplate dialog;
        ASSERT_TRUE(lang_test::ParseDialogEx(
            lang_test::ResourceBytes(lib.module.get(), RT_DIALOG, IDD_SETUPINSTALL_DIALOG), &dialog));
        EXPECT_EQ(dialog.style & (WS_POPUP | WS_VISIBLE), DWORD{WS_POPUP | WS_VISIBLE});
        EXPECT_EQ(dialog.style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME | DS_MODALFRAME), 0u);
        EXPECT_TRUE(dialog.exStyle & WS_EX_APPWINDOW);
        EXPECT_EQ(dialog.cx, 320);
        EXPECT_EQ(dialog.cy, 200);
        EXPECT_EQ(Show(dialog.typeface), "MS Shell Dlg");
        EXPECT_EQ(dialog.pointSize, 9);
        EXPECT_TRUE(dialog.items.empty());
    });
}

TEST(Dialogs, AboutBoxHasCaptionSystemMenuAndModalFrame) {
    ForEachLibrary([&](const Library& lib) {
        DialogTemplate dialog;
        ASSERT_TRUE(lang_test::ParseDialogEx(
            lang_test::ResourceBytes(lib.module.get(), RT_DIALOG, IDD_ABOUTBOX), &dialog));
        EXPECT_EQ(dialog.style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME),
                  DWORD{WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME});
        EXPECT_EQ(dialog.cx, 170);
        EXPECT_EQ(dialog.cy, 62);
        EXPECT_EQ(Show(dialog.title), "About SetupInstall");
        EXPECT_EQ(Show(dialog.typeface), "MS Shell Dlg");
        EXPECT_EQ(dialog.pointSize, 9);
        ASSERT_EQ(dialog.items.size(), 4u);
        const auto& icon = dialog.items[0];
        EXPECT_EQ(icon.classOrdinal, 0x0082);  // static
        EXPECT_TRUE((icon.style & SS_TYPEMASK) == SS_ICON);
        EXPECT_EQ(icon.titleOrdinal, IDR_MAINFRAME);
        EXPECT_EQ(icon.x, 14);
        EXPECT_EQ(icon.y, 14);
        EXPECT_EQ(Show(dialog.items[1].title), "SetupInstall, ver 1.0 ");
        EXPECT_EQ(dialog.items[1].x, 42);
        EXPECT_EQ(dialog.items[1].y, 14);
        EXPECT_EQ(dialog.items[2].x, 42);
        EXPECT_EQ(dialog.items[2].y, 26);
        const auto& button = dialog.items[3];
        EXPECT_EQ(button.classOrdinal, 0x0080);  // button
        EXPECT_EQ(button.id, DWORD{IDOK});
        EXPECT_EQ(button.style & BS_TYPEMASK, DWORD{BS_DEFPUSHBUTTON});
        EXPECT_EQ(Show(button.title), "YES");
        EXPECT_EQ(button.x, 113);
        EXPECT_EQ(button.y, 41);
        EXPECT_EQ(button.cx, 50);
        EXPECT_EQ(button.cy, 14);
    });
}

// Bits per pixel of one RT_ICON image: PNG-compressed or a DIB.
int ImageBitCount(const std::string& image, int* width) {
    PngHeader png;
    if (lang_test::ReadPngHeader(image, &png)) {
        *width = static_cast<int>(png.width);
        return png.bitDepth == 8 && png.colorType == 6 ? 32 : 0;
    }
    BITMAPINFOHEADER header;
    if (image.size() < sizeof(header)) return 0;
    memcpy(&header, image.data(), sizeof(header));
    *width = header.biWidth;
    return header.biBitCount;
}

TEST(Icon, GroupHasSevenSizesAt32Bits) {
    ForEachLibrary([&](const Library& lib) {
        std::vector<IconEntry> entries;
        ASSERT_TRUE(lang_test::ParseIconGroup(
            lang_test::ResourceBytes(lib.module.get(), RT_GROUP_ICON, IDR_MAINFRAME), &entries));
        std::vector<int> sizes;
        for (const IconEntry& entry : entries) {
            SCOPED_TRACE(entry.size);
            sizes.push_back(entry.size);
            EXPECT_EQ(entry.bitCount, 32);
            std::string image = lang_test::ResourceBytes(lib.module.get(), RT_ICON, entry.id);
            EXPECT_EQ(image.size(), entry.bytes);
            int width = 0;
            EXPECT_EQ(ImageBitCount(image, &width), 32);
            EXPECT_EQ(width, entry.size);
        }
        EXPECT_EQ(sizes, (std::vector<int>{256, 128, 64, 48, 32, 24, 16}));
    });
}

// Decodes a PNG with GDI+, as the skin loader does.
bool DecodePng(const std::string& bytes, UINT* width, UINT* height, Gdiplus::PixelFormat* format) {
    si::unique_hglobal memory(::GlobalAlloc(GMEM_MOVEABLE, bytes.size()));
    if (!memory) return false;
    void* target = ::GlobalLock(memory.get());
    if (!target) return false;
    memcpy(target, bytes.data(), bytes.size());
    ::GlobalUnlock(memory.get());
    IStream* stream = nullptr;
    if (FAILED(::CreateStreamOnHGlobal(memory.get(), FALSE, &stream))) return false;
    Gdiplus::GpBitmap* bitmap = nullptr;
    bool ok = Gdiplus::DllExports::GdipCreateBitmapFromStream(stream, &bitmap) == Gdiplus::Ok &&
              Gdiplus::DllExports::GdipGetImageWidth(bitmap, width) == Gdiplus::Ok &&
              Gdiplus::DllExports::GdipGetImageHeight(bitmap, height) == Gdiplus::Ok &&
              Gdiplus::DllExports::GdipGetImagePixelFormat(bitmap, format) == Gdiplus::Ok;
    if (bitmap) Gdiplus::DllExports::GdipDisposeImage(bitmap);
    stream->Release();
    return ok;
}

TEST(Skin, PngIs424By300Rgba) {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);
    ForEachLibrary([&](const Library& lib) {
        std::string png = lang_test::ResourceBytes(lib.module.get(), L"PNG", IDR_SKIN_PNG);
        PngHeader header;
        ASSERT_TRUE(lang_test::ReadPngHeader(png, &header));
        EXPECT_EQ(header.width, 424u);
        EXPECT_EQ(header.height, 300u);
        EXPECT_EQ(header.bitDepth, 8);
        EXPECT_EQ(header.colorType, 6);  // RGBA
        UINT width = 0, height = 0;
        Gdiplus::PixelFormat format = 0;
        ASSERT_TRUE(DecodePng(png, &width, &height, &format));
        EXPECT_EQ(width, 424u);
        EXPECT_EQ(height, 300u);
        EXPECT_EQ(format, PixelFormat32bppARGB);
    });
    Gdiplus::GdiplusShutdown(token);
}

// The dialogs, the icon and the skin are written once: byte for byte the
// executable's own.
TEST(LangLibraries, SharedResourcesEqualTheExecutables) {
    struct Shared {
        LPCWSTR type;
        UINT id;
    };
    const Shared shared[] = {{RT_DIALOG, IDD_ABOUTBOX}, {RT_DIALOG, IDD_SETUPINSTALL_DIALOG},
                             {RT_GROUP_ICON, IDR_MAINFRAME}, {L"PNG", IDR_SKIN_PNG}};
    ForEachLibrary([&](const Library& lib) {
        HMODULE exe = TreeOf(lib).executable.get();
        ASSERT_NE(exe, nullptr);
        for (const Shared& resource : shared) {
            SCOPED_TRACE(resource.id);
            std::string mine = lang_test::ResourceBytes(lib.module.get(), resource.type, resource.id);
            EXPECT_FALSE(mine.empty());
            EXPECT_TRUE(mine == lang_test::ResourceBytes(exe, resource.type, resource.id));
        }
    });
}

}  // namespace
