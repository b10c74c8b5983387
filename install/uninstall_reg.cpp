#include "install/uninstall_reg.h"

#include <shlwapi.h>

#include <memory>
#include <new>

#include "diag/log.h"
#include "diag/trace.h"
#include "framework/win.h"
#include "install/config.h"
#include "install/install_common.h"
#include "resources/resource_ids.h"
#include "state/globals.h"

namespace si {

const wchar_t kUninstallParentKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

namespace {

bool SetText(HKEY key, const wchar_t* name, const std::wstring& text) {
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    const LSTATUS status = ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes);
    if (status != ERROR_SUCCESS) SI_TRACE_ERROR(status, L"RegSetValueExW");
    return status == ERROR_SUCCESS;
}

bool RegistrationFailed() {
    WriteLog(L"createShoutCut>>CreateUnInstallShortcut fail \n");
    return false;
}

}  // namespace

bool CreateUnInstallShortcutAt(HKEY root, const wchar_t* parentKey, const UninstallEntry& entry) {
    // An empty name would address the parent key itself.
    if (entry.keyName.empty()) return false;
    unique_hkey parent;
    LSTATUS status = ::RegOpenKeyExW(root, parentKey, 0, KEY_ALL_ACCESS, parent.put());
    if (status != ERROR_SUCCESS) return SI_TRACE_ERROR(status, L"RegOpenKeyExW"), false;
    unique_hkey key;
    status = ::RegCreateKeyExW(parent.get(), entry.keyName.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS) return SI_TRACE_ERROR(status, L"RegCreateKeyExW"), false;
    return SetText(key.get(), L"DisplayIcon", entry.displayIcon) &&
           SetText(key.get(), L"DisplayName", entry.displayName) &&
           SetText(key.get(), L"DisplayVersion", entry.displayVersion) &&
           SetText(key.get(), L"InstallLocation", entry.installLocation) &&
           SetText(key.get(), L"Publisher", entry.publisher) &&
           SetText(key.get(), L"UninstallString", entry.uninstallString) &&
           SetText(key.get(), L"URLInfoAbout", entry.urlInfoAbout);
    // The subkey closes before the parent (reverse order of declaration).
}

bool CreateShoutCutWith(StringLoader loadString) {
    UninstallEntry entry;
    entry.displayName = loadString(IDS_PRODUCT_NAME);
    wchar_t uninstallerPath[MAX_PATH] = {};
    if (!JoinPath(L"createShoutCut", uninstallerPath, {gTargetDir, L"Uninstall.exe"})) return RegistrationFailed();
    entry.keyName = loadString(IDS_UNINSTALL_KEY);
    if (entry.keyName.empty()) {
        WriteLog(L"createShoutCut>> key name (%d) missing\n", IDS_UNINSTALL_KEY);
        return RegistrationFailed();
    }
    entry.displayVersion = GetFileVersionString(uninstallerPath);
    entry.installLocation = gTargetDir;
    entry.publisher = loadString(IDS_PUBLISHER);
    entry.uninstallString = uninstallerPath;
    entry.urlInfoAbout = loadString(IDS_WEB_ADDRESS);
    if (!CreateUnInstallShortcut(entry)) return RegistrationFailed();
    return true;
}

}  // namespace si

bool CreateUnInstallShortcut(const UninstallEntry& entry) {
    return si::CreateUnInstallShortcutAt(HKEY_LOCAL_MACHINE, si::kUninstallParentKey, entry);
}

bool createShoutCut() { return si::CreateShoutCutWith(&si::LoadActiveString); }

std::wstring GetFileVersionString(const wchar_t* path) {
    const std::wstring none = L"0.0.0.0";
    if (!path || !path[0] || !::PathFileExistsW(path)) return none;
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0) return none;
    std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[size + 1]);
    if (!block) return none;
    if (!::GetFileVersionInfoW(path, 0, size, block.get())) return none;
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.get(), L"\\", &value, &length) || !value || length < sizeof(VS_FIXEDFILEINFO))
        return none;
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
    wchar_t text[64] = {};
    si::Format(text, 64, L"%d.%d.%d.%d", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
               HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
    return text;
}
