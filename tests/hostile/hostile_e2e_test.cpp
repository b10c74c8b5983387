// The real SetupInstall.exe under hostile conditions, end to end under Wine:
// an application-data folder so long that the installer's paths stop
// fitting, a user profile with blanks and non-ASCII letters, a target that
// cannot be written, no COMSPEC, a second run over an installation and a
// second copy started in the middle of a run.
//
// Every run must end by itself (no crash, no hang) and must leave everything
// outside the unpack folder, the log folder, the target and the uninstall
// entry as it was: each test takes a snapshot of the folders around them
// (with sentinel files planted there) before the run and compares after.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "framework/win.h"
#include "state/globals.h"
#include "tests/support/e2e.h"
#include "tests/support/test_support.h"

using si_standin::StandinStart;
using si_test::Box;
using si_test::CreateTree;
using si_test::DirExists;
using si_test::FileExists;
using si_test::ListTree;
using si_test::N;
using si_test::Names;
using si_test::ProgramFiles;
using si_test::UninstallValues;
using Outcome = si_test::InstallOutcome;

namespace {

const wchar_t kUninstallRoot[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t kUserShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t kSetupFailed[] =
    L"Failed to initialize. Uninstall the software and try again after restarting the computer.";
const wchar_t kLoadLibraryError[] = L"Load library error,Setup is not complete!";
const wchar_t kRunning[] = L"The installation is running.";
// Where the long application-data folders of these tests are made.
const wchar_t kScratchRoot[] = L"C:\\hostile-e2e";

std::wstring Parent(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

// --- Registry values put back at the end of a scope --------------------------

class RegValueGuard {
public:
    RegValueGuard(HKEY root, const wchar_t* key, const wchar_t* name) : root_(root), key_(key), name_(name) {
        si::unique_hkey k;
        if (::RegOpenKeyExW(root_, key_.c_str(), 0, KEY_QUERY_VALUE, k.put()) != ERROR_SUCCESS) return;
        DWORD bytes = 0;
        if (::RegQueryValueExW(k.get(), name_.c_str(), nullptr, &type_, nullptr, &bytes) != ERROR_SUCCESS) return;
        data_.resize(bytes);
        existed_ = ::RegQueryValueExW(k.get(), name_.c_str(), nullptr, &type_, data_.data(), &bytes) == ERROR_SUCCESS;
        data_.resize(bytes);
    }
    ~RegValueGuard() {
        si::unique_hkey k;
        if (::RegCreateKeyExW(root_, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, k.put(), nullptr) !=
            ERROR_SUCCESS)
            return;
        if (existed_)
            ::RegSetValueExW(k.get(), name_.c_str(), 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
        else
            ::RegDeleteValueW(k.get(), name_.c_str());
    }
    RegValueGuard(const RegValueGuard&) = delete;
    RegValueGuard& operator=(const RegValueGuard&) = delete;

private:
    HKEY root_;
    std::wstring key_, name_;
    bool existed_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> data_;
};

// Points the Wine user's roaming application-data folder (what
// SHGetSpecialFolderPathW(CSIDL_APPDATA) answers) at `path` for one scope.
// Wine reads "User Shell Folders" and copies what it found to "Shell
// Folders"; both values are put back afterwards.
class AppDataOverride {
public:
    explicit AppDataOverride(const std::wstring& path)
        : user_(HKEY_CURRENT_USER, kUserShellFolders, L"AppData"), shell_(HKEY_CURRENT_USER, kShellFolders, L"AppData") {
        if (!CreateTree(path)) return;
        si::unique_hkey k;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, kUserShellFolders, 0, nullptr, 0, KEY_SET_VALUE, nullptr, k.put(),
                              nullptr) != ERROR_SUCCESS)
            return;
        ::RegSetValueExW(k.get(), L"AppData", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                         static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
        active_ = si_test::AppDataDir() == path;
    }
    bool active() const { return active_; }

private:
    RegValueGuard user_, shell_;
    bool active_ = false;
};

// The current directory of this program, and so of the installer, for one scope.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::wstring& path) {
        wchar_t saved[MAX_PATH] = {};
        ::GetCurrentDirectoryW(MAX_PATH, saved);
        saved_ = saved;
        ::SetCurrentDirectoryW(path.c_str());
    }
    ~CurrentDirectory() { ::SetCurrentDirectoryW(saved_.c_str()); }
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;

private:
    std::wstring saved_;
};

// --- Snapshots of what lies around the installer's folders -------------------

struct Area {
    std::wstring root;
    int depth;                       // levels listed below the root
    std::vector<std::wstring> skip;  // full paths left out, each with everything below it
};

// Full path -> "dir" or "file <size> <last write>".
using Snapshot = std::map<std::wstring, std::string>;

bool Skipped(const std::wstring& path, const std::vector<std::wstring>& skip) {
    for (const auto& s : skip)
        if (_wcsicmp(path.c_str(), s.c_str()) == 0 ||
            (path.size() > s.size() && path[s.size()] == L'\\' && _wcsnicmp(path.c_str(), s.c_str(), s.size()) == 0))
            return true;
    return false;
}

void Walk(const std::wstring& folder, int depth, const std::vector<std::wstring>& skip, Snapshot* out) {
    WIN32_FIND_DATAW data;
    si::unique_find find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!find) return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        if (Skipped(path, skip)) continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            (*out)[path] = "dir";
            if (depth > 1) Walk(path, depth - 1, skip, out);
        } else {
            char text[64] = {};
            std::snprintf(text, sizeof(text), "file %llu %08lx%08lx",
                          (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                          data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
            (*out)[path] = text;
        }
    } while (::FindNextFileW(find.get(), &data));
}

