// Reading and writing the state profile.
#include "install/state_profile_win.h"

bool GetStateProfilePath(char (&path)[260]) {
    UINT n = GetWindowsDirectoryA(path, countof(path));
    if (n == 0 || n >= countof(path)) return false;
    return AppendText(path, "\\tarrock.ini");
}

bool ConsumeCompletedDownload() {
    char path[260];
    if (!GetStateProfilePath(path)) return false;
    if (GetPrivateProfileIntA("download", "complete", 0, path) != 1) return false;
    WritePrivateProfileStringA("download", "complete", "0", path);
    return true;
}
