// Windows version classes (pure decision; the shell reads the version).
#include "common/os_class.h"

OsClass ClassifyOs(unsigned long platformId, unsigned long majorVersion) {
    const unsigned long platformWin32s = 0, platformNt = 2;
    if (platformId == platformNt) return majorVersion < 4 ? OsOldNt : OsModernNt;
    if (platformId == platformWin32s) return OsWin32s;
    return OsWindows9x;
}
