// The two run modes as the entry calls them, and what each needs of the other.
#pragma once

#include "config/installer_run_outcome.h"
#include "transfer/connection_settings.h"

// Tray mode: waits as a notification-area icon. kTrayOpen = Open was chosen (menu,
// double-click, or a second start of the program), kTrayQuit = Quit or the tray window
// was closed, kTrayUnavailable = its window could not be made.
int RunTray();

// One download run: 1 = the run was suspended (go to tray mode), 0 = the run is over.
// The run starts with the connection settings that worked in the process's earlier runs
// (carried) and leaves there what worked in it.
int RunDownload(bool showWelcome, bool resuming, const char* infPath, bool saveProxySettings,
                ConnectionSettings& carried);

// The process's exit code (the codes in config/installer_run_outcome.h): what the last
// download run came to, or what ended the process after it.
int ProcessExitCode();
void SetProcessExitCode(int code);

// Quit chosen from the tray while a download run is open: the open download dialog
// stops its transfer and ends as after a confirmed Quit. False when no download
// dialog is open.
bool QuitOpenDownloadRun();

// Exit clean-up of tray mode: removes an icon that is still shown and frees the menu.
void CleanUpTrayAtExit();
