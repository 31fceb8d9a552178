// The work directory into which a run downloads and extracts, with its registry
// record, and the Startup shortcut that restarts the installer at the next log-on.
#pragma once

#include "common/win32.h"

struct WorkDirectoryRecord {
    char path[260];
    HINSTANCE instance;  // for string 19, the registry key of the record
};

// Fills record.path with the recorded work directory, or with a new one under the
// temporary directory (recorded in the registry). Returns 1 with the directory
// existing, 0 on failure.
int GetWorkDirectory(WorkDirectoryRecord& record);

// Deletes the directory tree and its registry record. Returns 0 without deleting
// in a nested run or for a path shorter than 6 characters (a drive root).
int DeleteWorkDirectory(WorkDirectoryRecord& record);

// The path of the executable's copy in the work directory: the directory followed by
// the running executable's own file name. False when it does not fit.
bool ExecutableCopyPath(const char* workDirectory, char (&path)[260], char (&executable)[260]);

// Deletes everything below directory and then directory itself; what cannot be
// deleted stays.
void DeleteTree(const char* directory);

// create true writes "<Startup>\Corvane Lite Installer.lnk" pointing at target with
// the arguments; create false deletes it. Failures are silent.
void SetStartupShortcut(bool create, const char* target, const char* arguments);
