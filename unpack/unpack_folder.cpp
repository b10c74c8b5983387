#include "unpack/unpack_folder.h"

#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <utility>
#include <vector>

#include "diag/paths.h"

namespace si {

namespace {

unique_file gHeldFolder;
std::wstring gHeldFolderPath;
std::vector<std::pair<std::wstring, unique_file>> gWrittenFiles;

constexpr DWORD kTokenElevation = 20;  // TOKEN_INFORMATION_CLASS, Vista and later

// The user's SID as text ("S-1-5-21-..."), from the process token.
std::wstring UserSidText() {
    unique_handle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    DWORD bytes = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &bytes);
    std::vector<BYTE> buffer(bytes ? bytes : 1);
    if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(), bytes, &bytes)) return {};
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return {};
    unique_hlocal owned(text);
    return text;
}

// Opens the folder itself (never through a link), sharing reading and
// writing but not deletion: while the handle is open the folder cannot be
// renamed or removed.
unique_file OpenHeldFolder(const wchar_t* path, bool elevated) {
    const DWORD access = FILE_LIST_DIRECTORY | FILE_TRAVERSE | READ_CONTROL | SYNCHRONIZE |
                         (elevated ? WRITE_DAC | WRITE_OWNER : 0);
    unique_file folder(::CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!folder || !::GetFileInformationByHandle(folder.get(), &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        IsReparsePoint(path))
        return unique_file();
    return folder;
}

}  // namespace

bool QueryProcessElevation() {
    unique_handle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
    DWORD elevated = 0, bytes = 0;
    // Windows XP does not know the class and fails the call.
    if (!::GetTokenInformation(token.get(), static_cast<TOKEN_INFORMATION_CLASS>(kTokenElevation), &elevated,
                               sizeof(elevated), &bytes))
        return false;
    return elevated != 0;
}

ElevationFn gIsProcessElevated = &QueryProcessElevation;

bool BuildUnpackFolderSecurity(unique_hlocal* descriptor) {
    const std::wstring user = UserSidText();
    if (user.empty()) return false;
    // 0x1200A9: FILE_GENERIC_READ | FILE_GENERIC_EXECUTE. OICI: the rights
    // pass to everything created inside.
    const std::wstring sddl =
        L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200A9;;;" + user + L")";
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr))
        return false;
    descriptor->reset(sd);
    return true;
}

bool ClaimUnpackFolder(const wchar_t* path) {
    if (!path || !path[0]) return false;
    if (gHeldFolder && _wcsicmp(gHeldFolderPath.c_str(), path) == 0) return true;
    ReleaseUnpackFolder();

    // A link in the folder's place: the link goes, never what it points to.
    if (IsReparsePoint(path) && !::RemoveDirectoryW(path) && !::DeleteFileW(path)) return false;

    const bool elevated = gIsProcessElevated();
    unique_hlocal sd;
    if (elevated && !BuildUnpackFolderSecurity(&sd)) return false;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), sd.get(), FALSE};
    SECURITY_ATTRIBUTES* security = elevated ? &attributes : nullptr;

    bool secured = false;
    if (gFileAttributes(path) == INVALID_FILE_ATTRIBUTES) {
        if (!::CreateDirectoryW(path, security)) return false;
        secured = elevated;
    } else if (elevated) {
        // Left by an interrupted run, or planted: nothing in it is ours.
        ::RecursiveDelete(path);
        secured = ::RemoveDirectoryW(path) && ::CreateDirectoryW(path, security);
    }

    unique_file folder = OpenHeldFolder(path, elevated);
    if (!folder) return false;
    if (elevated && !secured) {
        PSID owner = nullptr;
        PACL dacl = nullptr;
        BOOL present = FALSE, defaulted = FALSE;
        if (!::GetSecurityDescriptorOwner(sd.get(), &owner, &defaulted) ||
            !::GetSecurityDescriptorDacl(sd.get(), &present, &dacl, &defaulted) ||
            ::SetSecurityInfo(folder.get(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                  PROTECTED_DACL_SECURITY_INFORMATION,
                              owner, nullptr, dacl, nullptr) != ERROR_SUCCESS)
            return false;
        // Emptied again: whatever arrived before the descriptor applied goes.
        ::RecursiveDelete(path);
    }
    gHeldFolder = std::move(folder);
    gHeldFolderPath = path;
    return true;
}

void ReleaseUnpackFolder() {
    gHeldFolder.reset();
    gHeldFolderPath.clear();
}

bool KeepWrittenFile(unique_file written, const wchar_t* path) {
    // The writer's handle is still open, so this one must share writing; the
    // last one shares reading only and fails if anyone else holds the file
    // for writing by then. The file cannot be renamed or deleted meanwhile:
    // no handle shares deletion.
    unique_file bridge(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
    if (!bridge) return false;
    written.reset();
    unique_file kept(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!kept) return false;
    gWrittenFiles.emplace_back(path, std::move(kept));
    return true;
}

void ReleaseWrittenFiles(const wchar_t* path) {
    for (auto it = gWrittenFiles.begin(); it != gWrittenFiles.end();)
        it = !path || _wcsicmp(it->first.c_str(), path) == 0 ? gWrittenFiles.erase(it) : it + 1;
}

}  // namespace si

bool RecursiveDelete(const wchar_t* folder) {
    std::wstring base = folder;
    // An empty path would turn into the root of the current drive.
    if (base.empty()) return false;
    // A link is never followed, the folder handed in included: nothing
    // behind it belongs to the folder being deleted.
    if (si::IsReparsePoint(folder)) return true;
    if (base.back() != L'\\' && base.back() != L'/') base += L'\\';
    const std::wstring pattern = base + L"*.*";
    if (!si::FitsPath(L"RecursiveDelete", pattern)) return false;

    bool ok = true;
    WIN32_FIND_DATAW data;
    si::unique_find find(::FindFirstFileW(pattern.c_str(), &data));
    if (!find) return true;
    do {
        if (si::IsDotEntry(data.cFileName)) continue;
        const std::wstring entry = base + data.cFileName;
        if (!si::FitsPath(L"RecursiveDelete", entry)) {
            ok = false;
        } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A junction or folder link is removed, never followed: what it
            // points at lies outside the folder being deleted.
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && !RecursiveDelete(entry.c_str()))
                ok = false;
            if (!::RemoveDirectoryW(entry.c_str())) ok = false;
        } else {
            // A file that stays makes the removal of its folder fail one level up.
            ::DeleteFileW(entry.c_str());
        }
    } while (::FindNextFileW(find.get(), &data));
    return ok;
}
