// The work directory into which a run downloads and extracts, with its registry
// record.
#pragma once

#include "common/win32.h"

struct WorkDirectoryRecord {
    char path[260];
    HINSTANCE instance;  // for string 19, the registry key of the record
};

// Fills record.path with the work directory and returns 1 with the directory
// existing, 0 on failure. The recorded directory (registry string 19, "Path") is used
// only when it is the installer's own: a plain directory holding the marker file
// "cvget.tag" with the tag recorded beside the path ("Tag"). A recorded directory that
// has disappeared is created again at its place; anything else the record names is
// left alone, and a new directory with a fresh name under the temporary directory is
// created, marked and recorded instead.
int GetWorkDirectory(WorkDirectoryRecord& record);

// Fills record.path with the recorded path without creating anything; 0 (path empty)
// when nothing is recorded.
int FindWorkDirectory(WorkDirectoryRecord& record);

// Deletes the directory tree and its registry record. Returns 0 without deleting
// in a nested run or for a path shorter than 6 characters (a drive root). A directory
// that is not the installer's own (see GetWorkDirectory) is never deleted: only its
// record is forgotten, and 0 is returned.
int DeleteWorkDirectory(WorkDirectoryRecord& record);

// How long DeleteWorkDirectory keeps trying while the directory is still held by
// another process (5 s); tests shorten it.
extern DWORD g_workDirectoryRemovalPatienceMs;

// DeleteTree, repeated every tenth of a second while the directory still exists,
// for at most patienceMs.
void RemoveTreePatiently(const char* directory, DWORD patienceMs);

// The path of the executable's copy in the work directory: the directory followed by
// the running executable's own file name. False when it does not fit.
bool ExecutableCopyPath(const char* workDirectory, char (&path)[260], char (&executable)[260]);

// Deletes everything below directory and then directory itself; what cannot be
// deleted stays.
void DeleteTree(const char* directory);
