// The installation driver: the last stage of a download run, started by "dldone".
#pragma once

#include "common/win32.h"
#include "install/install_actions_win.h"

class DownloadDialog;


// Checks that every component is present and ends the download dialog with its
// outcome: 1003 installed (files to be deleted) or 1009 (files kept).
void RunInstallation(DownloadDialog& dialog, WPARAM runResult);
