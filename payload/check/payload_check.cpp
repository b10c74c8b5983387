// Checks a setup payload folder before it is packed: reads its configuration
// with the installer's own reader for every Windows branch the installer
// serves, and checks that every folder and file each branch takes is there,
// of the right kind, and fits MAX_PATH once unpacked and once installed.
//
//   payload_check.exe [--standins] FOLDER
//
// FOLDER holds SetupFiles. One line per problem, "error: PATH: what (breaks
// BRANCHES)" or "warning: PATH: what", then a summary line. Exit code 0
// without errors (warnings allowed), 1 with errors, 2 on a bad command line.
// --standins: the programs are the build's stand-ins, all built for the
// build's own processor, so program architectures are not checked.
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "diag/osinfo.h"
#include "framework/win.h"
#include "install/config.h"
#include "install/copy_files.h"
#include "install/fileops.h"
#include "install/suppliers.h"
#include "install/uninstall_reg.h"
#include "state/globals.h"

namespace {

struct Branch {
    int osType;
    int architecture;
    const wchar_t* name;
};
// Every system the installer takes past its start-up gates with a driver key.
constexpr Branch kBranches[] = {
    {OS_TYPE_XP, OS_ARCHITECTURE_X86, L"XP x86"},       {OS_TYPE_XP, OS_ARCHITECTURE_X64_AMD64, L"XP x64"},
    {OS_TYPE_WIN7, OS_ARCHITECTURE_X86, L"7 x86"},      {OS_TYPE_WIN7, OS_ARCHITECTURE_X64_AMD64, L"7 x64"},
    {OS_TYPE_WIN8, OS_ARCHITECTURE_X86, L"8 x86"},      {OS_TYPE_WIN8, OS_ARCHITECTURE_X64_AMD64, L"8 x64"},
    {OS_TYPE_WIN8_1, OS_ARCHITECTURE_X86, L"8.1 x86"},  {OS_TYPE_WIN8_1, OS_ARCHITECTURE_X64_AMD64, L"8.1 x64"},
    {OS_TYPE_WIN10, OS_ARCHITECTURE_X86, L"10 x86"},    {OS_TYPE_WIN10, OS_ARCHITECTURE_X64_AMD64, L"10 x64"},
};
constexpr unsigned kEveryBranch = (1u << (sizeof(kBranches) / sizeof(kBranches[0]))) - 1;

// The longest folders the payload must fit under: the unpack folder in
// Windows XP's profile layout (longer than the later one) for a 32-character
// profile name, as the fresh sibling a refused leftover gets (97 characters);
// and a Program Files folder moved to 47 characters (the default is 16 or 22).
constexpr wchar_t kUnpackBudget[] =
    L"C:\\Documents and Settings\\ProfileNameOfThirtyTwoCharacters\\Application Data\\KalveronTemp-0123abcd";
constexpr wchar_t kProgramFilesBudget[] = L"D:\\Program Files (x86) of a longer installation";
static_assert(sizeof(kUnpackBudget) / sizeof(wchar_t) - 1 == 97, "the unpack budget");
static_assert(sizeof(kProgramFilesBudget) / sizeof(wchar_t) - 1 == 47, "the Program Files budget");

struct Problem {
    bool error;
    std::wstring path;  // relative to the payload folder
    std::wstring what;
    unsigned branches;
};

class Report {
public:
    void Add(bool error, const std::wstring& path, const std::wstring& what, unsigned branches = kEveryBranch) {
        for (Problem& p : problems_)
            if (p.error == error && p.path == path && p.what == what) {
                p.branches |= branches;
                return;
            }
        problems_.push_back({error, path, what, branches});
    }
    void Error(const std::wstring& path, const std::wstring& what, unsigned branches) { Add(true, path, what, branches); }
    void Warning(const std::wstring& path, const std::wstring& what) { Add(false, path, what); }

