// Where the installed-file test of a component ("NoDownloadIfFilesExist") looks: only
// where the description says, never along the search path (a file planted in the
// current directory or a folder on PATH must not make a component count as
// installed). This file is pure core.
#pragma once

#include <stddef.h>

#include "config/component_rules.h"

// A full path: a drive, colon and backslash ("C:\..."), or a UNC path ("\\server\...").
bool IsFullPath(const char* name);

// Splits a list token into its file name and required version, like
// SplitFileRequirement, but a full path keeps the colon of its drive.
FileRequirement SplitInstalledFileToken(char* token);

// The file to test: a full path as written, any other name inside the system folder
// (a name holding a colon there is refused).
// False (out empty) when the name is empty, a bare name meets an empty system folder,
// or the path does not fit size.
bool BuildInstalledFilePath(const char* name, const char* systemDirectory, char* out, size_t size);