Snapshot Take(const std::vector<Area>& areas) {
    Snapshot snapshot;
    for (const Area& area : areas) {
        if (Skipped(area.root, area.skip)) continue;
        snapshot[area.root] = DirExists(area.root) ? "dir" : "missing";
        Walk(area.root, area.depth, area.skip, &snapshot);
    }
    // The uninstall entries of the system, the installer's own left out.
    si::unique_hkey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallRoot, 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD length = 256;
            if (::RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            if (_wcsicmp(name, L"KALVERON_FLASH") != 0) snapshot[std::wstring(L"HKLM\\") + kUninstallRoot + L"\\" + name] = "key";
        }
    }
    return snapshot;
}

// The differences between two snapshots, one line each; empty when equal.
std::string Differences(const Snapshot& before, const Snapshot& after) {
    std::string text;
    for (const auto& entry : before) {
        auto it = after.find(entry.first);
        if (it == after.end())
            text += "gone: " + N(entry.first) + "\n";
        else if (it->second != entry.second)
            text += "changed: " + N(entry.first) + " (" + entry.second + " -> " + it->second + ")\n";
    }
    for (const auto& entry : after)
        if (!before.count(entry.first)) text += "new: " + N(entry.first) + " (" + entry.second + ")\n";
    return text;
}

