// The driver installation: copies the driver package and the supplier's
// install tool to gTargetDir\DriverFiles and runs the tool hidden, on a thread
// of its own.
#pragma once

#include <windows.h>

#include "diag/osinfo.h"
#include "install/install_common.h"

// Thread entry (the parameter is not used): 1 when the tool was started and
// has ended, whatever its exit code; 0 on any failure before that.
DWORD WINAPI ThreadSetupDriver(LPVOID);

// Starts `commandLine` hidden (in `currentDir`, or the installer's when null)
// and waits for it without time limit: 1 once it has ended, 0 (after its log
// line) when it could not be started.
DWORD runExe(const wchar_t* commandLine, const wchar_t* currentDir);

namespace si {

// ThreadSetupDriver for a given system, with the box behind a seam.
DWORD SetupDriverWith(const OsInfo& os, MessageBoxFn messageBox);

// The tool argument of supplier 2: "BetaInstall" on Windows XP with a driver
// that is not WHQL-signed, "Install" otherwise.
const wchar_t* TessilToolArgument(const OsInfo& os, bool driverWHQL);

}  // namespace si
