// The small modal questions of a run: the welcome (105), ready-to-install (104) and
// cancel-installation (106) prompts, and the HTTP settings dialog (108) in which the
// user corrects the proxy and server settings after every connection attempt failed.
// All are shown on the interface thread; the fetch thread asks for 108 with a message.
#pragma once

#include "common/win32.h"
#include "shell/window_win.h"
#include "transfer/connection_settings_win.h"

// A centred question whose buttons end it: 1 for the default button or Enter, 1009 for
// the second button, 2 for Escape.
class PromptDialog : public CenteredDialog {
public:
    explicit PromptDialog(UINT templateId) : CenteredDialog(templateId) {}
};

// The HTTP settings dialog. It shows the seven texts below; after OK (end code 1) the
// six editable ones hold what the user typed. The address is shown only.
class HttpSettingsDialog : public Dialog {
public:
    static const int kFieldSize = 260;

    // A null argument leaves its field empty; the address is the server address followed
    // directly by the remote directory, and stays empty unless both are given. Every text
    // is cut to kFieldSize - 1 characters.
    HttpSettingsDialog(const char* proxyHost, const char* proxyPort, const char* proxyUser,
                       const char* proxyPassword, const char* serverAddress,
                       const char* remoteDirectory, const char* userName, const char* password);

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual INT_PTR OnInitDialog();
    // A flag of another thread that, once nonzero, ends the dialog as Cancel would
    // (looked at a few times a second): the run it belongs to is ending.
    void SetCancelFlag(volatile LONG* flag) { cancelFlag = flag; }

    char proxyHost[kFieldSize] = {};
    char proxyPort[kFieldSize] = {};
    char proxyUser[kFieldSize] = {};
    char proxyPassword[kFieldSize] = {};
    char address[kFieldSize] = {};
    char siteUser[kFieldSize] = {};
    char sitePassword[kFieldSize] = {};

private:
    void ReadFields();
    bool EndIfCancelled();

    volatile LONG* cancelFlag = nullptr;
};

// The answer to the fetch thread's msgHttpSettingsWanted: shows "HTTP Settings" on this
// thread, without an owner (the run's window stays usable: Suspend, Quit). True when the
// fetch is to try again: after OK with what the user typed, after Escape with the
// settings shown; false after Cancel, when the run ends meanwhile, or when the dialog
// cannot be shown.
bool AskForHttpSettings(HttpSettingsRequest& request);
