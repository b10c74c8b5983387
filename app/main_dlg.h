// The installer's one window: a borderless progress window shaped by the
// skin's alpha, and its About box.
#pragma once

#include <windows.h>

#include "framework/dialog.h"
#include "ui/progress_window.h"
#include "unpack/unpack_from_res.h"

// Starts `body` as a suspended thread (CreateThread); null on failure.
HANDLE CreateSuspendedWorker(LPTHREAD_START_ROUTINE body);

// What the dialog does outside the window at start, behind a seam so that a
// test can host the window without the payload or the install sequence.
struct InstallDialogHooks {
    void (*unpackPayload)(UnPackFromRes& unpack);  // writes the setup payload out
    LPTHREAD_START_ROUTINE installWorker;          // the install worker's body
    HANDLE (*createWorker)(LPTHREAD_START_ROUTINE body) = &CreateSuspendedWorker;
};
InstallDialogHooks DefaultInstallDialogHooks();

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
};

class CSetupInstallDlg : public CDialog {
public:
    CSetupInstallDlg() : CSetupInstallDlg(DefaultInstallDialogHooks()) {}
    explicit CSetupInstallDlg(const InstallDialogHooks& hooks);
    ~CSetupInstallDlg() override;

    // The progress window this dialog shows.
    si::ProgressWindow& Progress() { return m_progress; }

protected:
    BOOL OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    void OnSysCommand(UINT id, LPARAM lParam);
    LRESULT OnCreate(WPARAM wParam, LPARAM lParam);
    LRESULT EventSetupEnd(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetupError(WPARAM wParam, LPARAM lParam);

    HICON m_hIcon = nullptr;
    si::ProgressWindow m_progress;
    UnPackFromRes m_unpack;  // the setup payload
    InstallDialogHooks m_hooks;
};
