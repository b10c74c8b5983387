// The install configuration: FilesModifyConfig.ini of the setup payload, read
// once on the install worker into process-wide values.
#pragma once

#include <windows.h>

#include "diag/osinfo.h"
#include "install/install_common.h"

// Reads one text value of gConfigFilePath into `out` (MAX_PATH characters)
// without leading and trailing white space and without any double quote.
// A missing value reads as empty. A value that does not fit is refused: `out`
// stays empty and the result is 0; otherwise 1.
int ReadIniString(wchar_t* out, const wchar_t* section, const wchar_t* key);

// Reads the configuration for gOsInfo; 1 when read, 0 when refused (an
// unknown chip supplier after its error box, an architecture without driver
// keys, or a path that does not fit).
int ReadConfigFromIni();

namespace si {

// ReadConfigFromIni for a given system, with the box behind a seam.
int ReadConfigFromIniWith(const OsInfo& os, MessageBoxFn messageBox);

// Removes leading and trailing white space, then every double quote, in place.
void CleanIniText(wchar_t* text);

// The [DriverInstall] key of the driver folder for a system, or null where
// that system and architecture have none.
const wchar_t* DriverKeyName(int osType, int architecture);

// The driver install tool's file name for a supplier and architecture code.
const wchar_t* DriverToolName(int chipSupplier, int architecture);

}  // namespace si
