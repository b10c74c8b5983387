#include "install/fileops.h"

#include <string>

#include "diag/log.h"
#include "diag/trace.h"
#include "framework/win.h"
#include "install/install_common.h"
#include "unpack/unpack_folder.h"

namespace {

bool EndsWith(const std::wstring& path, wchar_t c) { return !path.empty() && path.back() == c; }

// True when `path` names a folder whose attributes are exactly
// FILE_ATTRIBUTE_DIRECTORY (the test createMultiDir is defined by).
bool IsPlainDirectory(const wchar_t* path) { return si::ListedAttributes(path) == FILE_ATTRIBUTE_DIRECTORY; }

}  // namespace

bool createMultiDir(const wchar_t* path) {
    if (IsPlainDirectory(path)) return true;
    if (!si::FitsPath(L"createMultiDir", path)) return false;

    // Every level but the first (the drive), then the path itself; slashes
    // become backslashes.
    size_t index = 0;
    auto createLevel = [&index](const wchar_t* level) {
        if (index++ == 0) return true;
        const bool created = ::CreateDirectoryW(level, nullptr) != FALSE;
        if (!created && ::GetLastError() != ERROR_ALREADY_EXISTS) SI_TRACE_LAST_ERROR(L"CreateDirectoryW");
        WriteLog(L"CreateDirectory = %s \n", level);
        if (created) ::SetFileAttributesW(level, FILE_ATTRIBUTE_NORMAL);
        return true;
    };
    std::wstring levels(path);
    si::WalkFolderChain(&levels[0], 0, 0, createLevel);
    createLevel(levels.c_str());
    return IsPlainDirectory(path);
}

bool CopyOwnFile(const wchar_t* source, const wchar_t* destination) {
    if (si::IsForeignToUnpackFolder(source)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return ::CopyFileW(source, destination, FALSE) != FALSE;
}

bool copyFolderFiles(const wchar_t* source, const wchar_t* destination) {
    std::wstring from = source, to = destination;
    if (!EndsWith(from, L'\\')) from += L'\\';
    if (!EndsWith(to, L'\\')) to += L'\\';
    const std::wstring pattern = from + L"*.*";
    if (!si::FitsPath(L"copyFolderFiles", pattern)) return false;

    bool ok = true;
    WIN32_FIND_DATAW data;
    si::unique_find find(::FindFirstFileW(pattern.c_str(), &data));
    if (!find) return true;  // a missing or empty source copies nothing
    do {
        if (si::IsDotEntry(data.cFileName) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        const std::wstring src = from + data.cFileName, dst = to + data.cFileName;
        if (!si::FitsPath(L"copyFolderFiles", src) || !si::FitsPath(L"copyFolderFiles", dst) ||
            !CopyOwnFile(src.c_str(), dst.c_str())) {
            SI_TRACE_LAST_ERROR(L"CopyFileW");
            ok = false;
        }
    } while (::FindNextFileW(find.get(), &data));
    return ok;
}

int getInfFileName(const wchar_t* folder, wchar_t* name) {
    std::wstring pattern = folder;
    if (!EndsWith(pattern, L'\\')) pattern += L'\\';
    pattern += L"*.inf";
    if (!si::FitsPath(L"getInfFileName", pattern)) return 1;

    WIN32_FIND_DATAW data;
    si::unique_find find(::FindFirstFileW(pattern.c_str(), &data));
    if (!find) return 1;
    do {
        if (si::IsDotEntry(data.cFileName) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        si::CopyText(name, MAX_PATH, data.cFileName);
        return 0;
    } while (::FindNextFileW(find.get(), &data));
    return 1;
}

bool LXDeleteFolder(const wchar_t* lpFolderPath) {
    WriteLog(L"LXDeleteFolder>> begin! lpFolderPath is %s \n", lpFolderPath);
    if (!RecursiveDelete(lpFolderPath)) {
        WriteLog(L"LXDeleteFolder>>RecursiveDelete fail, lpFolderPath is %s\n", lpFolderPath);
        return false;
    }
    if (!::RemoveDirectoryW(lpFolderPath)) {
        WriteLog(L"LXDeleteFolder>> RemoveDirectory fail! lpFolderPath is  %s", lpFolderPath);
        return false;
    }
    WriteLog(L"LXDeleteFolder>> end! return TRUE \n");
    return true;
}
