// The one lock between the install worker and the window thread. It guards
// gMainDlg and the dialog's two progress fields (m_percent, m_statusText):
// the worker writes them under it, painting copies them under it, and the
// window withdraws gMainDlg under it before it goes, so the worker never
// reaches a destroyed dialog. Nothing is sent or waited for while it is held.
#pragma once

#include <windows.h>

class CSetupInstallDlg;

namespace si {

class ProgressLock {
public:
    ProgressLock();
    ~ProgressLock();
    ProgressLock(const ProgressLock&) = delete;
    ProgressLock& operator=(const ProgressLock&) = delete;
};

// Makes `dialog` the progress window that the worker reaches (gMainDlg).
void PublishMainDialog(CSetupInstallDlg* dialog);
// Clears gMainDlg if it still designates `dialog`.
void WithdrawMainDialog(CSetupInstallDlg* dialog);

}  // namespace si