// Every file and folder below `root` with the size of each file.
std::vector<std::pair<std::wstring, ULONGLONG>> TreeWithSizes(const std::wstring& root) {
    std::vector<std::pair<std::wstring, ULONGLONG>> tree;
    for (const auto& name : ListTree(root)) {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        ULONGLONG size = 0;
        if (::GetFileAttributesExW((root + L"\\" + name).c_str(), GetFileExInfoStandard, &data) &&
            !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        tree.emplace_back(name, size);
    }
    return tree;
}

bool HasLine(const std::string& log, const std::string& line) { return log.find(line) != std::string::npos; }

// The exit's background removal took `folder` away (an empty folder left by
// Wine's side-by-side removals counts, see RemovedAtExit).
void ExpectRemovedAtExit(const std::wstring& folder, const Outcome& outcome) {
    EXPECT_TRUE(si_test::RemovedAtExit(folder, outcome.result.processId))
        << N(folder) << " still holds " << ListTree(folder).size() << " entries";
}

class Hostile : public ::testing::Test {
protected:
    void SetUp() override {
        Clean();
        // A product of the same maker beside the target, and the folder the
        // installer starts in: both must stay as they are.
        ASSERT_TRUE(CreateTree(vendor_ + L"\\Other Product"));
        ASSERT_TRUE(si_test::WriteFileBytes(vendor_ + L"\\Other Product\\keep.txt", "another product"));
        ASSERT_TRUE(si_test::WriteFileBytes(cwd_ / L"keep.txt", "the folder the installer starts in"));
    }
    void TearDown() override {
        // Every override of the application-data folder has been put back.
        EXPECT_EQ(N(original_appdata_), N(si_test::AppDataDir()));
        Clean();
        si_test::RemoveTree(kScratchRoot);
        si_test::RemoveTree(si_test::AppDataDir() + L"\\KalveronTemp");
        si_test::SetSystemLanguage(L"0409");
    }

    void Clean() {
        // An earlier run's background removal must not be at work meanwhile.
        si_test::WaitForRemovalProcesses();
        si_test::RemoveTree(si_test::AppDataDir() + L"\\KalveronTemp");
        si_test::RemoveTree(target_);
        si_test::RemoveTree(vendor_);
        ::DeleteFileW(vendor_.c_str());
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, si_test::kUninstallKey);
    }

    // The folders around the installer's own for the current application-data
    // folder, and `extra` ones.
    std::vector<Area> Surroundings(std::vector<Area> extra = {}) const {
        const std::wstring appData = si_test::AppDataDir();
        const std::wstring unpack = appData + L"\\KalveronTemp", logDir = appData + L"\\InstallLog";
        std::vector<Area> areas{
            {appData, 8, {unpack, logDir}},
            {Parent(appData), 1, {appData}},
            {Parent(Parent(appData)), 1, {Parent(appData)}},
            {original_appdata_, 8, {unpack, logDir}},
            {ProgramFiles(), 3, {target_}},
            {L"C:", 1, {}},
            {L"C:\\users", 1, {}},
            {cwd_.path(), 4, {}},
            {Parent(si_test::InstallerPath()), 1, {}},
        };
        areas.insert(areas.end(), extra.begin(), extra.end());
        return areas;
    }

    Outcome Install(const si_test::InstallerRun& run, const std::function<void(HANDLE)>& tick = {}) {
        return si_test::RunToTheEnd(run, record_, tick);
    }

    // What a whole run of the sample payload on Windows 10 leaves behind.
    void ExpectInstalled(const Outcome& outcome) {
        EXPECT_TRUE(outcome.boxes.empty());
        EXPECT_TRUE(outcome.windowShown);
        EXPECT_EQ((std::vector<std::wstring>{L"Corvane64.exe", L"Vostrel.exe"}), Names(outcome.starts));
        for (const wchar_t* file : {L"Uninstall.exe", L"UnLang\\English(United_States)\\UninstallLan.dll",
                                    L"UnLang\\Vietnamese(Vietnam)\\UninstallLan.dll", L"DriverFiles\\Corvane64.exe",
                                    L"DriverFiles\\difxapi.dll", L"DriverFiles\\Driver\\Win10X64\\netrtwlanu.inf",
                                    L"AutoInstSvc\\Vostrel.exe"})
            EXPECT_TRUE(FileExists(target_ + L"\\" + file)) << N(file);
        const auto values = UninstallValues();
        EXPECT_NE(std::find(values.begin(), values.end(), std::make_pair(std::wstring(L"InstallLocation"), target_)),
                  values.end());
        EXPECT_NE(std::find(values.begin(), values.end(),
                            std::make_pair(std::wstring(L"UninstallString"), target_ + L"\\Uninstall.exe")),
                  values.end());
        EXPECT_TRUE(HasLine(outcome.result.log, "{EventSetupEnd}EventSetupEnd start")) << outcome.result.log;
    }

    // The error box of a failed install step, then WM_SETUP_ERROR closed the window.
    void ExpectFailedWithErrorBox(const Outcome& outcome) {
        ASSERT_EQ(1u, outcome.boxes.size());
        EXPECT_EQ(L"Error!!!", outcome.boxes[0].caption);
        EXPECT_EQ(kSetupFailed, outcome.boxes[0].text);
        EXPECT_TRUE(outcome.windowShown);
        EXPECT_GE(outcome.afterLastBox, 0.0);
        EXPECT_LT(outcome.afterLastBox, 5.0);  // closed by the message, not by a time-out
        EXPECT_TRUE(HasLine(outcome.result.log, "{ThreadSetupInstall}ThreadSetupInstall start"));
        EXPECT_FALSE(HasLine(outcome.result.log, "{EventSetupEnd}"));
        EXPECT_TRUE(outcome.starts.empty());
        EXPECT_TRUE(UninstallValues().empty());
    }

    si_test::TempDir temp_{L"hostile"};
    si_test::TempDir cwd_{L"hostile_cwd"};
    CurrentDirectory inCwd_{cwd_.path()};
    const std::wstring record_ = temp_ / L"record.txt";
    const std::wstring original_appdata_ = si_test::AppDataDir();
    const std::wstring vendor_ = ProgramFiles() + L"\\KALVERON";
    const std::wstring target_ = vendor_ + L"\\AX7R_1.0";
};

// --- An unpack folder path near 260 characters ------------------------------
//
// gUnPackDirPath is the application-data folder + "\KalveronTemp" (13
// characters more). What no longer fits, by its length L:
//   L > 259   the unpack folder itself: the path stays empty and the
//             unpacker cannot create it; the process ends at once, code 0
//   L > 252   the language archive path (+ "\Lang7z")
//   L > 249   the decoder's path (+ "\7zDec.dll")
//   L > 246   the setup archive path (+ "\SetupFiles7z")
//   L > 217   the exit's removal command (COMSPEC, " /c rd /s /q " and the
//             quoted folder): the unpack folder then stays after the exit
//   L > 211   the language pack's entries (+ "\Lang\English(United_States)
//             \SetupInstallLan.dll" is the longest the run needs)
//   L > 194   the setup archive's entries (longest: 64 characters)

// An application-data folder of exactly `length` characters below the scratch root.
std::wstring LongAppData(size_t length) {
    std::wstring path = kScratchRoot;
    for (int part = 0; path.size() < length; ++part) {
        const size_t room = length - path.size() - 1;  // after the backslash
        size_t take = room > 60 ? 60 : room;
        if (room > 60 && room - take == 1) take = 58;  // never leave room for a backslash alone
        std::wstring name;
        for (size_t i = 0; i < take; ++i) name += static_cast<wchar_t>(i % 10 == 0 ? L'a' + part : L'0' + i % 10);
        path += L"\\" + name;
    }
    return path;
}

