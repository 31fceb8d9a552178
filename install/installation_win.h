// The installation driver: the last stage of a download run, started by "dldone".
#pragma once

#include "common/win32.h"

class DownloadDialog;

// Process handle of a program an install action waits for, or -1 while none is
// waited for; the download dialog looks at it when Windows ends.
extern INT_PTR currentInstallProcess;

// Checks that every component is present and ends the download dialog with its
// outcome: 1003 installed (files to be deleted) or 1009 (files kept).
void RunInstallation(DownloadDialog& dialog, WPARAM runResult);
