// The uninstall registration: one key under the system's list of installed
// programs, pointing at the uninstaller in gTargetDir.
#pragma once

#include <windows.h>

#include <string>

#include "install/install_common.h"

// Fields of the uninstall key, in the order CreateUnInstallShortcut writes
// them (the key name first).
struct UninstallEntry {
    std::wstring keyName;          // name of the subkey (string 117)
    std::wstring displayIcon;      // DisplayIcon, always empty
    std::wstring displayName;      // DisplayName (string 115)
    std::wstring displayVersion;   // DisplayVersion: the uninstaller's file version
    std::wstring installLocation;  // InstallLocation: gTargetDir
    std::wstring publisher;        // Publisher (string 118)
    std::wstring uninstallString;  // UninstallString: the uninstaller's path, unquoted
    std::wstring urlInfoAbout;     // URLInfoAbout (string 119)
};

// The uninstall entry for the uninstaller in gTargetDir under
// HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall; true when written.
// A missing key name (string 117) or an uninstaller path that does not fit
// fails the step before anything is written.
bool createShoutCut();

// Creates or opens the entry's key and sets its seven REG_SZ values in order;
// true when all were set. Values set before a failure stay.
bool CreateUnInstallShortcut(const UninstallEntry& entry);

// The file version of `path` as "a.b.c.d", or "0.0.0.0" when the file is
// missing or has no version resource.
std::wstring GetFileVersionString(const wchar_t* path);

namespace si {

// createShoutCut with the string table behind a seam.
bool CreateShoutCutWith(StringLoader loadString);

// CreateUnInstallShortcut below a given parent key.
bool CreateUnInstallShortcutAt(HKEY root, const wchar_t* parentKey, const UninstallEntry& entry);

extern const wchar_t kUninstallParentKey[];  // SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall

}  // namespace si
