#include "unpack/unpack_folder.h"

#include <aclapi.h>
#include <sddl.h>
#include <winternl.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "diag/paths.h"

namespace si {

namespace {

constexpr DWORD kTokenElevation = 20;  // TOKEN_INFORMATION_CLASS, Vista and later
constexpr ULONG kFileDispositionInformation = 13;

// The held folder can be listed, traversed and asked for its descriptor; the
// handle shares reading and writing but not deletion: while it is open the
// folder cannot be renamed or removed.
constexpr DWORD kHeldFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | READ_CONTROL | SYNCHRONIZE;
constexpr DWORD kHeldShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// What the process knows of its unpack folder. Never destroyed: the worker
// may still reach it while the process ends.
struct FolderState {
    CRITICAL_SECTION lock;
    unique_file folder;
    std::wstring asked;  // the path ClaimUnpackFolder was given
    std::wstring held;   // the folder held: that path, or its sibling
    std::vector<std::pair<std::wstring, unique_file>> written;
    std::set<std::wstring> ours;  // Key() of everything this run wrote
    FolderState() { ::InitializeCriticalSection(&lock); }
};

// Made before main, so no thread ever races its construction.
FolderState* const gState = new FolderState;
FolderState& State() { return *gState; }

class Locked {
public:
    explicit Locked(FolderState& state) : state_(state) { ::EnterCriticalSection(&state_.lock); }
    ~Locked() { ::LeaveCriticalSection(&state_.lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    FolderState& state_;
};

// The full path, backslashes only, in upper case: one spelling per file.
std::wstring Key(const wchar_t* path) {
    wchar_t full[1024] = {};
    const DWORD n = ::GetFullPathNameW(path, 1024, full, nullptr);
    if (n == 0 || n >= 1024) return std::wstring();
    ::CharUpperBuffW(full, n);
    return std::wstring(full, n);
}

bool InsideFolder(const std::wstring& key, const std::wstring& folderKey) {
    return !folderKey.empty() && key.size() > folderKey.size() + 1 && key.compare(0, folderKey.size(), folderKey) == 0 &&
           key[folderKey.size()] == L'\\';
}

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

// Creates the folder `path` (one level) with the descriptor `sd` and opens it
// in the same step, so no other program ever holds it before us or finds a
// moment to put its own in its place. Fails with ERROR_ALREADY_EXISTS when
// something is there, ERROR_PATH_NOT_FOUND when the folder above is missing.
unique_file CreateHeldFolder(const wchar_t* path, PSECURITY_DESCRIPTOR sd) {
    using NtCreateFileFn = NTSTATUS(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*, LARGE_INTEGER*,
                                            ULONG, ULONG, ULONG, ULONG, void*, ULONG);
    using ToNtPathFn = BOOLEAN(NTAPI*)(const wchar_t*, UNICODE_STRING*, wchar_t**, void*);
    using ToErrorFn = ULONG(NTAPI*)(NTSTATUS);
    const auto create = SystemFunction<NtCreateFileFn>(L"ntdll.dll", "NtCreateFile");
    const auto toNtPath = SystemFunction<ToNtPathFn>(L"ntdll.dll", "RtlDosPathNameToNtPathName_U");
    const auto toError = SystemFunction<ToErrorFn>(L"ntdll.dll", "RtlNtStatusToDosError");
    UNICODE_STRING name = {};
    if (!create || !toNtPath || !toError || !toNtPath(path, &name, nullptr, nullptr)) {
        ::SetLastError(ERROR_INVALID_NAME);
        return unique_file();
    }
    auto freeName = scope_exit([&name] { ::HeapFree(::GetProcessHeap(), 0, name.Buffer); });
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, sd);
    IO_STATUS_BLOCK io = {};
    HANDLE handle = nullptr;
    const NTSTATUS status =
        create(&handle, kHeldFolderAccess, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, kHeldShare, FILE_CREATE,
               FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
    if (status < 0) {
        ::SetLastError(toError(status));
        return unique_file();
    }
    return unique_file(handle);
}

// Opens what is at `path` itself (never through a link) for a look at it.
unique_file OpenEntry(const wchar_t* path, DWORD access, DWORD share) {
    return unique_file(::CreateFileW(path, access, share, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// The handle's attributes, with the stand-in for links (IsReparsePoint's
// query) added: `path` names the same entry while the handle is held.
bool HeldAttributes(HANDLE entry, const wchar_t* path, DWORD* attributes) {
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(entry, &info)) return false;
    *attributes = info.dwFileAttributes | (IsReparsePoint(path) ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
    return true;
}

bool MarkForDeletion(HANDLE entry) {
    using NtSetInformationFileFn = NTSTATUS(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, ULONG);
    const auto setInformation = SystemFunction<NtSetInformationFileFn>(L"ntdll.dll", "NtSetInformationFile");
    BOOLEAN deleteFile = TRUE;
    IO_STATUS_BLOCK io = {};
    return setInformation &&
           setInformation(entry, &io, &deleteFile, sizeof(deleteFile), kFileDispositionInformation) >= 0;
}

// FILE_DIRECTORY_INFORMATION, one entry of NtQueryDirectoryFile's answer.
struct DirectoryEntry {
    ULONG nextEntryOffset;
    ULONG fileIndex;
    LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime, endOfFile, allocationSize;
    ULONG fileAttributes;
    ULONG fileNameLength;  // in bytes
    WCHAR fileName[1];
};

// The names in the folder `folder` is a handle of, read through that handle
// (a listing by path would open the folder anew). False when it cannot be read.
bool ListHeldFolder(HANDLE folder, std::vector<std::wstring>* names) {
    using NtQueryDirectoryFileFn = NTSTATUS(NTAPI*)(HANDLE, HANDLE, void*, void*, IO_STATUS_BLOCK*, void*, ULONG,
                                                     ULONG, BOOLEAN, UNICODE_STRING*, BOOLEAN);
    constexpr ULONG kFileDirectoryInformation = 1;
    constexpr NTSTATUS kNoMoreFiles = static_cast<NTSTATUS>(0x80000006);
    const auto query = SystemFunction<NtQueryDirectoryFileFn>(L"ntdll.dll", "NtQueryDirectoryFile");
    if (!query) return false;
    std::vector<LONGLONG> buffer(8192);  // 64 KB, aligned for the entries
    for (BOOLEAN restart = TRUE;; restart = FALSE) {
        IO_STATUS_BLOCK io = {};
        const NTSTATUS status = query(folder, nullptr, nullptr, nullptr, &io, buffer.data(),
                                      static_cast<ULONG>(buffer.size() * sizeof(LONGLONG)), kFileDirectoryInformation,
                                      FALSE, nullptr, restart);
        if (status == kNoMoreFiles || (status >= 0 && io.Information == 0)) return true;
        if (status < 0) return false;
        for (const BYTE* at = reinterpret_cast<const BYTE*>(buffer.data());;) {
            const auto* entry = reinterpret_cast<const DirectoryEntry*>(at);
            std::wstring name(entry->fileName, entry->fileNameLength / sizeof(WCHAR));
            if (!IsDotEntry(name.c_str())) names->push_back(std::move(name));
            if (!entry->nextEntryOffset) break;
            at += entry->nextEntryOffset;
        }
    }
}

bool EmptyFolder(HANDLE folder, const std::wstring& path);

// Deletes the entry at `path` through a handle opened on the entry itself: a
// file or a link goes as it is, a real folder is emptied first. The handle
// refuses delete sharing, so the entry cannot be swapped while it is looked at.
bool DeleteEntry(const std::wstring& path) {
    unique_file entry =
        OpenEntry(path.c_str(), DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kHeldShare);
    DWORD attributes = 0;
    if (!entry || !HeldAttributes(entry.get(), path.c_str(), &attributes)) return false;
    const bool realFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (realFolder && !EmptyFolder(entry.get(), path)) return false;
    // A read-only file refuses; a folder that is not empty too.
    return MarkForDeletion(entry.get());  // gone when the handle closes
}

// Deletes everything below `path`, which `folder` holds.
bool EmptyFolder(HANDLE folder, const std::wstring& path) {
    std::vector<std::wstring> names;
    if (!ListHeldFolder(folder, &names)) return false;
    bool ok = true;
    for (const std::wstring& name : names) {
        const std::wstring entry = path + L"\\" + name;
        if (!FitsPath(L"RecursiveDelete", entry) || !DeleteEntry(entry)) ok = false;
    }
    return ok;
}

// Takes away what stands at `path`: a link (the link only) or a folder with
// all it holds. False, with what could not go left in place, when anything
// refused.
bool RemoveFound(const wchar_t* path) {
    return DeleteEntry(path) && ::GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES;
}

bool CheckHeld(HANDLE folder, PSECURITY_DESCRIPTOR built) {
    HeldFolderFacts facts;
    return gReadHeldFolder(folder, &facts) && IsOwnUnpackFolder(facts, built);
}

// Creates `path` held and checked; a folder that fails its check goes again.
unique_file CreateCheckedFolder(const wchar_t* path, PSECURITY_DESCRIPTOR sd) {
    unique_file folder = CreateHeldFolder(path, sd);
    if (!folder || CheckHeld(folder.get(), sd)) return folder;
    const DWORD error = ERROR_ACCESS_DENIED;
    folder.reset();
    ::RemoveDirectoryW(path);  // ours, and empty
    ::SetLastError(error);
    return unique_file();
}

// A fresh folder beside `path`: its name with "-" and eight random hex digits.
unique_file CreateSibling(wchar_t* path, PSECURITY_DESCRIPTOR sd) {
    using RtlGenRandomFn = BOOLEAN(WINAPI*)(void*, ULONG);
    const auto random = SystemFunction<RtlGenRandomFn>(L"advapi32.dll", "SystemFunction036");
    const std::wstring base(path);
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD value = 0;
        if (!random || !random(&value, sizeof(value))) return unique_file();
        wchar_t sibling[MAX_PATH] = {};
        if (!FormatPath(sibling, MAX_PATH, L"%s-%08x", base.c_str(), static_cast<unsigned>(value)))
            return unique_file();
        unique_file folder = CreateCheckedFolder(sibling, sd);
        if (folder) {
            CopyText(path, MAX_PATH, sibling);
            return folder;
        }
    }
    return unique_file();
}

// Not elevated: what is in place is used as it is, unless it is a link,
// which goes (the link only) for a folder of our own.
unique_file UseFound(const wchar_t* path) {
    if (IsReparsePoint(path) && (::RemoveDirectoryW(path) || ::DeleteFileW(path))) return CreateHeldFolder(path, nullptr);
    unique_file folder = OpenEntry(path, kHeldFolderAccess, kHeldShare);
    DWORD attributes = 0;
    if (!folder || !HeldAttributes(folder.get(), path, &attributes) || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
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

bool ReadHeldFolder(HANDLE folder, HeldFolderFacts* facts) {
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(folder, &info)) return false;
    facts->attributes = info.dwFileAttributes;
    using VolumeInformationFn = BOOL(WINAPI*)(HANDLE, wchar_t*, DWORD, DWORD*, DWORD*, DWORD*, wchar_t*, DWORD);
    const auto volume = SystemFunction<VolumeInformationFn>(L"kernel32.dll", "GetVolumeInformationByHandleW");
    if (!volume || !volume(folder, nullptr, 0, nullptr, nullptr, &facts->volumeFlags, nullptr, 0)) return false;
    // Wine maps a descriptor to Unix mode bits and answers with one made up
    // from them: there is nothing to read back.
    facts->securityKept = !SystemFunction<FARPROC>(L"ntdll.dll", "wine_get_version");
    if (!facts->securityKept) return true;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (::GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                          nullptr, nullptr, nullptr, &sd) != ERROR_SUCCESS)
        return false;
    facts->security.reset(sd);
    return true;
}

ReadHeldFolderFn gReadHeldFolder = &ReadHeldFolder;

bool IsOwnUnpackFolder(const HeldFolderFacts& facts, PSECURITY_DESCRIPTOR built) {
    if (!(facts.attributes & FILE_ATTRIBUTE_DIRECTORY) || (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !(facts.volumeFlags & FILE_PERSISTENT_ACLS))
        return false;
    if (!facts.securityKept) return true;
    PSECURITY_DESCRIPTOR sd = facts.security.get();
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    PSID owner = nullptr, wanted = nullptr;
    PACL dacl = nullptr, builtDacl = nullptr;
    BOOL present = FALSE, builtPresent = FALSE, defaulted = FALSE;
    if (!sd || !built || !::GetSecurityDescriptorControl(sd, &control, &revision) || !(control & SE_DACL_PROTECTED) ||
        !::GetSecurityDescriptorOwner(sd, &owner, &defaulted) || !::GetSecurityDescriptorOwner(built, &wanted, &defaulted) ||
        !owner || !wanted || !::EqualSid(owner, wanted) || !::GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) ||
        !::GetSecurityDescriptorDacl(built, &builtPresent, &builtDacl, &defaulted) || !present || !dacl ||
        !builtDacl || dacl->AceCount != builtDacl->AceCount)
        return false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        void* builtAce = nullptr;
        if (!::GetAce(dacl, i, &ace) || !::GetAce(builtDacl, i, &builtAce)) return false;
        const WORD size = static_cast<ACE_HEADER*>(ace)->AceSize;
        if (size != static_cast<ACE_HEADER*>(builtAce)->AceSize || memcmp(ace, builtAce, size) != 0) return false;
    }
    return true;
}

FolderClaim ClaimUnpackFolder(wchar_t* path) {
    if (!path || !path[0]) return FolderClaim::Failed;
    FolderState& state = State();
    Locked lock(state);
    if (state.folder && (_wcsicmp(state.asked.c_str(), path) == 0 || _wcsicmp(state.held.c_str(), path) == 0)) {
        CopyText(path, MAX_PATH, state.held.c_str());
        return FolderClaim::Existed;
    }
    state.folder.reset();
    const std::wstring asked(path);

    const bool elevated = gIsProcessElevated();
    unique_hlocal sd;
    if (elevated && !BuildUnpackFolderSecurity(&sd)) return FolderClaim::Failed;
    FolderClaim claim = FolderClaim::Created;
    unique_file folder = elevated ? CreateCheckedFolder(path, sd.get()) : CreateHeldFolder(path, nullptr);
    if (!folder) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_PATH_NOT_FOUND) return FolderClaim::ParentMissing;
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
            claim = FolderClaim::Existed;
            // Left by an interrupted run, or planted: nothing in it is ours.
            if (!elevated)
                folder = UseFound(path);
            else if (RemoveFound(path))
                folder = CreateCheckedFolder(path, sd.get());
        }
    }
    // What stands in the folder's place and cannot wholly go is left alone.
    if (!folder && elevated) {
        folder = CreateSibling(path, sd.get());
        if (folder) claim = FolderClaim::Created;
    }
    if (!folder) return FolderClaim::Failed;
    state.folder = std::move(folder);
    state.asked = asked;
    state.held = path;
    return claim;
}

void ReleaseUnpackFolder() {
    FolderState& state = State();
    Locked lock(state);
    state.folder.reset();
    state.asked.clear();
    state.held.clear();
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
    FolderState& state = State();
    Locked lock(state);
    state.written.emplace_back(path, std::move(kept));
    state.ours.insert(Key(path));
    return true;
}

void ReleaseWrittenFiles(const wchar_t* path) {
    FolderState& state = State();
    Locked lock(state);
    auto& files = state.written;
    for (auto it = files.begin(); it != files.end();)
        it = !path || _wcsicmp(it->first.c_str(), path) == 0 ? files.erase(it) : it + 1;
}

void NoteWrittenByThisRun(const wchar_t* path) {
    FolderState& state = State();
    Locked lock(state);
    state.ours.insert(Key(path));
}

bool IsForeignToUnpackFolder(const wchar_t* path) {
    FolderState& state = State();
    Locked lock(state);
    if (!state.folder) return false;
    const std::wstring key = Key(path);
    return InsideFolder(key, Key(state.held.c_str())) && !state.ours.count(key);
}

}  // namespace si

bool RecursiveDelete(const wchar_t* folder) {
    std::wstring base = folder;
    // An empty path would turn into the root of the current drive.
    if (base.empty()) return false;
    while (base.size() > 3 && (base.back() == L'\\' || base.back() == L'/')) base.pop_back();
    // Held while it is emptied, so it stays the folder that was checked. A
    // link is never followed, the folder handed in included: nothing behind
    // it belongs to the folder being deleted.
    si::unique_file held =
        si::OpenEntry(base.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, si::kHeldShare);
    DWORD attributes = 0;
    if (!held || !si::HeldAttributes(held.get(), base.c_str(), &attributes) ||
        !(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return true;
    return si::EmptyFolder(held.get(), base);
}
