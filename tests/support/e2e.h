// End-to-end runs of the real SetupInstall.exe from a test program under Wine.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "payload/standin/record.h"
#include "tests/support/test_support.h"

namespace si_test {

struct InstallerRun {
    std::wstring windowsVersion = L"win10";  // winxp64, vista, win7, win8, win81, win10
    std::wstring languageId;                 // "Default" of HKLM\...\Nls\Language; empty: "0409"
    std::vector<std::wstring> args = {L"/log"};
    std::vector<std::pair<std::wstring, std::wstring>> env;  // added to the installer's environment
    std::wstring exePath;                    // empty: bin\SetupInstall.exe of this build tree
    DWORD timeoutMs = 120000;
    std::function<void(HANDLE process)> during;  // runs while the installer runs
    bool clean = true;                       // remove the unpack folder and the log first
    // Screenshot runs: the family that stands in for "Consolas" (missing under
    // Wine); empty: none, Wine's own fallback.
    std::wstring screenshotFont;
};

struct InstallerResult {
    bool started = false;
    bool finished = false;  // ended by itself before the time-out (else killed)
    DWORD exitCode = 0;
    DWORD processId = 0;
    std::string log;        // Install.log as this run left it
    std::wstring appData;   // the roaming application-data folder
    std::wstring unpackDir; // appData\KalveronTemp
};

InstallerResult RunInstaller(const InstallerRun& run);

// A whole run of the installer to its end, every message box answered with
// OK, the stand-in programs recording their starts in `record`.
struct InstallOutcome {
    InstallerResult result;
    std::vector<Box> boxes;  // in the order they came up
    std::vector<si_standin::StandinStart> starts;
    double seconds = 0;        // start to end of the process
    double afterLastBox = -1;  // from the last answer to the end of the process
    bool windowShown = false;  // the progress window was seen
};
// Expects the run to end by itself (no hang, no crash); `tick` runs about
// every 100 ms meanwhile.
InstallOutcome RunToTheEnd(InstallerRun run, const std::wstring& record,
                           const std::function<void(HANDLE process)>& tick = {});
// The caption and text of a message box.
Box ReadBox(HWND box);
// The programs' file names of `starts`, in order.
std::vector<std::wstring> Names(const std::vector<si_standin::StandinStart>& starts);
// Starts the installer without waiting; the caller owns the returned handle.
HANDLE StartInstaller(const InstallerRun& run, DWORD* processId);

std::wstring InstallerPath();
std::wstring AppDataDir();
std::wstring ProgramFiles();  // of this program's view (the shipped build: "Program Files (x86)")
// The Windows version Wine reports to `exeName` (per-program AppDefaults).
void SetWindowsVersion(const std::wstring& exeName, const std::wstring& version);
// For `exeName`, Wine prefers these libraries found in the search path to its
// own (WINEDLLOVERRIDES reaches no child of a Windows program); empty: none.
void PreferNativeDlls(const std::wstring& exeName, const std::vector<std::wstring>& dlls);
void SetSystemLanguage(const std::wstring& languageId);
// Maps "Consolas" to `family` through Wine's font replacements (empty: the
// mapping is removed), with the Debian fonts that cover every language made
// visible to the prefix. Wine reads both when a process starts.
void SetScreenshotFont(const std::wstring& family);
// Waits until `path` no longer exists (the background removal at exit).
bool WaitUntilGone(const std::wstring& path, DWORD timeoutMs);
// Waits until every process the installer `installerId` started (the exit's
// removal processes among them) has ended.
bool WaitForChildren(DWORD installerId, DWORD timeoutMs);
// Waits until no removal process ("cmd.exe") of an earlier run is left: one
// still running would delete the next run's unpack folder under it.
void WaitForRemovalProcesses(DWORD timeoutMs = 30000);
// True when the exit's background removal took `folder` away. Under Wine the
// two identical removal processes run side by side, and now and then each
// one's final rmdir meets the other's open handle: the folder is then left
// empty (a few runs in a hundred; one removal alone never does this). Once the
// removal processes have ended, an empty folder counts as removed (and is
// removed here); anything still in it does not.
bool RemovedAtExit(const std::wstring& folder, DWORD installerId);

// The values of a registry key (name, type, data as text), sorted by name;
// empty when the key is missing.
struct RegValue {
    std::wstring name;
    DWORD type;
    std::wstring text;
};
// `view`: 0 for the program's own registry view, or KEY_WOW64_32KEY/_64KEY.
std::vector<RegValue> ReadRegistryValues(HKEY root, const std::wstring& key, REGSAM view = 0);

// The installer's uninstall entry below HKLM.
extern const wchar_t kUninstallKey[];
// Its values, name to text (each a REG_SZ); empty when the key is missing.
std::vector<std::pair<std::wstring, std::wstring>> UninstallValues();

// The Windows this test program sees: a 32-bit program on 64-bit Windows
// (the shipped build through WoW64), or x86 Windows (a 32-bit prefix).
bool UnderWow64();
bool OnX86Windows();

// The whole screen as a PNG file.
bool SaveScreenshot(const std::wstring& pngPath);
// The visible top-level windows of `processId` that are message boxes (a
// dialog with the text control 0xFFFF), or those that are not.
std::vector<HWND> WindowsOf(DWORD processId, bool messageBoxes);
// The visible top-level window of `processId` that is not a message box,
// waiting up to `timeoutMs`.
HWND FindInstallerWindow(DWORD processId, DWORD timeoutMs);
// The first message box of `processId`, waiting up to `timeoutMs`; its text.
HWND FindMessageBox(DWORD processId, DWORD timeoutMs);
std::wstring MessageBoxText(HWND box);
std::wstring FindMessageBoxText(DWORD processId, DWORD timeoutMs, HWND* box = nullptr);
// Where screenshots and other artefacts of the tests go (build tree).
std::wstring ArtefactDir();

}  // namespace si_test
