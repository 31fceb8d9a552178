// Creation of the directories on the way to a file.
#pragma once

#include "common/win32.h"

// Creates every missing directory named by the text before each backslash or slash of
// path; the last component (the file name) is never created. Errors are left to show when
// the file itself is created. A path of 260 bytes or more creates nothing. Returns 1.
int CreateParentDirectories(const char* path);