class HostileLongPath : public Hostile {
protected:
    struct Result {
        Outcome outcome;
        std::string differences;  // around the installer's folders, after the exit
        std::wstring unpack;
        bool stayed = false;                 // the unpack folder was still there after the exit
        std::vector<std::wstring> leftOver;  // and held this
    };

    // One run with an application-data folder of `length` characters, with
    // sentinels planted beside the unpack folder and one level up.
    Result RunWithAppDataOf(size_t length) {
        Result run;
        const std::wstring appData = LongAppData(length);
        EXPECT_EQ(length, appData.size());
        AppDataOverride override(appData);
        EXPECT_TRUE(override.active());
        if (!override.active()) return run;
        EXPECT_TRUE(si_test::WriteFileBytes(appData + L"\\beside.txt", "beside"));
        EXPECT_TRUE(CreateTree(appData + L"\\KalveronTemp2"));
        EXPECT_TRUE(si_test::WriteFileBytes(appData + L"\\KalveronTemp2\\keep.txt", "keep"));
        EXPECT_TRUE(si_test::WriteFileBytes(Parent(appData) + L"\\above.txt", "above"));
        run.unpack = appData + L"\\KalveronTemp";
        const Snapshot before = Take(Surroundings());

        run.outcome = Install(si_test::InstallerRun());
        // The exit's background removal, where it was started.
        EXPECT_TRUE(si_test::WaitForChildren(run.outcome.result.processId, 30000));
        run.differences = Differences(before, Take(Surroundings()));
        run.stayed = DirExists(run.unpack);
        if (run.stayed) run.leftOver = ListTree(run.unpack);
        si_test::RemoveTree(kScratchRoot);
        return run;
    }
};

// The unpack folder fits with no room to spare: every path below it is
// refused before use, so nothing is loaded or extracted; the library message
// comes twice (decoder, then language library) and the run ends.
TEST_F(HostileLongPath, UnpackFolderOf259CharactersRefusesEveryPathBelowIt) {
    const Result run = RunWithAppDataOf(259 - 13);
    EXPECT_EQ("", run.differences);
    ASSERT_EQ(2u, run.outcome.boxes.size());
    for (const Box& box : run.outcome.boxes) {
        EXPECT_EQ(L"SetupInstall", box.caption);
        EXPECT_EQ(kLoadLibraryError, box.text);
    }
    EXPECT_FALSE(run.outcome.windowShown);
    EXPECT_TRUE(run.outcome.starts.empty());
    EXPECT_FALSE(DirExists(target_));
    // The removal command does not fit either: the unpack folder stays, with
    // at most what the unpacker wrote (Windows itself refuses those paths).
    EXPECT_TRUE(run.stayed);
    for (const auto& name : run.leftOver) EXPECT_TRUE(name == L"7zDec.dll" || name == L"Lang7z") << N(name);
}

// The archive paths fit, the entries of the language pack do not: the
// decoder stops at the first such entry, no language library exists, and
// the run ends with the library message.
TEST_F(HostileLongPath, LanguagePackEntriesThatDoNotFitEndWithTheLibraryMessage) {
    const Result run = RunWithAppDataOf(247 - 13);
    EXPECT_EQ("", run.differences);
    ASSERT_EQ(1u, run.outcome.boxes.size());
    EXPECT_EQ(L"SetupInstall", run.outcome.boxes[0].caption);
    EXPECT_EQ(kLoadLibraryError, run.outcome.boxes[0].text);
    EXPECT_FALSE(run.outcome.windowShown);
    EXPECT_FALSE(HasLine(run.outcome.result.log, "{ThreadSetupInstall}"));
    EXPECT_TRUE(HasLine(run.outcome.result.log, "{OnInitDialog} gLogPath is ")) << run.outcome.result.log;
    EXPECT_FALSE(DirExists(target_));
    EXPECT_TRUE(run.stayed);  // the removal command does not fit
    for (const auto& name : run.leftOver) EXPECT_TRUE(name == L"7zDec.dll" || name == L"Lang7z" || name == L"Lang") << N(name);
}

// The language pack fits, the setup archive's entries do not: the window
// comes up, the extraction fails, the error box follows, WM_SETUP_ERROR closes
// the window; nothing reaches the target, and the exit removes the folder.
TEST_F(HostileLongPath, SetupEntriesThatDoNotFitFailTheInstallWithItsErrorBox) {
    const Result run = RunWithAppDataOf(205 - 13);
    EXPECT_EQ("", run.differences);
    ExpectFailedWithErrorBox(run.outcome);
    EXPECT_FALSE(DirExists(target_));
    // Removed at exit (or, the Wine race of the two removals, left empty).
    for (const auto& name : run.leftOver) ADD_FAILURE() << "left in the unpack folder: " << N(name);
}

