// The payload copy: the uninstaller and its language libraries into the
// install target folder.
#pragma once

#include <cstddef>

// The uninstaller's language folders under UnLang, in copy order.
constexpr size_t kUninstallLanguageCount = 17;
extern const wchar_t* const kUninstallLanguages[kUninstallLanguageCount];

// Copies gUnPackDirPath\gUninstSourceDir\Uninstall.exe to gTargetDir and each
// UnLang\<language>\UninstallLan.dll below it; false at the first failed copy
// (after the log line "copyFiles>>copy Config fail\n").
bool copyFiles();
