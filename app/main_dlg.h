// The installer's one window: a borderless progress window shaped by the
// skin's alpha, and its About box.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "framework/dialog.h"
#include "ui/gdip.h"
#include "ui/surface.h"
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

    // What painting shows, copied under the progress lock.
    struct ProgressState {
        int percent;
        std::wstring statusText;
    };
    ProgressState CopyProgress() const;

    // The skin image's size (the window's size once the skin is loaded).
    const RECT& WindowRect() const { return m_windowRect; }

protected:
    BOOL OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    friend void UpdateProgress(const std::wstring& statusText, int percent, bool finished);
    using UpdateLayeredWindowFn = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF,
                                                BLENDFUNCTION*, DWORD);

    void OnSysCommand(UINT id, LPARAM lParam);
    // Skin and layout (ui/skin.cpp).
    void LoadSkinAndLayout();
    // Painting (ui/paint.cpp).
    void PaintProgress();
    BOOL DrawSkinLayered();
    void EnsureLayeredStyle();
    BOOL PushLayered(HDC source);
    // Window messages (ui/progress.cpp).
    LRESULT OnCreate(WPARAM wParam, LPARAM lParam);
    void OnMouseMove(WPARAM keys, LPARAM lParam);
    LRESULT EventSetupEnd(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetupError(WPARAM wParam, LPARAM lParam);
    void SetStatusText(const std::wstring& text);

    HICON m_hIcon = nullptr;
    BLENDFUNCTION m_blend = {};
    si::gdip_image m_skinImage;
    RECT m_windowRect = {};
    HMODULE m_hUser32 = nullptr;  // loaded at creation, kept until the process ends
    // m_percent and m_statusText are written by the worker and read by
    // painting: both only under the progress lock (ui/progress.cpp).
    int m_percent = 0;
    std::wstring m_statusText;
    uint32_t m_textColor = 0xFF000000u;
    uint32_t m_barTrackColor = 0xFF000000u;
    uint32_t m_barFillColor = 0xFF000000u;
    RECT m_barRect = {};
    RECT m_statusRect = {};
    RECT m_percentRect = {};
    UpdateLayeredWindowFn m_pfnUpdateLayeredWindow = nullptr;
    si::DibSurface m_memDC;  // the last paint's surface
    UnPackFromRes m_unpack;  // the setup payload
    InstallDialogHooks m_hooks;
};
