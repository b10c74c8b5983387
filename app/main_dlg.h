// The installer's progress window.
#pragma once

#include <windows.h>

// Placeholder until the progress window lands: the modal run ends at once.
class CSetupInstallDlg {
public:
    INT_PTR DoModal() { return IDCANCEL; }
};
