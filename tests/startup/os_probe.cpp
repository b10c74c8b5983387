// Runs the installer's system detection with its manifest and reports the
// result: exit code = OS type * 16 + architecture; the log goes to argv[1].
#include <windows.h>

#include "diag/log.h"
#include "diag/osinfo.h"
#include "framework/win.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 255;
    si::CopyText(gLogPath, MAX_PATH, argv[1]);
    gLogEnabled = 1;
    OsInfo info{};
    if (!DetectOsInfo(&info)) return 254;
    return info.osType * 16 + info.architecture;
}