    int Print(const std::wstring& folder) const {
        int errors = 0, warnings = 0;
        for (const Problem& p : problems_) {
            std::wstring line = (p.error ? L"error: " : L"warning: ") + p.path + L": " + p.what;
            if (p.error) line += L" (breaks " + BranchNames(p.branches) + L")";
            Out(line);
            ++(p.error ? errors : warnings);
        }
        wchar_t summary[128] = {};
        si::Format(summary, 128, L"payload check: %d error(s), %d warning(s): ", errors, warnings);
        Out(summary + folder + (errors ? L": FAILED" : L": passed"));
        return errors ? 1 : 0;
    }

    static void Out(const std::wstring& line) {
        const std::wstring text = line + L"\n";
        const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string bytes(n > 0 ? n : 1, '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &bytes[0], n, nullptr, nullptr);
        std::fputs(bytes.c_str(), stdout);
    }

private:
    static std::wstring BranchNames(unsigned branches) {
        if (branches == kEveryBranch) return L"every branch";
        std::wstring names;
        for (size_t i = 0; i < sizeof(kBranches) / sizeof(kBranches[0]); ++i)
            if (branches & (1u << i)) names += (names.empty() ? L"Windows " : L", ") + std::wstring(kBranches[i].name);
        return names;
    }
    std::vector<Problem> problems_;
};

std::wstring Join(const std::wstring& a, const std::wstring& b) { return a.empty() ? b : a + L"\\" + b; }

bool IsFolder(const std::wstring& path) {
    const DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
bool IsFile(const std::wstring& path) {
    const DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// The names in `folder`, files or folders.
std::vector<std::wstring> List(const std::wstring& folder, bool folders) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    si::unique_find find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!find) return names;
    do {
        if (si::IsDotEntry(data.cFileName)) continue;
        if (((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folders) names.push_back(data.cFileName);
    } while (::FindNextFileW(find.get(), &data));
    return names;
}

bool EndsWithNoCase(const std::wstring& name, const wchar_t* suffix) {
    const size_t n = std::wcslen(suffix);
    return name.size() >= n && _wcsicmp(name.c_str() + name.size() - n, suffix) == 0;
}

// The processor a PE file is built for (IMAGE_FILE_MACHINE_*), 0 when it is not one.
WORD Machine(const std::wstring& path) {
    si::unique_file file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return 0;
    IMAGE_DOS_HEADER dos = {};
    DWORD got = 0;
    if (!::ReadFile(file.get(), &dos, sizeof dos, &got, nullptr) || got != sizeof dos || dos.e_magic != IMAGE_DOS_SIGNATURE)
        return 0;
    struct {
        DWORD signature;
        IMAGE_FILE_HEADER header;
    } nt = {};
    LARGE_INTEGER at = {};
    at.QuadPart = dos.e_lfanew;
    if (!::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) || !::ReadFile(file.get(), &nt, sizeof nt, &got, nullptr) ||
        got != sizeof nt || nt.signature != IMAGE_NT_SIGNATURE)
        return 0;
    return nt.header.Machine;
}

class Checker {
public:
    Checker(std::wstring root, bool standins) : root_(std::move(root)), standins_(standins) {}

    int Run() {
        for (size_t i = 0; i < sizeof(kBranches) / sizeof(kBranches[0]); ++i) CheckBranch(kBranches[i], 1u << i);
        CheckTree(L"SetupFiles");
        return report_.Print(root_);
    }

private:
    // Reads the configuration as the installer would on `branch`, then
    // checks what each install step takes from the payload.
    void CheckBranch(const Branch& branch, unsigned bit) {
        for (wchar_t* value : {gConfigFilePath, gTargetDir, gSvcSourceDir, gUninstSourceDir, gDriverToolSourceDir,
                               gDriverToolPath, gDriverSourceDir})
            value[0] = L'\0';
        gChipSupplier = 0;
        si::CopyText(gUnPackDirPath, MAX_PATH, root_.c_str());
        si::CopyText(gProgramFilesDir, MAX_PATH, kProgramFilesBudget);
        boxShown_ = false;
        const std::wstring config = L"SetupFiles\\ConfigFile\\FilesModifyConfig.ini";
        if (!si::ReadConfigFromIniWith(OsInfo{branch.architecture, branch.osType}, &NoBox)) {
            if (!IsFile(Join(root_, config)))
                report_.Error(config, L"missing", bit);
            else if (boxShown_)
                report_.Error(config, L"[CurrentCard] Chip_Supplier is " + std::to_wstring(gChipSupplier) +
                                          L": only 1 and 2 install", bit);
            else
                report_.Error(config, L"refused: a value or the target folder does not fit 259 characters", bit);
            return;
        }
        used_.push_back(L"SetupFiles\\ConfigFile");
        const si::SupplierPrograms& programs = *si::FindSupplierPrograms(gChipSupplier);
        const bool x86 = branch.architecture == OS_ARCHITECTURE_X86;

        // The driver package: copied one level deep beside the tool (supplier
        // 2) or into Driver\<its folder's last name> (supplier 1).
        const std::wstring driverKey = L"[DriverInstall] " + std::wstring(si::DriverKeyName(branch.osType, branch.architecture));
        const std::wstring driver = gDriverSourceDir;
        if (Inside(driverKey, driver, bit)) {
            if (!IsFolder(Join(root_, driver))) {
                report_.Error(driver, L"driver folder missing (" + driverKey + L")", bit);
            } else {
                wchar_t inf[MAX_PATH] = {};
                if (getInfFileName(Join(root_, driver).c_str(), inf) != 0) report_.Error(driver, L"no .inf file", bit);
                if (gDriverWHQL && !HasFileEnding(driver, L".cat"))
                    report_.Error(driver, L"no .cat catalogue, and [DriverInstall] DriverWHQL is 1", bit);
                const size_t slash = driver.rfind(L'\\');
                const std::wstring target =
                    gChipSupplier == 1 ? Join(L"DriverFiles\\Driver", driver.substr(slash == std::wstring::npos ? 0 : slash + 1))
                                       : L"DriverFiles";
                CopiedFolder(driver, target, bit);
            }
        }

        // The tool folder, with the tool and difxapi.dll, for this processor.
        const std::wstring tools = gDriverToolSourceDir;
        const std::wstring toolKey = x86 ? L"[DriverInstall] Driver_Install_Tool_X86" : L"[DriverInstall] Driver_Install_Tool_X64";
        if (Inside(toolKey, tools, bit)) {
            const wchar_t* tool = x86 ? programs.driverToolX86 : programs.driverToolX64;
            Program(Join(tools, tool), x86, bit, ForeignProgramHint(tools));
            if (!IsFile(Join(root_, Join(tools, L"difxapi.dll")))) report_.Error(Join(tools, L"difxapi.dll"), L"missing", bit);
            for (const std::wstring& name : List(Join(root_, tools), false))
                if (EndsWithNoCase(name, L".exe") || EndsWithNoCase(name, L".dll")) Architecture(Join(tools, name), x86, true, bit);
            CopiedFolder(tools, L"DriverFiles", bit);
        }

        // The service program, started on every processor: x86 Windows runs
        // i386 programs only.
        const std::wstring service = gSvcSourceDir;
        if (Inside(L"[AutoInstSvc] SOURCE_PATH", service, bit)) {
            Program(Join(service, programs.service), x86, bit, ForeignProgramHint(service));
            CopiedFolder(service, L"AutoInstSvc", bit);
        }

        // The uninstaller, its version (the uninstall entry shows it) and its 17 languages.
        const std::wstring uninst = gUninstSourceDir;
        if (Inside(L"[Uninst] SOURCE_PATH", uninst, bit)) {
            const std::wstring uninstaller = Join(uninst, L"Uninstall.exe");
            if (Program(uninstaller, x86, bit, L"") && GetFileVersionString(Join(root_, uninstaller).c_str()) == L"0.0.0.0")
                report_.Error(uninstaller, L"no version resource: the uninstall entry would show 0.0.0.0", bit);
            Installed(uninstaller, L"Uninstall.exe", bit);
            for (const wchar_t* language : kUninstallLanguages) {
                const std::wstring folder = Join(Join(uninst, L"UnLang"), language);
                const std::wstring library = Join(folder, L"UninstallLan.dll");
                if (!IsFile(Join(root_, library))) report_.Error(library, L"missing", bit);
                Installed(library, Join(Join(L"UnLang", language), L"UninstallLan.dll"), bit);
                used_.push_back(folder);
            }
            usedFiles_.push_back(uninstaller);
        }
    }

    static int WINAPI NoBox(HWND, const wchar_t*, const wchar_t*, UINT) {
        boxShown_ = true;
        return IDOK;
    }

    // A configured folder must lie inside the payload: no drive, no leading
    // backslash, no "..".
    bool Inside(const std::wstring& key, const std::wstring& path, unsigned bit) {
        if (path.empty()) {
            report_.Error(L"SetupFiles\\ConfigFile\\FilesModifyConfig.ini", key + L" is empty", bit);
            return false;
        }
        std::wstring padded = L"\\" + path + L"\\";
        for (wchar_t& c : padded)
            if (c == L'/') c = L'\\';
        if (path.find(L':') != std::wstring::npos || padded[1] == L'\\' || padded.find(L"\\..\\") != std::wstring::npos) {
            report_.Error(L"SetupFiles\\ConfigFile\\FilesModifyConfig.ini",
                          key + L" = " + path + L": not a folder inside the payload", bit);
            return false;
        }
        return true;
    }

    // An .exe the branch starts: there, a Windows program, and for x86
    // Windows built for i386.
    bool Program(const std::wstring& path, bool x86, unsigned bit, const std::wstring& hint) {
        if (!IsFile(Join(root_, path))) {
            report_.Error(path, L"missing" + hint, bit);
            return false;
        }
        Architecture(path, x86, false, bit);
        return true;
    }

    // x86 Windows runs i386 programs only; `exact` also wants AMD64 on x64
    // (a tool and the libraries it loads).
    void Architecture(const std::wstring& path, bool x86, bool exact, unsigned bit) {
        const WORD machine = Machine(Join(root_, path));
        if (machine != IMAGE_FILE_MACHINE_I386 && machine != IMAGE_FILE_MACHINE_AMD64) {
            report_.Error(path, L"not a 32- or 64-bit Windows program", bit);
        } else if (!standins_) {
            if (x86 && machine != IMAGE_FILE_MACHINE_I386)
                report_.Error(path, L"AMD64 file: x86 Windows needs i386", bit);
            else if (!x86 && exact && machine != IMAGE_FILE_MACHINE_AMD64)
                report_.Error(path, L"i386 file in the x64 tool folder: x64 Windows needs AMD64", bit);
        }
    }

    // "(the folder holds <other supplier's program>: does Chip_Supplier match?)"
    std::wstring ForeignProgramHint(const std::wstring& folder) const {
        for (int supplier = 1; supplier <= 2; ++supplier) {
            const si::SupplierPrograms* other = si::FindSupplierPrograms(supplier);
            if (!other || other->chipSupplier == gChipSupplier) continue;
            for (const wchar_t* name : {other->driverToolX86, other->driverToolX64, other->service})
                if (IsFile(Join(root_, Join(folder, name))))
                    return L" for [CurrentCard] Chip_Supplier " + std::to_wstring(gChipSupplier) + L" (the folder holds " +
                           name + L", supplier " + std::to_wstring(supplier) + L"'s)";
        }
        return L"";
    }

    bool HasFileEnding(const std::wstring& folder, const wchar_t* ending) const {
        for (const std::wstring& name : List(Join(root_, folder), false))
            if (EndsWithNoCase(name, ending)) return true;
        return false;
    }

    // Every file of `folder` is copied into gTargetDir\`target`.
    void CopiedFolder(const std::wstring& folder, const std::wstring& target, unsigned bit) {
        used_.push_back(folder);
        for (const std::wstring& name : List(Join(root_, folder), false)) Installed(Join(folder, name), Join(target, name), bit);
    }

    void Installed(const std::wstring& path, const std::wstring& target, unsigned bit) {
        const std::wstring installed = Join(gTargetDir, target);
        if (installed.size() >= MAX_PATH)
            report_.Error(path, std::to_wstring(installed.size()) + L" characters once installed under " +
                                    kProgramFilesBudget + L": more than 259", bit);
    }

    // Every name below SetupFiles: one Windows accepts, no two alike but for
    // case, a path that fits once unpacked, and used by some branch.
    void CheckTree(const std::wstring& folder) {
        const std::wstring full = Join(root_, folder);
        std::vector<std::wstring> names = List(full, false);
        // The packer leaves out ".gitkeep", the placeholder of an empty folder.
        names.erase(std::remove(names.begin(), names.end(), std::wstring(L".gitkeep")), names.end());
        const std::vector<std::wstring> folders = List(full, true);
        names.insert(names.end(), folders.begin(), folders.end());
        for (size_t i = 0; i < names.size(); ++i) {
            const std::wstring path = Join(folder, names[i]);
            for (size_t j = 0; j < i; ++j)
                if (_wcsicmp(names[i].c_str(), names[j].c_str()) == 0)
                    report_.Error(path, L"differs from " + names[j] + L" only in case: one overwrites the other",
                                  kEveryBranch);
            if (IsRefusedName(names[i])) report_.Error(path, L"a name Windows refuses", kEveryBranch);
            const size_t unpacked = std::wcslen(kUnpackBudget) + 1 + path.size();
            if (unpacked >= MAX_PATH)
                report_.Error(path, std::to_wstring(unpacked) + L" characters once unpacked under " + kUnpackBudget +
                                        L": more than 259", kEveryBranch);
            if (i >= names.size() - folders.size())
                CheckTree(path);
            else if (!Used(folder, path))
                report_.Warning(path, L"never used by the installer");
        }
    }

    bool Used(const std::wstring& folder, const std::wstring& file) const {
        for (const std::wstring& f : usedFiles_)
            if (_wcsicmp(f.c_str(), file.c_str()) == 0) return true;
        for (const std::wstring& f : used_)
            if (_wcsicmp(f.c_str(), folder.c_str()) == 0) return true;
        return false;
    }

    static bool IsRefusedName(const std::wstring& name) {
        if (name.back() == L'.' || name.back() == L' ') return true;
        for (wchar_t c : name)
            if (c < 32 || std::wcschr(L"<>:\"|?*", c)) return true;
        std::wstring base = name.substr(0, name.find(L'.'));
        while (!base.empty() && base.back() == L' ') base.pop_back();
        for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL"})
            if (_wcsicmp(base.c_str(), device) == 0) return true;
        return base.size() == 4 && (_wcsnicmp(base.c_str(), L"COM", 3) == 0 || _wcsnicmp(base.c_str(), L"LPT", 3) == 0) &&
               base[3] >= L'1' && base[3] <= L'9';
    }

    std::wstring root_;
    bool standins_;
    Report report_;
    std::vector<std::wstring> used_;       // folders whose files some branch copies
    std::vector<std::wstring> usedFiles_;  // single files some branch copies
    static bool boxShown_;
};
bool Checker::boxShown_ = false;

}  // namespace

int wmain(int argc, wchar_t** argv) {
    bool standins = false;
    int at = 1;
    if (at < argc && std::wcscmp(argv[at], L"--standins") == 0) standins = true, ++at;
    if (at + 1 != argc) {
        Report::Out(L"usage: payload_check.exe [--standins] FOLDER (the folder that holds SetupFiles)");
        return 2;
    }
    wchar_t full[MAX_PATH] = {};
    const DWORD n = ::GetFullPathNameW(argv[at], MAX_PATH, full, nullptr);
    std::wstring root(full, n < MAX_PATH ? n : 0);
    while (root.size() > 3 && root.back() == L'\\') root.pop_back();
    if (root.empty() || !IsFolder(Join(root, L"SetupFiles"))) {
        Report::Out(L"payload check: " + std::wstring(argv[at]) + L" holds no SetupFiles folder");
        return 2;
    }
    return Checker(root, standins).Run();
}
