#include "install/config.h"

#include <cwctype>

#include "diag/log.h"
#include "diag/trace.h"
#include "framework/win.h"
#include "install/suppliers.h"
#include "resources/resource_ids.h"
#include "state/globals.h"
#include "unpack/unpack_folder.h"

namespace {

constexpr wchar_t kTag[] = L"ReadConfigFromIni";

// The per-system driver key, by OS type; x86 for architecture 0, x64 for 2.
struct SystemKey {
    int osType;
    const wchar_t* logWord;
    const wchar_t* keyX86;
    const wchar_t* keyX64;
};
constexpr SystemKey kSystemKeys[] = {
    {OS_TYPE_XP, L"xp", L"Windows_XP_X86", L"Windows_XP_X64"},
    {OS_TYPE_VISTA, L"vista", L"Windows_Vista_X86", L"Windows_Vista_X64"},
    {OS_TYPE_WIN7, L"win7", L"Windows_7_X86", L"Windows_7_X64"},
    {OS_TYPE_WIN8, L"win8", L"Windows_8_X86", L"Windows_8_X64"},
    {OS_TYPE_WIN8_1, L"win8.1", L"Windows_8_1_X86", L"Windows_8_1_X64"},
    {OS_TYPE_WIN10, L"win10", L"Windows_10_X86", L"Windows_10_X64"},
};

const SystemKey* FindSystemKey(int osType) {
    for (const SystemKey& row : kSystemKeys)
        if (row.osType == osType) return &row;
    return nullptr;
}

const wchar_t* KeyOf(const SystemKey& system, int architecture) {
    if (architecture == OS_ARCHITECTURE_X86) return system.keyX86;
    if (architecture == OS_ARCHITECTURE_X64_AMD64) return system.keyX64;
    return nullptr;  // IA64 and unknown processors have no driver
}

// ReadIniString into a value that must fit; logs the refusal.
bool ReadIniValue(wchar_t* out, const wchar_t* section, const wchar_t* key) {
    if (ReadIniString(out, section, key)) return true;
    WriteLog(L"%s>> path too long: [%s] %s\n", kTag, section, key);
    return false;
}

}  // namespace

namespace si {

void CleanIniText(wchar_t* text) {
    size_t begin = 0;
    while (text[begin] && std::iswspace(text[begin])) ++begin;
    size_t end = begin;
    while (text[end]) ++end;
    while (end > begin && std::iswspace(text[end - 1])) --end;
    size_t out = 0;
    for (size_t i = begin; i < end; ++i)
        if (text[i] != L'"') text[out++] = text[i];
    text[out] = L'\0';
}

const wchar_t* DriverKeyName(int osType, int architecture) {
    const SystemKey* system = FindSystemKey(osType);
    return system ? KeyOf(*system, architecture) : nullptr;
}

const wchar_t* DriverToolName(int chipSupplier, int architecture) {
    // Any code but 1 takes supplier 2's tools; only 1 and 2 get past the configuration check.
    const SupplierPrograms* programs = FindSupplierPrograms(chipSupplier == 1 ? 1 : 2);
    return architecture == OS_ARCHITECTURE_X86 ? programs->driverToolX86 : programs->driverToolX64;
}

int ReadConfigFromIniWith(const OsInfo& os, MessageBoxFn messageBox) {
    const std::wstring configFolder = LoadActiveString(IDS_CONFIG_FOLDER);
    // A configuration this run did not extract (planted) is never read.
    if (!JoinPath(kTag, gConfigFilePath, {gUnPackDirPath, configFolder.c_str(), L"FilesModifyConfig.ini"}) ||
        IsForeignToUnpackFolder(gConfigFilePath))
        return 0;

    gChipSupplier = static_cast<int>(::GetPrivateProfileIntW(L"CurrentCard", L"Chip_Supplier", 0, gConfigFilePath));
    if (gChipSupplier != 1 && gChipSupplier != 2) {
        SI_TRACE_LAST_ERROR(L"GetPrivateProfileIntW");
        ShowErrorBox(messageBox, LoadActiveString(IDS_INVALID_CHIP_VENDOR).c_str());
        return 0;
    }

    wchar_t targetDir[MAX_PATH] = {};
    if (!ReadIniValue(targetDir, L"TargetDirSet", L"TargetDir")) return 0;
    // Without the Program Files folder the target would land at the drive's root.
    if (!gProgramFilesDir[0]) return 0;
    if (!JoinPath(kTag, gTargetDir, {gProgramFilesDir, targetDir})) return 0;
    WriteLog(L"ReadConfigFromIni>>gTargetDir is %s", gTargetDir);

    if (!ReadIniValue(gSvcSourceDir, L"AutoInstSvc", L"SOURCE_PATH")) return 0;
    if (!ReadIniValue(gUninstSourceDir, L"Uninst", L"SOURCE_PATH")) return 0;

    const bool x86 = os.architecture == OS_ARCHITECTURE_X86;
    if (!ReadIniValue(gDriverToolSourceDir, L"DriverInstall",
                      x86 ? L"Driver_Install_Tool_X86" : L"Driver_Install_Tool_X64"))
        return 0;
    if (!JoinPath(kTag, gDriverToolPath, {gTargetDir, L"DriverFiles", DriverToolName(gChipSupplier, os.architecture)}))
        return 0;
    WriteLog(x86 ? L"ReadConfigFromIni>>OS architecture is x86" : L"ReadConfigFromIni>>OS architecture is x64");

    gDriverWHQL = ::GetPrivateProfileIntW(L"DriverInstall", L"DriverWHQL", 1, gConfigFilePath) == 1;

    const SystemKey* system = FindSystemKey(os.osType);
    if (!system) return 1;  // no driver key for this system: gDriverSourceDir stays empty
    WriteLog(L"ReadConfigFromIni>>OS type is %s", system->logWord);
    const wchar_t* key = KeyOf(*system, os.architecture);
    return key && ReadIniValue(gDriverSourceDir, L"DriverInstall", key) ? 1 : 0;
}

}  // namespace si

int ReadIniString(wchar_t* out, const wchar_t* section, const wchar_t* key) {
    // Read into a larger buffer first: a value cut to 259 characters would
    // name another folder.
    wchar_t raw[2 * MAX_PATH] = {};
    const DWORD n = ::GetPrivateProfileStringW(section, key, L"", raw, 2 * MAX_PATH, gConfigFilePath);
    out[0] = L'\0';
    if (n >= 2 * MAX_PATH - 1) return 0;
    si::CleanIniText(raw);
    return si::CopyText(out, MAX_PATH, raw) ? 1 : (out[0] = L'\0', 0);
}

int ReadConfigFromIni() { return si::ReadConfigFromIniWith(gOsInfo, &::MessageBoxW); }