// An application-data folder so long that the unpack folder's path does not
// fit at all: gUnPackDirPath stays empty, the unpacker cannot create it and
// the process ends at once with code 0. With 250 characters even the log
// folder's path does not fit: the log then stays off (it must not land at
// the root of the current drive as "\Install.log").
TEST_F(HostileLongPath, UnpackFolderThatDoesNotFitEndsAtOnce) {
    for (size_t length : {247u, 250u}) {
        SCOPED_TRACE(length);
        const Result run = RunWithAppDataOf(length);
        EXPECT_EQ("", run.differences);
        EXPECT_TRUE(run.outcome.boxes.empty());
        EXPECT_FALSE(run.outcome.windowShown);
        EXPECT_EQ(0u, run.outcome.result.exitCode);
        EXPECT_EQ("", run.outcome.result.log);
        EXPECT_FALSE(run.stayed);
        EXPECT_FALSE(FileExists(L"C:\\Install.log"));
        EXPECT_FALSE(FileExists(cwd_ / L"Install.log"));
    }
}

// --- A user profile with blanks and non-ASCII letters -----------------------

class HostileProfile : public Hostile {
protected:
    // Whether the ANSI code page carries `text` unchanged.
    static bool FitsAnsiCodePage(const std::wstring& text) {
        char narrow[MAX_PATH * 2] = {};
        BOOL usedDefault = FALSE;
        const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, narrow, sizeof(narrow),
                                            nullptr, &usedDefault);
        return n > 0 && !usedDefault;
    }

    // Points the application-data folder into the profile `user`, with
    // sentinels where a broken quoting of the removal command would strike:
    // the profile's first word as a folder of its own, every word as a
    // folder of the current directory, and folders beside the unpack folder.
    void PlantProfile(const std::wstring& user) {
        profile_ = L"C:\\users\\" + user;
        appData_ = profile_ + L"\\AppData\\Roaming";
        firstWord_ = L"C:\\users\\" + user.substr(0, user.find(L' '));
        ASSERT_TRUE(CreateTree(appData_ + L"\\KalveronTemp 2"));
        ASSERT_TRUE(si_test::WriteFileBytes(appData_ + L"\\KalveronTemp 2\\keep.txt", "beside"));
        ASSERT_TRUE(si_test::WriteFileBytes(appData_ + L"\\KalveronTemp.txt", "beside"));
        ASSERT_TRUE(CreateTree(profile_ + L"\\AppData\\Local"));
        ASSERT_TRUE(si_test::WriteFileBytes(profile_ + L"\\AppData\\Local\\keep.txt", "local"));
        ASSERT_TRUE(CreateTree(firstWord_));
        ASSERT_TRUE(si_test::WriteFileBytes(firstWord_ + L"\\keep.txt", "first word"));
        for (size_t at = 0; at != std::wstring::npos;) {
            const size_t blank = user.find(L' ', at);
            const std::wstring word = user.substr(at, blank == std::wstring::npos ? blank : blank - at);
            ASSERT_TRUE(CreateTree(cwd_ / word));
            ASSERT_TRUE(si_test::WriteFileBytes(cwd_ / word + L"\\keep.txt", "word"));
            at = blank == std::wstring::npos ? blank : blank + 1;
        }
    }

    std::vector<Area> ProfileAreas() const {
        return Surroundings({{profile_, 6, {appData_ + L"\\KalveronTemp", appData_ + L"\\InstallLog"}},
                             {firstWord_, 2, {}}});
    }

    void TearDown() override {
        if (!profile_.empty()) {
            si_test::RemoveTree(profile_);
            si_test::RemoveTree(firstWord_);
        }
        Hostile::TearDown();
    }

    std::wstring profile_, appData_, firstWord_;
};

// Letters the ANSI code page carries (Wine's default here is 1252): the
// whole run succeeds, and the exit's removal deletes exactly the unpack
// folder, nothing beside it.
TEST_F(HostileProfile, BlanksAndAccentedLettersInstallAndRemoveExactlyTheUnpackFolder) {
    const std::wstring user = L"J\u00FCrgen M\u00FCller \u00DCnal";
    PlantProfile(user);
    std::printf("[ hostile  ] ANSI code page %u\n", ::GetACP());
    ASSERT_TRUE(FitsAnsiCodePage(appData_)) << "ANSI code page " << ::GetACP();
    AppDataOverride override(appData_);
    ASSERT_TRUE(override.active());
    const Snapshot before = Take(ProfileAreas());

    const Outcome outcome = Install(si_test::InstallerRun());
    ExpectInstalled(outcome);
    ExpectRemovedAtExit(appData_ + L"\\KalveronTemp", outcome);
    EXPECT_TRUE(FileExists(appData_ + L"\\InstallLog\\Install.log"));
    EXPECT_EQ("", Differences(before, Take(ProfileAreas())));
}

