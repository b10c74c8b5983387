#include "unpack/extract.h"

#include <cwchar>

#include "diag/trace.h"
#include "framework/app.h"
#include "framework/win.h"
#include "resources/resource_ids.h"
#include "state/globals.h"
#include "state/messages.h"
#include "unpack/unpack_folder.h"

namespace {

// The extraction under way: its output folder and its caller's callback.
// One archive at a time (start-up, then the worker, never together).
struct Extraction {
    const wchar_t* outputFolder = nullptr;
    ExtractProgressFn progress = nullptr;
};
Extraction gExtraction;

// Each entry the decoder is about to write counts as written by this run: a
// write that fails ends the extraction, and a failed extraction is never used.
void __cdecl OnEntry(const wchar_t* stored) {
    wchar_t path[MAX_PATH] = {};
    if (si::FormatPath(path, MAX_PATH, L"%s%s", gExtraction.outputFolder, stored)) {
        for (wchar_t& c : path)
            if (c == L'/') c = L'\\';
        si::NoteWrittenByThisRun(path);
    }
    if (gExtraction.progress) gExtraction.progress(stored);
}

}  // namespace

namespace si {

bool ToAnsiPath(const wchar_t* path, char* narrow, int capacity, UINT codePage) {
    // No flags and no default-character query: Windows refuses both for
    // UTF-8 (code page 65001, "Use Unicode UTF-8 for worldwide language
    // support"). The round trip instead catches every best-fit substitute or
    // default character, so a name outside the code page never turns into
    // another file's name.
    if (::WideCharToMultiByte(codePage, 0, path, -1, narrow, capacity, nullptr, nullptr) <= 0) return false;
    wchar_t back[MAX_PATH] = {};
    return ::MultiByteToWideChar(codePage, 0, narrow, -1, back, MAX_PATH) > 0 && wcscmp(back, path) == 0;
}

}  // namespace si

namespace {

// Loads the decoder from the unpack folder and extracts archive `nameId` into
// it. Returns -1 when the decoder could not be used (after its message), else
// the decoder's result.
int ExtractArchive(UINT nameId, ExtractProgressFn progress) {
    // What the unpacker wrote stays held until this returns: by then the
    // decoder has been loaded and has read the archive.
    struct ReleaseOnReturn {
        ~ReleaseOnReturn() { si::ReleaseWrittenFiles(); }
    } release;
    wchar_t libraryPath[MAX_PATH] = {};
    wchar_t archivePath[MAX_PATH] = {};
    wchar_t outputFolder[MAX_PATH] = {};
    char narrowArchivePath[MAX_PATH] = {};

    const std::wstring archiveName = si::LoadStringOrExit(nameId);
    // A path that does not fit is refused: a cut path would name another file.
    if (!si::FormatPath(libraryPath, MAX_PATH, L"%s\\%s", gUnPackDirPath, L"7zDec.dll") ||
        !si::FormatPath(archivePath, MAX_PATH, L"%s\\%s", gUnPackDirPath, archiveName.c_str()) ||
        !si::FormatPath(outputFolder, MAX_PATH, L"%s\\", gUnPackDirPath)) {
        AfxMessageBox(kLoadLibraryError, MB_OK | MB_ICONEXCLAMATION);
        return -1;
    }

    si::unique_hmodule library(si::IsForeignToUnpackFolder(libraryPath) ? nullptr : ::LoadLibraryW(libraryPath));
    if (!library) {
        SI_TRACE_LAST_ERROR(L"LoadLibraryW");
        AfxMessageBox(kLoadLibraryError, MB_OK | MB_ICONEXCLAMATION);
        return -1;
    }
    auto extractFiles = reinterpret_cast<ExtractFilesFn>(
        reinterpret_cast<void*>(::GetProcAddress(library.get(), "ExtractFiles")));
    if (!extractFiles) {
        SI_TRACE_LAST_ERROR(L"GetProcAddress");
        AfxMessageBox(L"GetProcAddress error!", MB_OK | MB_ICONEXCLAMATION);
        return -1;
    }
    // A path that does not convert cannot be opened, as the decoder would report it.
    if (!si::ToAnsiPath(archivePath, narrowArchivePath, MAX_PATH, ::GetACP())) return EXTRACT_CANNOT_OPEN;
    gExtraction = Extraction{outputFolder, progress};
    return extractFiles(narrowArchivePath, outputFolder, &OnEntry);
}

}  // namespace

int ExtractLangFiles() {
    // A language pack not extracted whole is not used: its library counts as missing.
    return ExtractArchive(IDS_LANG_ARCHIVE_NAME, nullptr) == EXTRACT_OK ? 1 : 0;
}

int ExtractSetupFiles(ExtractProgressFn onEntry) {
    // A damaged or partly extracted payload must not be installed.
    return ExtractArchive(IDS_SETUP_ARCHIVE_NAME, onEntry) == EXTRACT_OK ? 1 : 0;
}
