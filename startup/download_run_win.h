// What a download run does before its dialog opens.
#pragma once

#include "config/component_table_win.h"
#include "ui/download_dialog_win.h"

// Reads the descriptions into the dialog's run; when there is nothing to run, shows why
// (unless a resumed run has nobody to read it) and returns how the reading failed. Else
// a network run leaves its restart copy and Startup shortcut, and the dialog learns
// whether an earlier run completed the download (the state profile then forgets it).
DescriptionLoad PrepareDownloadRun(DownloadDialog& dialog);