// Letters that no ANSI code page carries together: the decoder's narrow
// archive path cannot name the language pack, the pack is never extracted,
// and the run ends with the library message; the exit's removal (wide
// throughout) still deletes exactly the unpack folder.
TEST_F(HostileProfile, LettersOutsideTheAnsiCodePageEndWithTheLibraryMessage) {
    const std::wstring user = L"\u042E\u0440\u0438\u0439 \u015Eahin \u0395\u03BB\u03AD\u03BD\u03B7";
    PlantProfile(user);
    ASSERT_FALSE(FitsAnsiCodePage(appData_));
    AppDataOverride override(appData_);
    ASSERT_TRUE(override.active());
    const Snapshot before = Take(ProfileAreas());

    const Outcome outcome = Install(si_test::InstallerRun());
    ASSERT_EQ(1u, outcome.boxes.size());
    EXPECT_EQ(L"SetupInstall", outcome.boxes[0].caption);
    EXPECT_EQ(kLoadLibraryError, outcome.boxes[0].text);
    EXPECT_FALSE(outcome.windowShown);
    EXPECT_FALSE(DirExists(target_));
    ExpectRemovedAtExit(appData_ + L"\\KalveronTemp", outcome);
    EXPECT_EQ("", Differences(before, Take(ProfileAreas())));
}

// A Japanese user folder under code page 932 (its own ctest entry runs this
// under LANG=ja_JP.UTF-8): the run succeeds, log lines hold the whole path,
// and the unpack folder's security reads back during the run. Wine stores no
// descriptor: it answers from the Unix mode bits the descriptor set (nothing
// for others, where a plain folder gives Everyone read and execute).
TEST_F(HostileProfile, JapaneseUserFolderUnderAJapaneseLocaleInstallsAndLogsWholePaths) {
    if (::GetACP() != 932) GTEST_SKIP() << "needs code page 932, has " << ::GetACP();
    PlantProfile(L"\u7530\u4E2D \u592A\u90CE");
    AppDataOverride override(appData_);
    ASSERT_TRUE(override.active());
    const Snapshot before = Take(ProfileAreas());
    const std::wstring unpack = appData_ + L"\\KalveronTemp";
    std::string security;
    const Outcome outcome = Install(si_test::InstallerRun(), [&](HANDLE) {
        if (security.empty() && DirExists(unpack)) security = si_test::SecurityText(unpack);
    });
    ExpectInstalled(outcome);
    for (const std::string& line : {"{OnInitDialog} UnPackDirPath is " + N(unpack),
                                   "{OnInitDialog} gLogPath is " + N(appData_) + "\\InstallLog\\Install.log",
                                   "delTempFile>> bagin !, delete folder is " + N(unpack) + "\r\n"})
        EXPECT_TRUE(HasLine(outcome.result.log, line + "\r\n")) << line << "\n" << outcome.result.log;
    std::printf("[ hostile  ] unpack folder security during the run: %s\n", security.c_str());
    EXPECT_FALSE(security.empty());
    EXPECT_EQ(std::string::npos, security.find(";;;WD)")) << security;
    ExpectRemovedAtExit(unpack, outcome);
    EXPECT_EQ("", Differences(before, Take(ProfileAreas())));
}

// A gdiplus.dll and a comctl32.dll that record their load, planted beside a
// copy of the installer, Wine told to prefer them: neither is loaded.
TEST_F(Hostile, PlantedLibrariesBesideTheInstallerAreNeverLoaded) {
    si_test::TempDir dir(L"planted");
    const std::wstring planted = si_test::BuildDir() + L"\\tests\\startup\\planted.dll";
    si_test::InstallerRun run;
    run.exePath = dir / L"SetupInstall.exe";
    ASSERT_TRUE(::CopyFileW(si_test::InstallerPath().c_str(), run.exePath.c_str(), FALSE));
    for (const wchar_t* name : {L"gdiplus.dll", L"comctl32.dll"})
        ASSERT_TRUE(::CopyFileW(planted.c_str(), (dir / name).c_str(), FALSE)) << N(name);
    si_test::PreferNativeDlls(L"SetupInstall.exe", {L"gdiplus", L"comctl32"});
    const Outcome outcome = Install(run);
    si_test::PreferNativeDlls(L"SetupInstall.exe", {});
    ExpectInstalled(outcome);
    EXPECT_FALSE(FileExists(dir / L"gdiplus.dll.loaded"));
    EXPECT_FALSE(FileExists(dir / L"comctl32.dll.loaded"));
}

