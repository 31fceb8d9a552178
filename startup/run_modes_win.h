// The two run modes as the entry calls them, and what each needs of the other.
#pragma once

#include "transfer/connection_settings.h"

// Tray mode: waits as a notification-area icon. 1 = Open was chosen (menu,
// double-click, or a second start of the program), 0 = Quit, the tray window was
// closed, or tray mode could not start.
int RunTray();

// One download run: 1 = the run was suspended (go to tray mode), 0 = the run is over.
// The run starts with the connection settings that worked in the process's earlier runs
// (carried) and leaves there what worked in it.
int RunDownload(bool showWelcome, bool resuming, const char* infPath, bool saveProxySettings,
                ConnectionSettings& carried);

// The process's exit code: 0, kExitNoDescription once a download run found no
// description in the installer, kExitInstallFailed once a step of an installation
// failed, kExitDownloadFailed once a run ended without every file (a second start
// handing over ends with 1).
const int kExitNoDescription = 3;
const int kExitInstallFailed = 4;
const int kExitDownloadFailed = 5;
int ProcessExitCode();

// Quit chosen from the tray while a download run is open: the open download dialog
// stops its transfer and ends as after a confirmed Quit. False when no download
// dialog is open.
bool QuitOpenDownloadRun();

// Exit clean-up of tray mode: removes an icon that is still shown and frees the menu.
void CleanUpTrayAtExit();
