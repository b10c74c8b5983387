#include "unpack/unpack_from_res.h"

#include <cwchar>

#include "diag/log.h"
#include "diag/trace.h"
#include "framework/app.h"
#include "framework/win.h"
#include "state/globals.h"
#include "unpack/unpack_folder.h"

UnPackFromRes::~UnPackFromRes() { ClearResList(); }

int UnPackFromRes::InitResouse(HMODULE moduleHandle, const wchar_t* type, UINT listId) {
    if (!moduleHandle) return 0;
    module = moduleHandle;
    resType = type;
    listStringId = listId;
    initialised = 1;
    return 1;
}

int UnPackFromRes::SetOutDir() {
    // No folder named (its path did not fit): never fall back to the current
    // drive's root, whatever CreateDirectoryW would make of an empty path.
    if (!gUnPackDirPath[0]) {
        WriteLog(L"UnPackFromRes::SetOutDir ->can,t creat %s ", gUnPackDirPath);
        return 0;
    }
    // The folder becomes the installer's own and stays held while it runs;
    // where the claim takes a fresh sibling, gUnPackDirPath names it.
    si::FolderClaim claim = si::ClaimUnpackFolder(gUnPackDirPath);
    if (claim == si::FolderClaim::ParentMissing) {
        // Create the path one level at a time: drive root, first folder, and
        // so on. A level fails only when its parent is missing; a refusal of
        // any other kind (a drive root denying access) is passed over.
        auto createLevel = [](const wchar_t* level) {
            if (::CreateDirectoryW(level, nullptr)) return true;
            const DWORD error = ::GetLastError();
            if (error == ERROR_ALREADY_EXISTS) {
                WriteLog(L"UnPackFromRes::SetOutDir ->The  outDir  %s is exist ", level);
            } else if (error == ERROR_PATH_NOT_FOUND) {
                SI_TRACE_LAST_ERROR(L"CreateDirectoryW");
                WriteLog(L"UnPackFromRes::SetOutDir ->can,t creat %s ", level);
                return false;
            }
            return true;
        };
        std::wstring levels(gUnPackDirPath);
        if (!si::WalkFolderChain(&levels[0], 0, si::kChainBackslashOnly | si::kChainWithSeparator, createLevel))
            return 0;
        claim = si::ClaimUnpackFolder(gUnPackDirPath);
    } else if (claim == si::FolderClaim::Created) {
        WriteLog(L"UnPackFromRes::SetOutDir ->Creat outDir  %s succes\uFF01 ", gUnPackDirPath);
    } else if (claim == si::FolderClaim::Existed) {
        WriteLog(L"UnPackFromRes::SetOutDir ->The  outDir  %s is exist ", gUnPackDirPath);
    }
    if (claim != si::FolderClaim::Created && claim != si::FolderClaim::Existed) {
        SI_TRACE_LAST_ERROR(L"ClaimUnpackFolder");
        WriteLog(L"UnPackFromRes::SetOutDir ->can,t creat %s ", gUnPackDirPath);
        return 0;
    }
    outDir = gUnPackDirPath;
    outDirSet = 1;
    return 1;
}

int UnPackFromRes::Ready(const wchar_t* operation) const {
    if (!outDirSet) {
        WriteLog(L"UnPackFromRes::%s ->didn,t set Dir ", operation);
        return 0;
    }
    if (!initialised) {
        WriteLog(L"UnPackFromRes::%s ->didn,t Init", operation);
        return 0;
    }
    return 1;
}

int UnPackFromRes::UnPack() {
    if (!Ready(L"UnPack")) return 0;
    ClearResList();
    if (!GetResourceList()) {
        WriteLog(L"UnPackFromRes::UnPack ->GetResourceList Fail");
        return 0;
    }
    if (!UnPackFromList()) {
        WriteLog(L"UnPackFromRes::UnPack ->UnPackFromList Fail");
        return 0;
    }
    return 1;
}

void UnPackFromRes::ClearResList() {
    for (ResDot* dot = head; dot;) {
        ResDot* next = dot->next;
        delete dot;
        dot = next;
    }
    head = tail = nullptr;
    count = 0;
}

