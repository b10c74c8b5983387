#include "install/copy_files.h"

#include <windows.h>

#include "diag/log.h"
#include "diag/trace.h"
#include "install/config.h"
#include "install/fileops.h"
#include "install/install_common.h"
#include "state/globals.h"

// The language folders of lang/languages.inc, in their order.
const wchar_t* const kUninstallLanguages[kUninstallLanguageCount] = {
#define SI_LANGUAGE_FOLDER(folder, primary, sub) L##folder,
#include "lang/languages.inc"
};
#define SI_LANGUAGE_FOLDER(folder, primary, sub) +1
static_assert(0
#include "lang/languages.inc"
                  == kUninstallLanguageCount,
              "every language folder has its place in kUninstallLanguages");

namespace {

constexpr wchar_t kTag[] = L"copyFiles";

bool CopyFailed() {
    SI_TRACE_LAST_ERROR(L"copyFiles");
    WriteLog(L"copyFiles>>copy Config fail\n");
    return false;
}

}  // namespace

bool copyFiles() {
    wchar_t source[MAX_PATH] = {};
    wchar_t destination[MAX_PATH] = {};
    if (!si::JoinPath(kTag, source, {gUnPackDirPath, gUninstSourceDir, L"Uninstall.exe"}) ||
        !si::JoinPath(kTag, destination, {gTargetDir, L"Uninstall.exe"}))
        return CopyFailed();
    WriteLog(L"copyFiles>>gTargetDir = %s\n", gTargetDir);

    createMultiDir(gTargetDir);  // a failure shows as the failed copy below
    if (!CopyOwnFile(source, destination)) return CopyFailed();

    wchar_t langSource[MAX_PATH] = {};
    wchar_t szDesUninsLang[MAX_PATH] = {};
    if (!si::JoinPath(kTag, langSource, {gUnPackDirPath, gUninstSourceDir, L"UnLang"}) ||
        !si::JoinPath(kTag, szDesUninsLang, {gTargetDir, L"UnLang"}))
        return CopyFailed();
    WriteLog(L"copyFiles>>szDesUninsLang = %s\n", szDesUninsLang);
    ::CreateDirectoryW(szDesUninsLang, nullptr);
    ::SetFileAttributesW(szDesUninsLang, FILE_ATTRIBUTE_NORMAL);

    for (const wchar_t* language : kUninstallLanguages) {
        wchar_t szDesUninsLangTmp[MAX_PATH] = {};
        if (!si::JoinPath(kTag, szDesUninsLangTmp, {szDesUninsLang, language})) return CopyFailed();
        WriteLog(L"copyFiles>>szDesUninsLangTmp = %s\n", szDesUninsLangTmp);
        ::CreateDirectoryW(szDesUninsLangTmp, nullptr);
        ::SetFileAttributesW(szDesUninsLangTmp, FILE_ATTRIBUTE_NORMAL);

        wchar_t from[MAX_PATH] = {};
        wchar_t to[MAX_PATH] = {};
        if (!si::JoinPath(kTag, from, {langSource, language, L"UninstallLan.dll"}) ||
            !si::JoinPath(kTag, to, {szDesUninsLang, language, L"UninstallLan.dll"}) ||
            !CopyOwnFile(from, to))
            return CopyFailed();
    }
    return true;
}
