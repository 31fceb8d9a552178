// Classification of the Windows version into the four classes the installer knows.
#pragma once

enum OsClass {
    OsWindows9x = 1,  // any platform id other than 0 and 2
    OsOldNt = 2,      // Windows NT before 4.0
    OsWin32s = 3,     // platform id 0
    OsModernNt = 4,   // Windows NT 4.0 or later
};

OsClass ClassifyOs(unsigned long platformId, unsigned long majorVersion);