ResDot* UnPackFromRes::MakeDot(const std::wstring& item, const std::wstring& folder,
                               std::wstring* lastName) {
    auto* dot = new ResDot;
    dot->resType = resType;
    // An item that does not scan as two numbers leaves them 0: that resource
    // is never found and the write fails cleanly.
    int ids[2] = {};
    si::ScanInts(item.c_str(), L'-', ids, 2);
    dot->resId = ids[0];
    dot->nameId = ids[1];
    std::wstring name = si::LoadActiveString(static_cast<UINT>(dot->nameId));
    if (name.empty())
        name = *lastName;  // a missing name string reuses the previous item's name
    else
        *lastName = name;
    dot->filePath = folder + L"\\" + name;
    return dot;
}

int UnPackFromRes::GetResourceList() {
    if (!Ready(L"GetResourceList")) return 0;
    const std::wstring folder(outDir);
    std::wstring list = si::LoadActiveString(listStringId);
    if (list.empty()) {
        WriteLog(L"UnPackFromRes::GetResourceList ->load table fail");
        return 0;
    }
    std::wstring lastName;
    for (size_t comma; (comma = list.find(L',')) != std::wstring::npos;) {
        ResDot* dot = MakeDot(list.substr(0, comma + 1), folder, &lastName);
        list.erase(0, comma + 1);
        if (!AddDotToResList(dot)) {
            delete dot;
            return 0;
        }
    }
    ResDot* dot = MakeDot(list, folder, &lastName);
    if (!AddDotToResList(dot)) {
        delete dot;
        return 0;
    }
    return 1;
}

int UnPackFromRes::AddDotToResList(ResDot* dot) {
    if (!dot) return 0;
    if ((count == 0 && head) || (count == 1 && head && head->next)) {
        WriteLog(L"UnPackFromRes::AddDotToResList ->List unknow error!");
        return 0;
    }
    dot->next = nullptr;
    if (tail)
        tail->next = dot;
    else
        head = dot;
    tail = dot;
    ++count;
    return 1;
}

int UnPackFromRes::UnPackFromList() {
    if (count == 0) {
        WriteLog(L"UnPackFromRes::UnPackFromList ->List unknow error!");
        return 0;
    }
    int n = 0;
    for (ResDot* dot = head; dot && n < count; dot = dot->next, ++n) {
        if (!WriteResToFile(dot->resId, dot->filePath.c_str(), dot->resType)) {
            SI_TRACE_LAST_ERROR(L"WriteResToFile");
            WriteLog(L"UnPackFromRes::UnPackFromList ->Get Source %s fail!", dot->filePath.c_str());
            return 0;
        }
    }
    return 1;
}

int UnPackFromRes::WriteResToFile(int resId, const wchar_t* filePath, const wchar_t* type) {
    if (!module) return 0;
    HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(resId), type);
    if (!info) return 0;
    DWORD size = ::SizeofResource(module, info);
    if (size == 0) return 0;
    HGLOBAL loaded = ::LoadResource(module, info);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) return 0;

    // Never written through a link; once written, the file is held until its use.
    if (si::IsReparsePoint(filePath)) return 0;
    si::ReleaseWrittenFiles(filePath);  // a name listed twice: the later resource wins, as before
    si::unique_file file(::CreateFileW(filePath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) return 0;
    DWORD written = 0;
    // A short write is a failure: a partial payload must never pass for a whole one.
    if (!::WriteFile(file.get(), data, size, &written, nullptr) || written != size) return 0;
    return si::KeepWrittenFile(std::move(file), filePath) ? 1 : 0;
}

void UnpackResourcesOrExit(UnPackFromRes& unpack, UINT listStringId) {
    if (!unpack.InitResouse(::GetModuleHandleW(nullptr), L"SETUPFILES", listStringId)) {
        WriteLog(L"unPack.InitResouse error\uFF01 ");
        ::ExitProcess(0);
    }
    if (!unpack.SetOutDir()) {
        WriteLog(L"unPack.SetOutDir error\uFF01 ");
        ::ExitProcess(0);
    }
    if (!unpack.UnPack()) {
        WriteLog(L"unPack.UnPack\uFF01 ");
        ::ExitProcess(0);
    }
}
