// The state profile "tarrock.ini" in the Windows directory: whether the last run
// finished downloading, whether a started program reported success, and the proxy
// settings that worked.
#pragma once

#include "common/win32.h"

// Fills path with the Windows directory followed by "\tarrock.ini"; false when it
// does not fit.
bool GetStateProfilePath(char (&path)[260]);

// Reads "complete" of [download] and, when it is 1, writes "0" at once: a completed
// download is consumed by the run that sees it. Returns whether it was 1.
bool ConsumeCompletedDownload();