// --- What another program of the user plants for the elevated installer -------
//
// Each row plants before the run, as a program running with the user's own
// rights can: A a read-only version.dll where the driver tool is unpacked
// (it would land beside the tool in DriverFiles), B a language library held
// open by this test process sharing reading only (the emptying cannot
// delete it, the decoder cannot overwrite it), C COMSPEC naming a program of
// the user's. Nothing planted is copied, loaded or started; the run
// completes in a fresh folder beside the planted one, which stays as it was
// left, and that fresh folder is removed at exit.
TEST_F(Hostile, PlantedFilesAndInterpreterAreNeverCopiedLoadedOrStarted) {
    const std::wstring unpack = si_test::AppDataDir() + L"\\KalveronTemp";
    const std::wstring planted = si_test::BuildDir() + L"\\tests\\startup\\planted.dll";
    const std::wstring evil = temp_ / L"evil.exe";
    ASSERT_TRUE(::CopyFileW((si_test::BuildDir() + L"\\payload\\standins\\standin.exe").c_str(), evil.c_str(), FALSE));
    {  // The controls: each planted thing does what it is planted for when used.
        const std::wstring copy = temp_ / L"control.dll";
        ASSERT_TRUE(::CopyFileW(planted.c_str(), copy.c_str(), FALSE));
        si::unique_hmodule loaded(::LoadLibraryW(copy.c_str()));
        EXPECT_TRUE(FileExists(copy + L".loaded"));
        DWORD code = 1;
        ASSERT_TRUE(si_test::RunProcess(L"\"" + evil + L"\" /c exit", 10000, &code));
    }
    ::DeleteFileW(record_.c_str());
    enum Attack { kReadOnlyVersionDll, kHeldLanguageLibrary, kComspec };
    for (Attack attack : {kReadOnlyVersionDll, kHeldLanguageLibrary, kComspec}) {
        SCOPED_TRACE(attack);
        std::vector<std::wstring> plantedFiles;
        si::unique_file held;
        si_test::InstallerRun run;
        run.clean = false;  // the planted folder stays for the installer to find
        ::DeleteFileW((si_test::AppDataDir() + L"\\InstallLog\\Install.log").c_str());
        if (attack == kReadOnlyVersionDll) {
            for (const wchar_t* arch : {L"x86", L"x64"}) {
                const std::wstring file = unpack + L"\\SetupFiles\\DriverTool\\" + arch + L"\\version.dll";
                ASSERT_TRUE(CreateTree(Parent(file)));
                ASSERT_TRUE(::CopyFileW(planted.c_str(), file.c_str(), FALSE));
                ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
                plantedFiles.push_back(file);
            }
        } else if (attack == kHeldLanguageLibrary) {
            const std::wstring file = unpack + L"\\Lang\\English(United_States)\\SetupInstallLan.dll";
            ASSERT_TRUE(CreateTree(Parent(file)));
            ASSERT_TRUE(::CopyFileW(planted.c_str(), file.c_str(), FALSE));
            held.reset(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(held);
            plantedFiles.push_back(file);
        } else {
            run.env = {{L"COMSPEC", evil}};
        }
        const Snapshot before = Take(Surroundings({{unpack, 6, {}}}));

        const Outcome outcome = Install(run);
        ExpectInstalled(outcome);
        EXPECT_TRUE(si_test::WaitForChildren(outcome.result.processId, 30000));
        for (const std::wstring& file : plantedFiles) EXPECT_FALSE(FileExists(file + L".loaded")) << N(file);
        EXPECT_FALSE(FileExists(target_ + L"\\DriverFiles\\version.dll"));
        std::vector<StandinStart> late;  // started at the exit, after the run's own were read
        ASSERT_TRUE(si_standin::ReadStandinRecord(record_, &late));
        EXPECT_TRUE(late.empty()) << N(Names(late).front());
        ::DeleteFileW(record_.c_str());
        held.reset();
        if (attack == kComspec) {
            ExpectRemovedAtExit(unpack, outcome);  // by the system's own cmd.exe
        } else {
            // The planted folder is left as it was, the fresh one is gone.
            EXPECT_TRUE(HasLine(outcome.result.log, "->Creat outDir  " + N(unpack) + "-")) << outcome.result.log;
            EXPECT_EQ("", Differences(before, Take(Surroundings({{unpack, 6, {}}}))));
        }
        for (const std::wstring& file : plantedFiles) ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        si_test::RemoveTree(unpack);
        si_test::RemoveTree(target_);
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, si_test::kUninstallKey);
    }
}

// --- A target that cannot be written -----------------------------------------

// A file where the target folder, or its parent, must be made: the copy of
// the uninstaller fails, the error box follows, WM_SETUP_ERROR closes the
// window and the process ends; the file is left as it was.
TEST_F(Hostile, TargetThatCannotBeCreatedShowsTheErrorBoxAndEnds) {
    for (const std::wstring& blocker : {target_, vendor_}) {
        SCOPED_TRACE(N(blocker));
        if (blocker == vendor_) si_test::RemoveTree(vendor_);
        ASSERT_TRUE(si_test::WriteFileBytes(blocker, "a file, not a folder"));
        const Snapshot before = Take(Surroundings());

        const Outcome outcome = Install(si_test::InstallerRun());
        ExpectFailedWithErrorBox(outcome);
        EXPECT_TRUE(HasLine(outcome.result.log, "copyFiles>>copy Config fail")) << outcome.result.log;
        ExpectRemovedAtExit(outcome.result.unpackDir, outcome);
        EXPECT_EQ("", Differences(before, Take(Surroundings())));
        EXPECT_EQ("a file, not a folder", si_test::FileText(blocker));
        ::DeleteFileW(blocker.c_str());
    }
}

