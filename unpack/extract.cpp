#include "unpack/extract.h"

#include "diag/trace.h"
#include "framework/app.h"
#include "framework/win.h"
#include "resources/resource_ids.h"
#include "state/globals.h"
#include "state/messages.h"
#include "unpack/unpack_folder.h"

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

    si::unique_hmodule library(::LoadLibraryW(libraryPath));
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
    // Up to the terminator, no best-fit substitutes and no default character:
    // a name outside the ANSI code page must not turn into another file's
    // name. A path that does not convert cannot be opened, as the decoder
    // would report it.
    BOOL usedDefault = FALSE;
    if (::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, archivePath, -1, narrowArchivePath, MAX_PATH, nullptr,
                              &usedDefault) <= 0 ||
        usedDefault)
        return EXTRACT_CANNOT_OPEN;
    return extractFiles(narrowArchivePath, outputFolder, progress);
}

}  // namespace

int ExtractLangFiles() {
    // The decoder's result is not looked at: a failed extraction shows as a
    // missing language library right after.
    return ExtractArchive(IDS_LANG_ARCHIVE_NAME, nullptr) < 0 ? 0 : 1;
}

int ExtractSetupFiles(ExtractProgressFn onEntry) {
    // A damaged or partly extracted payload must not be installed.
    return ExtractArchive(IDS_SETUP_ARCHIVE_NAME, onEntry) == EXTRACT_OK ? 1 : 0;
}