// --- COMSPEC unset -------------------------------------------------------------

// The run succeeds; the exit cannot start the removal, so the unpack folder
// stays with what the last install step could not delete (the language
// library in use); nothing else changes.
TEST_F(Hostile, WithoutComspecTheRunSucceedsAndTheUnpackFolderStays) {
    const Snapshot before = Take(Surroundings());
    si_test::InstallerRun run;
    run.env = {{L"COMSPEC", L""}};
    const Outcome outcome = Install(run);
    ExpectInstalled(outcome);
    EXPECT_TRUE(HasLine(outcome.result.log, "delTempFile>> LXDeleteFolder fail !"));
    EXPECT_TRUE(si_test::WaitForChildren(outcome.result.processId, 10000));  // a removal, had one been started
    EXPECT_TRUE(DirExists(outcome.result.unpackDir));
    EXPECT_EQ((std::vector<std::wstring>{L"Lang", L"Lang\\English(United_States)",
                                         L"Lang\\English(United_States)\\SetupInstallLan.dll"}),
              ListTree(outcome.result.unpackDir));
    EXPECT_EQ("", Differences(before, Take(Surroundings())));
}

// --- The install run twice over itself ----------------------------------------

TEST_F(Hostile, SecondRunOverAnInstallationGivesTheSameResult) {
    const Snapshot before = Take(Surroundings());
    const Outcome first = Install(si_test::InstallerRun());
    ExpectInstalled(first);
    ExpectRemovedAtExit(first.result.unpackDir, first);
    const auto tree = TreeWithSizes(target_);
    const auto values = UninstallValues();
    ASSERT_FALSE(tree.empty());
    ASSERT_FALSE(values.empty());

    const Outcome second = Install(si_test::InstallerRun());
    ExpectInstalled(second);
    ExpectRemovedAtExit(second.result.unpackDir, second);
    EXPECT_EQ(tree, TreeWithSizes(target_));
    EXPECT_EQ(values, UninstallValues());
    ASSERT_EQ(first.starts.size(), second.starts.size());
    for (size_t i = 0; i < first.starts.size(); ++i) EXPECT_EQ(first.starts[i].commandLine, second.starts[i].commandLine);
    EXPECT_EQ("", Differences(before, Take(Surroundings())));
}

// --- A second copy started mid-run ---------------------------------------------

// While the first run waits for its driver tool (held for a few seconds), a
// second copy starts: it shows "The installation is running.", and its exit
// removes nothing (its unpack folder path was never set); the first run then
// completes normally.
TEST_F(Hostile, SecondCopyMidRunIsRefusedRemovesNothingAndTheFirstCompletes) {
    const Snapshot before = Take(Surroundings());
    si_test::InstallerRun run;
    run.env = {{L"SETUPINSTALL_STANDIN_SLEEP_MS_CORVANE64", L"5000"}};
    bool secondDone = false;
    Box secondBox;
    DWORD secondExit = 99;
    std::vector<std::pair<std::wstring, ULONGLONG>> unpackBefore, unpackAfter;
    const std::wstring unpack = si_test::AppDataDir() + L"\\KalveronTemp";
    const Outcome outcome = Install(run, [&](HANDLE) {
        std::vector<StandinStart> starts;
        if (secondDone || !si_standin::ReadStandinRecord(record_, &starts) || starts.empty()) return;
        secondDone = true;  // the driver tool runs: the first copy is mid-run
        unpackBefore = TreeWithSizes(unpack);
        si_test::InstallerRun second;
        second.clean = false;  // the first copy's folder is not this test's to touch
        DWORD secondId = 0;
        si::unique_handle process(si_test::StartInstaller(second, &secondId));
        ASSERT_TRUE(process);
        HWND box = si_test::FindMessageBox(secondId, 10000);
        ASSERT_NE(nullptr, box);
        secondBox = si_test::ReadBox(box);
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.get(), 10000));
        ::GetExitCodeProcess(process.get(), &secondExit);
        ::Sleep(1000);  // time for a removal, had one been started
        unpackAfter = TreeWithSizes(unpack);
    });
    ASSERT_TRUE(secondDone);
    EXPECT_EQ(L"Error!!!", secondBox.caption);
    EXPECT_EQ(kRunning, secondBox.text);
    EXPECT_EQ(0u, secondExit);
    EXPECT_FALSE(unpackBefore.empty());
    EXPECT_EQ(unpackBefore, unpackAfter);
    ExpectInstalled(outcome);
    ExpectRemovedAtExit(outcome.result.unpackDir, outcome);
    EXPECT_EQ("", Differences(before, Take(Surroundings())));
}

}  // namespace
